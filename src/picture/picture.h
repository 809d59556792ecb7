// The picture records that carry every picture through a run: the output map
// (image_info), the 16 x 16 sheet of tile shapes (shape_sheet) and the colour
// table both share. Every subsystem may use them; they use none.
//
// Pixel layout, the same for both records: rows top row first, no gap between
// rows; a pixel takes (bit_count + 7) / 8 bytes, so 1-, 4- and 8-bit pixels
// have a byte each (the palette index in its low bits; packing into bits
// happens only in BMP files). Pixel (x, y) starts at byte
// (y * width + x) * bytes_per_pixel.
//
// A palette is an array of 32-bit entries 0x00RRGGBB: 2, 16 or 256 of them for
// 1, 4 or 8 bits a pixel, none (a null pointer) for 16, 24 and 32 bits.
//
// Ownership: the sheet owns its pixels and its palette; the picture owns its
// pixels and borrows the sheet's palette. The run releases, once each and only
// when set, the sheet's palette (std::free), the sheet's pixels (std::free)
// and the picture's pixels (release_pixels), never the palette through the
// picture.
#pragma once

#include <cstddef>
#include <cstdint>

// The sheet is always addressed as 16 tiles across and 16 down: tile t at
// tile column t % 16 and tile row t / 16.
inline constexpr int sheet_tiles_across = 16;
inline constexpr int sheet_tiles_down = 16;

// Scan-line pairs of the map from the program disk: each Apple II line is two
// picture rows, of which only the even one carries dots, a hi-res byte's seven
// dots as 14 pixels. The colour passes read the even row and leave both equal.
inline constexpr std::uint8_t dot_dark = 0;
inline constexpr std::uint8_t dot_lit = 1;
// At the first pixel of a byte whose high bit is set: the byte's dots appear
// half a dot later, and this pixel repeats the one before it.
inline constexpr std::uint8_t half_dot_marker = 255;
inline constexpr int pixels_per_byte = 14;

struct image_info {
    std::int32_t width;      // pixels
    std::int32_t height;     // pixels
    std::uint32_t bit_count; // bits per pixel of the stored picture
    std::uint32_t byte_size; // bytes of pixels: bytes per pixel * width * height
    std::uint8_t* pixels;    // owned; allocate_pixels / release_pixels
    std::uint32_t* palette;  // borrowed from the sheet; null for 16, 24, 32 bits
};

struct shape_sheet {
    std::int32_t tile_width;       // pixels
    std::int32_t tile_height;      // pixels
    std::uint32_t tiles_across;    // 16 from a BMP sheet, 0 from the program disk
    std::uint32_t tiles_down;      // likewise; no stage reads these two
    std::uint32_t bit_count;       // bits per pixel
    std::uint32_t bytes_per_pixel; // (bit_count + 7) / 8
    std::uint8_t* pixels;          // owned, std::malloc'd: the whole 16 x 16 sheet
    std::uint32_t* palette;        // owned, std::malloc'd; null for 16, 24, 32 bits
};

// The map's pixel buffers (tens to hundreds of MiB) come from here and go back
// here: a zero-filled block of size bytes (at least one), or null when memory
// runs out.
std::uint8_t* allocate_pixels(std::size_t size);
void release_pixels(std::uint8_t* pixels);
