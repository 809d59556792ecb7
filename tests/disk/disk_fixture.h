// Built disk images opened from a temporary folder with standard output
// captured, so that every message can be compared byte for byte.
#pragma once

#include <gtest/gtest.h>

#include "disk/disk.h"
#include "diskbuild.h"
#include "support/run_tool.h"

// Bytes that differ from sector to sector, so that a misplaced sector shows.
inline std::vector<std::uint8_t> counting_bytes(std::size_t n, unsigned seed) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + seed + i / 251);
    return bytes;
}

// A world map in tracks 0-15; files of every header kind, the n-th holding
// counting_bytes seed n, in a catalog over 17/15 and 17/2. Logical 17/13, at
// 17/2's place in the other order, links to a bad track.
inline built_disk sample_disk() {
    built_disk built;
    start_disk(&built);
    put_raw(&built, 0, counting_bytes(65536, 9));
    place_catalog(&built, {{17, 15}, {17, 2}});
    put_link(&built, {17, 13}, {0x40, 0});
    add_file(&built, "HELLO", 0x02, basic_file_contents(counting_bytes(300, 1)));
    add_file(&built, "S\x01HP0", 0x84, binary_file_contents(0x4000, counting_bytes(4096, 2)));
    add_file(&built, "TEXT", 0x00, counting_bytes(4096 + 300, 3));
    put_last_sectors(&built, 17); // one list and 16 data sectors: the budget ends the read
    std::vector<std::uint8_t> relocatable = binary_file_contents(0, counting_bytes(0x110, 4));
    relocatable.insert(relocatable.begin() + 4, 2, 0); // a header of 6 bytes
    add_file(&built, "REL", 0x10, relocatable);
    add_file(&built, "BIG", 0x01, basic_file_contents(counting_bytes(130 * 256 - 2, 5)));
    add_file(&built, "GONE", 0x00, {6});
    delete_last_file(&built);
    add_file(&built, "SEVEN", 0x04, binary_file_contents(0x300, {7})); // 1 byte long
    add_file(&built, "EIGHT", 0x00, {8}); // the first entry of the second catalog sector
    return built;
}

struct DiskTest : testing::Test {
    const built_disk sample = sample_disk();
    test_support::temp_dir dir;
    disk_image disk{};
    std::string out;               // what the last captured call printed
    std::vector<std::uint8_t> got; // what the last read_file or read_world read

    std::string path() const { return (dir / "disk.dsk").string(); }
    template <typename Call> int capture(Call call) {
        testing::internal::CaptureStdout();
        const int rc = call();
        out = testing::internal::GetCapturedStdout();
        return rc;
    }
    int open_bytes(const std::vector<std::uint8_t>& bytes, int order = 1, int cut_loops = 0) {
        release_disk_image(&disk, 0);
        save_bytes(bytes, path());
        return capture([&] { return open_disk_image(&disk, path().c_str(), order, cut_loops); });
    }
    // Reads into size + 1 bytes of 0xEE, so that a write past size shows.
    int read_file(const char* name, int size) {
        got.assign(static_cast<std::size_t>(size) + 1, 0xEE);
        return capture([&] { return read_disk_file(&disk, name, got.data(), size); });
    }
    // Reads the first size bytes of the world from the saved image.
    int read_world(int order, int size = 65536) {
        got.assign(static_cast<std::size_t>(size), 0);
        return capture([&] { return read_disk_raw(path().c_str(), order, got.data(), size); });
    }
    void TearDown() override { release_disk_image(&disk, 0); }
};
