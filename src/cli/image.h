// The picture records that carry every picture through a run: the output map
// (image_info), the 16 x 16 sheet of tile shapes (shape_sheet) and the colour
// table both share.
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

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#ifdef __linux__
#include <sys/mman.h>
#endif

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

// The 16 artifact colours of the sheet from the program disk, 0x00RRGGBB,
// indexed by the OR of the lit samples' phase weights. 5 and 10 are the same
// grey; 15 is a near-white.
inline constexpr std::array<std::uint32_t, 16> default_palette = {
    0x00000000, 0x009D0734, 0x00301DE2, 0x00B23BE7, 0x00006B3D, 0x00727272, 0x002582ED, 0x00A28FFF,
    0x00425500, 0x00BF6300, 0x00727272, 0x00FF7AA7, 0x0032AA00, 0x00B5C802, 0x0048DEB0, 0x00E5E5E5,
};

// The map's pixel buffers (tens to hundreds of MiB) come from here and go back
// here: a zero-filled block of size bytes, or null when memory runs out.
//
// A block that large comes straight from the system, untouched and zero, and
// each 4 KiB page costs a fault at its first write. On Linux the block's pages
// are marked for transparent huge pages, so the kernel maps it 2 MiB at a time:
// 512 times fewer faults. Elsewhere, and where the advice is refused, the
// block is simply used with small pages.
inline std::uint8_t* allocate_pixels(std::size_t size) {
    auto* block = static_cast<std::uint8_t*>(std::calloc(size == 0 ? 1 : size, 1));
#ifdef __linux__
    constexpr std::size_t huge_page = std::size_t{2} << 20;
    constexpr std::size_t page = 4096;
    if (block != nullptr && size >= 2 * huge_page) {
        const auto start =
            (reinterpret_cast<std::uintptr_t>(block) + page - 1) & ~std::uintptr_t{page - 1};
        const auto end =
            (reinterpret_cast<std::uintptr_t>(block) + size) & ~std::uintptr_t{page - 1};
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    }
#endif
    return block;
}

inline void release_pixels(std::uint8_t* pixels) {
    std::free(pixels);
}
