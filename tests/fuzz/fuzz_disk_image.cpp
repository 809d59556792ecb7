// A disk image, as it comes (raw, 2IMG, WOZ or NIB): opened in each sector order
// and with the order detected, looping catalogs failed and cut; then both shape
// files and every catalog entry measured and read into buffers of exactly the
// size asked for; and the first 16 tracks read raw in both orders, as the world
// disk is.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "disk/disk.h"
#include "fuzz_support.h"

namespace {

constexpr const char* shape_names[2] = {"S\x01HP0", "S\x01HP1"};
constexpr int max_file_size = 1 << 20;
constexpr int world_size = 65536;

// Reads the file into size bytes (its measured length when size < 0), then into one byte.
void measure_and_read(disk_image* disk, const char* name, int size) {
    int sectors = 0;
    const int length = get_disk_file_size(disk, name, &sectors);
    fuzz_support::require(length >= -1 && get_disk_file_size(disk, name, nullptr) == length);
    if (size < 0)
        size = std::clamp(length, 0, max_file_size);
    for (const int asked : {size, 1}) {
        std::vector<std::uint8_t> buffer(static_cast<std::size_t>(asked));
        const int got = read_disk_file(disk, name, buffer.data(), asked);
        fuzz_support::require(got >= -1 && got <= asked);
    }
}

void read_every_file(disk_image* disk) {
    for (const char* name : shape_names)
        measure_and_read(disk, name, 4096); // as the run reads them
    for (const catalog_sector* c = disk->catalog; c != nullptr; c = c->next) {
        for (const file_entry& entry : c->entries) {
            // The name as stored, bit 7 and 0xA0 fill included, finds the entry.
            const std::string name(entry.name.begin(), entry.name.end());
            measure_and_read(disk, name.c_str(), -1);
        }
    }
}

// Whether the bytes can only be a raw image: no signature of another format,
// nor the size of a nibble image.
bool only_raw(const std::uint8_t* data, std::size_t size) {
    const bool signature =
        size >= 4 && (std::memcmp(data, "WOZ", 3) == 0 || std::memcmp(data, "2IMG", 4) == 0);
    return !signature && size != 35 * 6656 && size != 35 * 6384;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz_support::write_file("disk.dsk", data, size);
    if (path.empty())
        return 0;
    // Other formats settle their own order, and their catalogs are read as
    // those of raw images are: one open is enough for them.
    const bool raw = only_raw(data, size);
    for (const int order : {0, dos_order, prodos_order}) { // 0 asks for detection
        for (const int cut_loops : {0, 1}) {
            if (!raw && cut_loops == 1)
                break;
            disk_image disk{};
            if (open_disk_image(&disk, path.c_str(), order, cut_loops) == 0) {
                fuzz_support::require(disk.catalog != nullptr &&
                                      (disk.order == dos_order || disk.order == prodos_order));
                fuzz_support::require(disk.decoded == nullptr || disk.size == 35 * 4096);
                read_every_file(&disk);
            }
            release_disk_image(&disk, 0);
        }
        if (!raw)
            break;
    }
    static std::uint8_t world[world_size];
    for (const int order : {dos_order, prodos_order}) {
        const int result = read_disk_raw(path.c_str(), order, world, world_size);
        fuzz_support::require(result == 0 || result == -1);
        if (!raw)
            break;
        // Read as it comes: the first 16 tracks of the file.
        fuzz_support::require(result == (size >= world_size ? 0 : -1));
        if (result == 0 && order == dos_order)
            fuzz_support::require(std::memcmp(world, data, world_size) == 0);
    }
    return 0;
}
