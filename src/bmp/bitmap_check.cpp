// The header check that stands between a BMP file and every buffer sized
// from it. Only what the writer produces passes: Windows V3 header, one
// plane, no compression, a known bit count, the full palette right behind the
// header, lengths that agree with the size. The format's rules compare in
// unsigned 32-bit arithmetic as the fields hold it; after them come the limits
// that make the numbers safe to size buffers with.
#include <cstdint>
#include <cstdio>

#include "bmp/bmp.h"
#include "bmp/bmp_format.h"

namespace {

// Largest pixel buffer, stored data or file that 32-bit sizes describe.
constexpr std::uint64_t max_bytes = UINT32_MAX;
// Largest width, and largest stored row (bitmap_row_size returns an int).
constexpr std::uint64_t max_width = INT32_MAX;
constexpr std::uint64_t max_row_bytes = INT32_MAX;

// Warnings and errors of the length rules, once offset O and data length D
// are known. -1 when refused, otherwise the warnings printed.
int check_lengths(bitmap_header* header, std::uint32_t offset, std::uint32_t data) {
    int warnings = 0;
    if (header->data_offset != offset) {
        std::printf("error: check_bitmap_header() - offset size 0x%X != 0x%X\n",
                    static_cast<unsigned>(header->data_offset), static_cast<unsigned>(offset));
        return -1;
    }
    if (header->data_length == 0) {
        header->data_length = data;
        std::printf("warning: check_bitmap_header() - data length is 0 ... corrected: 0x%X\n",
                    static_cast<unsigned>(data));
        ++warnings;
    }
    if (header->data_length != data) {
        std::printf("error: check_bitmap_header() - data length 0x%X != 0x%X\n",
                    static_cast<unsigned>(header->data_length), static_cast<unsigned>(data));
        return -1;
    }
    const std::uint32_t total = offset + data;
    if (header->file_length == 0) {
        std::printf("warning: check_bitmap_header() - file length is 0\n");
        ++warnings;
    } else if (header->file_length > total) {
        std::printf("warning: check_bitmap_header() - file length 0x%X > 0x%X\n",
                    static_cast<unsigned>(header->file_length), static_cast<unsigned>(total));
        ++warnings;
    } else if (header->file_length < total) {
        std::printf("error: check_bitmap_header() - file length 0x%X < 0x%X\n",
                    static_cast<unsigned>(header->file_length), static_cast<unsigned>(total));
        return -1;
    }
    return warnings;
}

// A height above INT32_MAX is a negative one as the format means it: rows
// stored top row first, which the reader does not do. Sizes whose pixel
// buffer, stored rows or file length wrap in 32 bits would let the length
// rules pass on wrapped numbers; they are refused here, before any buffer is
// sized from them (both length fields 0 pass the rules on any size).
int check_size_limits(const bitmap_header* header) {
    if (header->height > static_cast<std::uint32_t>(INT32_MAX)) {
        std::printf("error: check_bitmap_header() - top-down bitmap not supported\n");
        return -1;
    }
    const std::uint64_t width = header->width;
    const std::uint64_t height = header->height;
    const std::uint64_t row = bmp_format::row_bytes(header->width, header->bit_count);
    const std::uint64_t pixel_bytes = width * bmp_format::memory_pixel_bytes(header->bit_count);
    const std::uint64_t offset = header->data_offset;
    // Width and row are tested first, so each product after them stays below 2^64.
    if (width > max_width || row > max_row_bytes || pixel_bytes * height > max_bytes ||
        offset + row * height > max_bytes) {
        std::printf("error: check_bitmap_header() - bitmap size too large\n");
        return -1;
    }
    return 0;
}

} // namespace

int bitmap_row_size(std::uint32_t width, std::uint32_t bit_count) {
    if (bmp_format::palette_entries(bit_count) < 0)
        return -1;
    const std::uint64_t row = bmp_format::row_bytes(width, bit_count);
    return row > max_row_bytes ? -1 : static_cast<int>(row);
}

int check_bitmap_header(bitmap_header* header) {
    if (header->header_size != bmp_format::info_header_bytes) {
        std::printf("error: check_bitmap_header() - not supported header type - support only "
                    "Windows V3\n");
        return -1;
    }
    if (header->planes != 1)
        return -1;
    if (header->compression != 0) {
        std::printf("error: check_bitmap_header() - not support compression\n");
        return -1;
    }
    const int entries = bmp_format::palette_entries(header->bit_count);
    if (entries < 0) {
        std::printf("error: check_bitmap_header() - unknown bit count\n");
        return -1;
    }
    const std::uint32_t offset = bmp_format::data_offset(entries);
    // The expected data length as 32-bit fields hold it; a size that wraps
    // here is refused by the size limits below.
    const std::uint32_t data = static_cast<std::uint32_t>(
        bmp_format::row_bytes(header->width, header->bit_count) * header->height);
    const int warnings = check_lengths(header, offset, data);
    if (warnings < 0)
        return -1;
    if (check_size_limits(header) < 0)
        return -1;
    return warnings;
}
