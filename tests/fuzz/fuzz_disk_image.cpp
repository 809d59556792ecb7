// A disk image as it comes (raw, 2IMG, WOZ or NIB), opened in each order with
// looping catalogs failed and cut; every entry measured and read into buffers of
// exactly its length, 4096 bytes and one byte; the first 16 tracks read raw.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "disk/disk.h"
#include "fuzz_support.h"

namespace {

constexpr int max_file_size = 1 << 20;
constexpr int world_size = 65536;

void read_every_file(disk_image* disk) {
    for (const catalog_sector* c = disk->catalog; c != nullptr; c = c->next) {
        for (const file_entry& entry : c->entries) {
            // The name as stored, bit 7 and 0xA0 fill included, finds the entry.
            const std::string name(entry.name.begin(), entry.name.end());
            int sectors = 0;
            const int length = get_disk_file_size(disk, name.c_str(), &sectors);
            fuzz_support::require(length >= -1 &&
                                  get_disk_file_size(disk, name.c_str(), nullptr) == length);
            for (const int asked : {std::clamp(length, 0, max_file_size), 4096, 1}) {
                std::vector<std::uint8_t> buffer(static_cast<std::size_t>(asked));
                const int got = read_disk_file(disk, name.c_str(), buffer.data(), asked);
                fuzz_support::require(got >= -1 && got <= asked);
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz_support::write_file("disk.dsk", data, size);
    if (path.empty())
        return 0;
    // Only a raw image heeds the order and can loop; other formats (a
    // signature, or a nibble image's size) settle their own: one open is enough.
    const bool signature =
        size >= 4 && (std::memcmp(data, "WOZ", 3) == 0 || std::memcmp(data, "2IMG", 4) == 0);
    const bool raw = !signature && size != 35 * 6656 && size != 35 * 6384;
    constexpr int orders[] = {0, dos_order, prodos_order}; // 0 asks for detection
    for (int run = 0; run < (raw ? 6 : 1); ++run) {        // each order with loops failed, then cut
        disk_image disk{};
        if (open_disk_image(&disk, path.c_str(), orders[run / 2], run % 2) == 0) {
            fuzz_support::require(disk.catalog != nullptr &&
                                  (disk.order == dos_order || disk.order == prodos_order));
            fuzz_support::require(disk.decoded == nullptr || disk.size == 35 * 4096);
            read_every_file(&disk);
        }
        release_disk_image(&disk, 0);
    }
    static std::uint8_t world[world_size];
    for (const int order : {dos_order, prodos_order}) {
        const int result = read_disk_raw(path.c_str(), order, world, world_size);
        // A raw image is read as it comes: the first 16 tracks of the file.
        fuzz_support::require(raw ? result == (size >= world_size ? 0 : -1) : result >= -1);
        fuzz_support::require(result <= 0);
        if (raw && result == 0 && order == dos_order)
            fuzz_support::require(std::memcmp(world, data, world_size) == 0);
    }
    return 0;
}
