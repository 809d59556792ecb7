// A tile sheet from a BMP picture: the 256 tiles as a grid, tile t in grid
// column t mod tiles_across and grid row t / tiles_across from the top-left
// corner. The tile size follows from the picture's size; the picture's bit
// count and palette become the sheet's, and through it the map's.
#include <cstdio>

#include "bmp/bmp.h"
#include "bmp/bmp_format.h"
#include "picture/file.h"

namespace {

// The picture at path into the sheet's slots. -1 after the lines.
int load_sheet_picture(const char* path, shape_sheet* sheet, bitmap_header* header) {
    file_owner stream(open_file(path, "rb"));
    if (stream.file == nullptr) {
        std::printf("error: open '%s'\n", path);
        return -1;
    }
    if (read_bitmap(stream.file, header, &sheet->palette, &sheet->pixels) < 0) {
        std::printf("error: read '%s'\n", path);
        return -1;
    }
    return 0;
}

} // namespace

int read_shape_bitmap(const char* path, shape_sheet* sheet, std::uint32_t tiles_across,
                      std::uint32_t tiles_down) {
    if (tiles_across == 0 || tiles_down == 0) {
        std::printf("error: illegal shape bitmap size\n");
        return -1;
    }
    bitmap_header header{};
    if (load_sheet_picture(path, sheet, &header) < 0)
        return -1;
    // The header check keeps width and height below 2^31: the tile sizes fit.
    sheet->tile_width = static_cast<std::int32_t>(header.width / tiles_across);
    sheet->tile_height = static_cast<std::int32_t>(header.height / tiles_down);
    sheet->tiles_across = tiles_across;
    sheet->tiles_down = tiles_down;
    sheet->bit_count = header.bit_count;
    sheet->bytes_per_pixel = bmp_format::memory_pixel_bytes(header.bit_count);
    if (sheet->tile_width <= 0 || sheet->tile_height <= 0) {
        std::printf("error: shape bitmap is too small\n");
        return -1;
    }
    // Rows below tiles_down whole tiles are never used; columns must divide.
    if (header.width != static_cast<std::uint32_t>(sheet->tile_width) * tiles_across) {
        std::printf("error: illegal shape bitmap size\n");
        return -1;
    }
    return 0;
}
