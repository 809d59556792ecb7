// Tile shapes from the program disk: two DOS 3.3 binary files hold the 256
// map tiles as Apple II high-resolution bytes, the left half of every tile in
// one file and the right half in the other. They are decoded into a 16 x 16
// sheet of 28 x 32 pixel tiles: each dot becomes two pixels side by side and
// each scan line one pixel row followed by an empty row, which the colour
// passes fill later.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "disk/disk.h"
#include "map/map.h"

namespace {

// A shape file, 4096 bytes:
//
//   OFFSET          SIZE   CONTENT
//   p * 256 + t       1    scan line p (0..15) of tile t (0..255), one half
//
// File 0 holds dots 0..6 of every line, file 1 dots 7..13. A byte:
//
//   BITS   CONTENT
//   0..6   seven dots, bit 0 leftmost; a set bit is a lit dot
//   7      half-dot delay: the byte's dots appear one pixel later
constexpr int shape_file_size = 4096;
constexpr int shape_lines = 16;  // scan lines of a tile
constexpr int shape_tiles = 256; // tiles, one byte of each page apiece
constexpr int dots_per_byte = 7;
constexpr std::uint8_t delay_bit = 0x80;

// The file names: S, the control byte 0x01, H, P, then the digit of the half.
constexpr const char* shape_file_names[2] = {"S\x01HP0", "S\x01HP1"};

// The sheet: 16 x 16 tiles of 28 x 32 pixels, one byte a pixel.
constexpr int tile_pixel_width = 2 * pixels_per_byte; // the two halves
constexpr int tile_pixel_height = 32;
constexpr int sheet_width = sheet_tiles_across * tile_pixel_width; // 448
constexpr int sheet_height = sheet_tiles_down * tile_pixel_height; // 512
constexpr std::size_t sheet_bytes = static_cast<std::size_t>(sheet_width) * sheet_height;

// The 16 artifact colours of the sheet, 0x00RRGGBB, indexed by the OR of the
// lit samples' phase weights. 5 and 10 are the same grey; 15 is a near-white.
// clang-format off
constexpr std::array<std::uint32_t, 16> default_palette = {
    0x00000000, 0x009D0734, 0x00301DE2, 0x00B23BE7, 0x00006B3D, 0x00727272,
    0x002582ED, 0x00A28FFF, 0x00425500, 0x00BF6300, 0x00727272, 0x00FF7AA7,
    0x0032AA00, 0x00B5C802, 0x0048DEB0, 0x00E5E5E5,
};
// clang-format on

// Tile 68 and the three tiles the game derives from it.
constexpr int base_tile = 68;

// Writes the 14 pixels of one source byte. A delayed byte starts with the
// shift marker and loses the second half of its last dot, so that its pixels
// still end at the edge of the half.
void decode_byte(std::uint8_t* out, std::uint8_t source) {
    int x = 0;
    if ((source & delay_bit) != 0)
        out[x++] = half_dot_marker;
    for (int i = 0; i < dots_per_byte; ++i) {
        const std::uint8_t value = ((source >> i) & 1) != 0 ? dot_lit : dot_dark;
        out[x++] = value;
        if (x < pixels_per_byte)
            out[x++] = value;
    }
}

// Reads one shape file into buffer; prints the failure line and returns -1
// when it is missing or shorter than 4096 bytes.
int read_shape_file(disk_image* disk, const char* path, int half, std::uint8_t* buffer) {
    const char* name = shape_file_names[half];
    const int got = read_disk_file(disk, name, buffer, shape_file_size);
    if (got < 0) {
        std::printf("error: can't get file '%s/%s'\n", path, name);
        return -1;
    }
    if (got != shape_file_size) {
        std::printf("error: read file '%s/%s'\n", path, name);
        return -1;
    }
    return 0;
}

// Opens the disk, reads both shape files into files (8192 bytes) and releases
// the disk on every path.
int read_shape_files(const char* path, int order, std::uint8_t* files) {
    disk_image disk{};
    int result = -1;
    if (open_disk_image(&disk, path, order, 0) < 0) {
        std::printf("error: read disk image '%s'\n", path);
    } else if (read_shape_file(&disk, path, 0, files) == 0 &&
               read_shape_file(&disk, path, 1, files + shape_file_size) == 0) {
        result = 0;
    }
    release_disk_image(&disk, 0);
    return result;
}

} // namespace

// Tiles 69..71 show tile 68 with its halves exchanged, delayed, or both;
// tile 68 itself is shown undelayed. Both halves of a line are read before
// anything is written.
void patch_shape_tiles(std::uint8_t* file0, std::uint8_t* file1) {
    constexpr std::uint8_t keep = static_cast<std::uint8_t>(~delay_bit);
    for (int p = 0; p < shape_lines; ++p) {
        std::uint8_t* left = file0 + p * shape_tiles + base_tile;
        std::uint8_t* right = file1 + p * shape_tiles + base_tile;
        const std::uint8_t a = left[0];
        const std::uint8_t b = right[0];
        left[0] = a & keep;
        right[0] = b & keep;
        left[1] = b | delay_bit;
        right[1] = a | delay_bit;
        left[2] = a | delay_bit;
        right[2] = b | delay_bit;
        left[3] = b & keep;
        right[3] = a & keep;
    }
}

// Decodes all 256 tiles from source (file 0 then file 1, 8192 bytes) into
// the even pixel rows of the 448 x 512 sheet; odd rows are left as they are.
void decode_shapes(std::uint8_t* pixels, const std::uint8_t* source) {
    for (int t = 0; t < shape_tiles; ++t) {
        const int row0 = (t / sheet_tiles_across) * tile_pixel_height;
        const int column0 = (t % sheet_tiles_across) * tile_pixel_width;
        for (int p = 0; p < shape_lines; ++p) {
            std::uint8_t* line =
                pixels + static_cast<std::size_t>(row0 + 2 * p) * sheet_width + column0;
            for (int h = 0; h < 2; ++h) {
                const std::uint8_t byte = source[h * shape_file_size + p * shape_tiles + t];
                decode_byte(line + h * pixels_per_byte, byte);
            }
        }
    }
}

int read_disk_shapes(const char* path, int order, shape_sheet* sheet) {
    sheet->tile_width = tile_pixel_width;
    sheet->tile_height = tile_pixel_height;
    sheet->bit_count = 4;
    sheet->bytes_per_pixel = 1;
    sheet->pixels = static_cast<std::uint8_t*>(std::calloc(sheet_bytes, 1));
    if (sheet->pixels == nullptr) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    sheet->palette =
        static_cast<std::uint32_t*>(std::malloc(default_palette.size() * sizeof(std::uint32_t)));
    if (sheet->palette == nullptr) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    std::memcpy(sheet->palette, default_palette.data(),
                default_palette.size() * sizeof(std::uint32_t));

    std::uint8_t files[2 * shape_file_size] = {};
    if (read_shape_files(path, order, files) < 0)
        return -1;
    patch_shape_tiles(files, files + shape_file_size);
    decode_shapes(sheet->pixels, files);
    return 0;
}
