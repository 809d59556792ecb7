// A program disk image, as it comes: opened in DOS 3.3 order, in ProDOS order
// and with the order detected, with looping catalogs failed and cut, then
// both shape files read and measured, and every other catalog entry read by
// its own name. Reads go into buffers of exactly the size asked for, so that
// any byte written past them is caught.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "disk/disk.h"
#include "fuzz_support.h"

namespace {

constexpr int shape_file_size = 4096;
constexpr const char* shape_names[2] = {"S\x01HP0", "S\x01HP1"};
constexpr int orders[3] = {1, 2, 0};  // 0 asks for detection
constexpr int max_file_size = 1 << 20;

// Reads name into a buffer of exactly size bytes and checks the count.
void read_exactly(disk_image* disk, const char* name, int size) {
    auto* buffer = static_cast<std::uint8_t*>(std::malloc(size > 0 ? size : 1));
    if (buffer == nullptr) return;
    const int got = read_disk_file(disk, name, buffer, size);
    fuzz_support::require(got >= -1 && got <= size);
    std::free(buffer);
}

// The name of a catalog entry as a string: the bytes with bit 7 stripped,
// trailing 0xA0 fill dropped; empty when a byte can't be typed back.
bool entry_name(const file_entry& entry, char (&name)[31]) {
    int length = static_cast<int>(entry.name.size());
    while (length > 0 && entry.name[static_cast<std::size_t>(length - 1)] == 0xA0) --length;
    for (int i = 0; i < length; ++i) {
        const std::uint8_t byte = entry.name[static_cast<std::size_t>(i)];
        if ((byte & 0x80) == 0 || byte == 0x80) return false;
        name[i] = static_cast<char>(byte & 0x7F);
    }
    name[length] = '\0';
    return length > 0;
}

void read_every_file(disk_image* disk) {
    for (const char* name : shape_names) {
        read_exactly(disk, name, shape_file_size);
        int sectors = -7;
        const int length = get_disk_file_size(disk, name, &sectors);
        fuzz_support::require(length >= -1);
        fuzz_support::require(get_disk_file_size(disk, name, nullptr) == length);
    }
    for (const catalog_sector* c = disk->catalog; c != nullptr; c = c->next) {
        for (const file_entry& entry : c->entries) {
            char name[31];
            if (!entry_name(entry, name)) continue;
            const int length = get_disk_file_size(disk, name, nullptr);
            read_exactly(disk, name, length < 0 ? 0 : length > max_file_size ? max_file_size : length);
            read_exactly(disk, name, 1);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_support::quiet_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz_support::work_path("program.dsk");
    if (!fuzz_support::write_bytes(path, data, size)) return 0;
    for (int order : orders) {
        for (int cut_loops = 0; cut_loops <= 1; ++cut_loops) {
            disk_image disk{};
            if (open_disk_image(&disk, path.c_str(), order, cut_loops) == 0) {
                fuzz_support::require(disk.order == 1 || disk.order == 2);
                fuzz_support::require(disk.catalog != nullptr);
                read_every_file(&disk);
            }
            release_disk_image(&disk, 0);
        }
    }
    return 0;
}
