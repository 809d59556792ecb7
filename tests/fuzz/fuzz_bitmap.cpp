// A BMP file, as it comes: loaded as a sheet of 16 x 16 tiles, as the run does, and
// as one tile, the whole picture, which must write and load again unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bmp/bmp.h"
#include "fuzz_support.h"

namespace {

struct owned_sheet {
    shape_sheet sheet{};
    ~owned_sheet() {
        std::free(sheet.palette);
        std::free(sheet.pixels);
    }
};

void check_round_trip(const shape_sheet& first) {
    bitmap_header header{};
    fuzz_support::require(create_bitmap_header(&header,
                                               static_cast<std::uint32_t>(first.tile_width),
                                               static_cast<std::uint32_t>(first.tile_height),
                                               static_cast<std::uint16_t>(first.bit_count)) == 0);
    const std::string path = (fuzz_support::folder / "again.bmp").string();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return;
    const int written = write_bitmap(file, &header, first.palette, first.pixels);
    std::fclose(file);
    if (written < 0)
        return; // the disk under the fuzzer may be full
    owned_sheet second;
    fuzz_support::require(read_shape_bitmap(path.c_str(), &second.sheet, 1, 1) == 0);
    const std::size_t bytes = std::size_t{header.width} * first.bytes_per_pixel * header.height;
    fuzz_support::require(std::memcmp(first.pixels, second.sheet.pixels, bytes) == 0);
    fuzz_support::require(first.bit_count > 8 || std::memcmp(first.palette, second.sheet.palette,
                                                             4u << first.bit_count) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz_support::write_file("picture.bmp", data, size);
    if (path.empty())
        return 0;
    for (const std::uint32_t tiles : {16u, 1u}) {
        owned_sheet first;
        const int loaded = read_shape_bitmap(path.c_str(), &first.sheet, tiles, tiles);
        fuzz_support::require(loaded == 0 || loaded == -1);
        if (loaded == 0 && tiles == 1)
            check_round_trip(first.sheet);
    }
    return 0;
}
