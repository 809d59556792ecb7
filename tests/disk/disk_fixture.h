// Opening built disk images from a temporary folder with standard output
// captured, so that every message can be compared byte for byte.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disk/disk.h"
#include "diskbuild.h"
#include "support/run_tool.h"

class DiskTest : public testing::Test {
public: // the sweep helper drives it too
    test_support::temp_dir dir;
    disk_image disk{};
    std::string out; // what the last call printed

    std::string path() const { return (dir / "disk.dsk").string(); }

    int open_bytes(const std::vector<std::uint8_t>& bytes, int order = 1, int cut_loops = 0) {
        release_disk_image(&disk, 0);
        save_bytes(bytes, path());
        testing::internal::CaptureStdout();
        const int rc = open_disk_image(&disk, path().c_str(), order, cut_loops);
        out = testing::internal::GetCapturedStdout();
        return rc;
    }
    int open_built(const built_disk& built, int order = 1, int cut_loops = 0) {
        return open_bytes(image_bytes(&built, order), order, cut_loops);
    }
    std::vector<std::uint8_t> read_file(const char* name, int size, int* rc) {
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(size) + 1, 0xEE);
        testing::internal::CaptureStdout();
        *rc = read_disk_file(&disk, name, buffer.data(), size);
        out = testing::internal::GetCapturedStdout();
        return buffer;
    }
    int catalog_length() const {
        int n = 0;
        for (const catalog_sector* c = disk.catalog; c != nullptr; c = c->next)
            ++n;
        return n;
    }
    void TearDown() override { release_disk_image(&disk, 0); }
};

// Bytes 0, 1, 2, ... wrapping, so that a misplaced sector shows.
inline std::vector<std::uint8_t> counting_bytes(std::size_t n, unsigned seed = 1) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + seed + i / 251);
    return bytes;
}
