// A BMP file, as it comes: read with and without a palette slot, loaded as a
// tile sheet, and, when it reads, written back and read again, which must
// give the same pixels and palette.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bmp/bmp.h"
#include "fuzz_support.h"

namespace {

struct picture {
    bitmap_header header{};
    std::uint32_t* palette = nullptr;
    std::uint8_t* pixels = nullptr;
    ~picture() {
        std::free(palette);
        std::free(pixels);
    }
};

int read_file(const std::string& path, picture* into, bool with_palette) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return -9;
    const int result =
        read_bitmap(file, &into->header, with_palette ? &into->palette : nullptr, &into->pixels);
    std::fclose(file);
    return result;
}

int palette_count(std::uint32_t bit_count) {
    return bit_count == 1 ? 2 : bit_count == 4 ? 16 : bit_count == 8 ? 256 : 0;
}

// Writes what was read to a second file and reads that: the same picture.
void check_round_trip(const picture& first) {
    const std::string path = fuzz_support::work_path("again.bmp");
    bitmap_header header{};
    fuzz_support::require(create_bitmap_header(&header, first.header.width, first.header.height,
                                               first.header.bit_count) == 0);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return;
    const int written = write_bitmap(file, &header, first.palette, first.pixels);
    std::fclose(file);
    if (written < 0) return;  // the disk under the fuzzer may be full
    picture second;
    fuzz_support::require(read_file(path, &second, true) == 0);
    const std::size_t bytes = static_cast<std::size_t>(first.header.width) *
                              ((first.header.bit_count + 7) / 8) * first.header.height;
    fuzz_support::require(bytes == 0 || std::memcmp(first.pixels, second.pixels, bytes) == 0);
    const int entries = palette_count(first.header.bit_count);
    fuzz_support::require(entries == 0 ||
                          std::memcmp(first.palette, second.palette, entries * 4u) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_support::quiet_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz_support::work_path("picture.bmp");
    if (!fuzz_support::write_bytes(path, data, size)) return 0;
    {
        picture without;
        const int result = read_file(path, &without, false);
        fuzz_support::require(result == 0 || result == -1 || result == -2);
        fuzz_support::require(without.palette == nullptr);
    }
    picture with;
    const int result = read_file(path, &with, true);
    fuzz_support::require(result == 0 || result == -1 || result == -2);
    // A picture of width 0 has no pixels to compare, and writing its empty
    // rows one by one is the writer's business, not a file's.
    if (result == 0 && with.header.width > 0) check_round_trip(with);

    shape_sheet sheet{};
    const int loaded = read_shape_bitmap(path.c_str(), &sheet, 16, 16);
    fuzz_support::require(loaded == 0 || loaded == -1);
    if (loaded == 0) {
        fuzz_support::require(sheet.tile_width > 0 && sheet.tile_height > 0);
        fuzz_support::require(sheet.pixels != nullptr);
    }
    std::free(sheet.palette);
    std::free(sheet.pixels);
    return 0;
}
