// Facts of the BMP layout shared by the writer, the header check and the
// reader: header sizes, palette sizes and the length of a stored row.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bmp_format {

inline constexpr std::uint32_t header_bytes = 54;       // 14-byte file + 40-byte info header
inline constexpr std::uint32_t info_header_bytes = 40;  // Windows V3
inline constexpr std::uint32_t palette_entry_bytes = 4; // blue, green, red, fourth byte
inline constexpr int max_palette_entries = 256;         // 8 bits a pixel
inline constexpr std::uint8_t magic[2] = {0x42, 0x4D};  // "BM"
inline constexpr std::size_t max_palette_bytes = 256 * palette_entry_bytes;

// Where each field of the 54 header bytes sits.
//   OFFSET  SIZE  FIELD
inline constexpr std::size_t at_magic = 0;             //  2  "BM"
inline constexpr std::size_t at_file_length = 2;       //  4
inline constexpr std::size_t at_reserved1 = 6;         //  2
inline constexpr std::size_t at_reserved2 = 8;         //  2
inline constexpr std::size_t at_data_offset = 10;      //  4
inline constexpr std::size_t at_header_size = 14;      //  4  start of the information header
inline constexpr std::size_t at_width = 18;            //  4
inline constexpr std::size_t at_height = 22;           //  4
inline constexpr std::size_t at_planes = 26;           //  2
inline constexpr std::size_t at_bit_count = 28;        //  2
inline constexpr std::size_t at_compression = 30;      //  4
inline constexpr std::size_t at_data_length = 34;      //  4
inline constexpr std::size_t at_x_resolution = 38;     //  4
inline constexpr std::size_t at_y_resolution = 42;     //  4
inline constexpr std::size_t at_colors_used = 46;      //  4
inline constexpr std::size_t at_colors_important = 50; // 4

// Palette entries that stand behind the header: 2, 16 or 256 for the indexed
// bit counts, 0 for 16, 24 and 32 bits, -1 for a bit count the format lacks.
inline int palette_entries(std::uint32_t bit_count) {
    switch (bit_count) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    case 16:
    case 24:
    case 32:
        return 0;
    default:
        return -1;
    }
}

// Where the pixel rows begin: right behind the header and the palette.
inline std::uint32_t data_offset(int entries) {
    return header_bytes + static_cast<std::uint32_t>(entries) * palette_entry_bytes;
}

// Bytes of pixel data in one stored row, before the fill: 8 pixels a byte at
// 1 bit, 2 at 4 bits, bit_count / 8 bytes a pixel above. Exact in 64 bits for
// any 32-bit width; 0 for a bit count the format lacks.
inline std::uint64_t row_data_bytes(std::uint32_t width, std::uint32_t bit_count) {
    const std::uint64_t w = width;
    if (bit_count == 1)
        return (w + 7) / 8;
    if (bit_count == 4)
        return (w + 1) / 2;
    if (palette_entries(bit_count) < 0)
        return 0;
    return w * (bit_count / 8);
}

// A stored row: its data raised to the next multiple of 4 bytes.
inline std::uint64_t row_bytes(std::uint32_t width, std::uint32_t bit_count) {
    return (row_data_bytes(width, bit_count) + 3) & ~std::uint64_t{3};
}

// Zero bytes behind the data of a stored row: 0 to 3.
inline std::size_t row_fill(std::uint32_t width, std::uint32_t bit_count) {
    return static_cast<std::size_t>(row_bytes(width, bit_count) - row_data_bytes(width, bit_count));
}

// Bytes a pixel takes in a picture in memory: 1 for 1, 4 and 8 bits.
inline std::uint32_t memory_pixel_bytes(std::uint32_t bit_count) {
    return (bit_count + 7) / 8;
}

} // namespace bmp_format
