// Reading a BMP file back: the 54 header bytes, the palette of an indexed
// picture and the pixel rows, one stored row at a time through one row
// buffer, unpacked into a picture laid out top row first with a byte a pixel
// at 1, 4 and 8 bits. Nothing is sized before check_bitmap_header has passed
// the header, and the file is never held in memory as a whole.
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bmp/bmp.h"
#include "bmp/bmp_format.h"

namespace {

// A block of at least one byte, so that a picture of no pixels still gets a
// buffer of its own.
void* allocate_bytes(std::size_t size) {
    return std::malloc(size == 0 ? 1 : size);
}

// The palette into its slot (allocated when empty), or stepped over when the
// caller wants no palette. -1 or -2 after the line.
int read_or_skip_palette(std::FILE* stream, std::uint32_t** palette_slot, int entries) {
    const std::size_t bytes = static_cast<std::size_t>(entries) * bmp_format::palette_entry_bytes;
    if (palette_slot == nullptr) {
        if (std::fseek(stream, static_cast<long>(bytes), SEEK_CUR) == 0)
            return 0;
        std::printf("error: read_bitmap() - can't read palette\n");
        return -1;
    }
    if (*palette_slot == nullptr) {
        *palette_slot = static_cast<std::uint32_t*>(allocate_bytes(bytes));
        if (*palette_slot == nullptr) {
            std::printf("error: memory exhaust!\n");
            return -2;
        }
    }
    if (read_palette(stream, *palette_slot, entries) < 0) {
        std::printf("error: read_bitmap() - can't read palette\n");
        return -1;
    }
    return 0;
}

// One stored row into width pixels of the picture: bits from the top bit
// down at 1 bit, the high half first at 4 bits, the bytes themselves above.
void unpack_row(const std::uint8_t* stored, std::uint32_t width, std::uint32_t bit_count,
                std::uint8_t* out) {
    if (bit_count == 1) {
        for (std::uint32_t x = 0; x < width; ++x) {
            out[x] = static_cast<std::uint8_t>((stored[x >> 3] >> (7 - (x & 7))) & 1);
        }
    } else if (bit_count == 4) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const unsigned byte = stored[x >> 1];
            out[x] = static_cast<std::uint8_t>((x & 1) != 0 ? byte & 0x0F : byte >> 4);
        }
    } else {
        std::memcpy(out, stored, static_cast<std::size_t>(width) * (bit_count / 8));
    }
}

// The stored rows, bottom row of the picture first, into pixels.
int read_rows(std::FILE* stream, const bitmap_header* header, std::uint8_t* pixels) {
    const std::size_t row_size =
        static_cast<std::size_t>(bitmap_row_size(header->width, header->bit_count));
    const std::size_t stride =
        static_cast<std::size_t>(header->width) * bmp_format::memory_pixel_bytes(header->bit_count);
    // A picture of width 0 stores rows of no bytes, and one of height 0 no
    // rows: there is nothing to read, and no row buffer is sized for it.
    if (row_size == 0 || header->height == 0)
        return 0;
    auto* stored = static_cast<std::uint8_t*>(allocate_bytes(row_size));
    if (stored == nullptr) {
        std::printf("error: memory exhaust!\n");
        return -2;
    }
    for (std::uint32_t r = header->height; r-- > 0;) {
        if (std::fread(stored, 1, row_size, stream) != row_size) {
            std::free(stored);
            std::printf("error: read_bitmap() - can't read bitmap data\n");
            return -1;
        }
        unpack_row(stored, header->width, header->bit_count, pixels + r * stride);
    }
    std::free(stored);
    return 0;
}

// Whether the stream still holds the palette (when it is to be read) and
// every stored row that the header claims. A header may claim gigabytes in a
// file of a few bytes: such a file is refused here, with the line its read
// would end with, before any buffer is sized from the header. When the
// stream can't tell its length, the rows are read and fall short as usual.
int check_stream_holds_picture(std::FILE* stream, const bitmap_header* header, bool palette_read) {
    const long start = std::ftell(stream);
    if (start < 0 || std::fseek(stream, 0, SEEK_END) != 0)
        return 0;
    const long end = std::ftell(stream);
    if (std::fseek(stream, start, SEEK_SET) != 0 || end < start)
        return 0;
    const auto held = static_cast<std::uint64_t>(end - start);
    const std::uint64_t palette_bytes =
        static_cast<std::uint64_t>(bmp_format::palette_entries(header->bit_count)) *
        bmp_format::palette_entry_bytes;
    if (palette_read && held < palette_bytes) {
        std::printf("error: read_bitmap() - can't read palette\n");
        return -1;
    }
    if (held < palette_bytes + header->data_length) {
        std::printf("error: read_bitmap() - can't read bitmap data\n");
        return -1;
    }
    return 0;
}

} // namespace

int read_bitmap_header(std::FILE* stream, bitmap_header* header) {
    std::array<std::uint8_t, bmp_format::header_bytes> bytes;
    if (std::fread(bytes.data(), 1, bytes.size(), stream) != bytes.size())
        return -1;
    using namespace bmp_format;
    if (bytes[at_magic] != magic[0] || bytes[at_magic + 1] != magic[1])
        return -1;
    header->file_length = get_le32(&bytes[at_file_length]);
    header->reserved1 = get_le16(&bytes[at_reserved1]);
    header->reserved2 = get_le16(&bytes[at_reserved2]);
    header->data_offset = get_le32(&bytes[at_data_offset]);
    header->header_size = get_le32(&bytes[at_header_size]);
    header->width = get_le32(&bytes[at_width]);
    header->height = get_le32(&bytes[at_height]);
    header->planes = get_le16(&bytes[at_planes]);
    header->bit_count = get_le16(&bytes[at_bit_count]);
    header->compression = get_le32(&bytes[at_compression]);
    header->data_length = get_le32(&bytes[at_data_length]);
    header->x_pixels_per_meter = get_le32(&bytes[at_x_resolution]);
    header->y_pixels_per_meter = get_le32(&bytes[at_y_resolution]);
    header->colors_used = get_le32(&bytes[at_colors_used]);
    header->colors_important = get_le32(&bytes[at_colors_important]);
    return check_bitmap_header(header);
}

int read_palette(std::FILE* stream, std::uint32_t* palette, int count) {
    if (count < 1 || count > bmp_format::max_palette_entries)
        return -1;
    std::array<std::uint8_t, bmp_format::max_palette_bytes> stage;
    const std::size_t bytes = static_cast<std::size_t>(count) * bmp_format::palette_entry_bytes;
    if (std::fread(stage.data(), 1, bytes, stream) != bytes)
        return -1;
    for (int i = 0; i < count; ++i) {
        palette[i] = get_le32(&stage[static_cast<std::size_t>(i) * 4]);
    }
    return 0;
}

int read_bitmap(std::FILE* stream, bitmap_header* header, std::uint32_t** palette_slot,
                std::uint8_t** pixel_slot) {
    assert(pixel_slot != nullptr && "the caller gives a pixel slot");
    if (read_bitmap_header(stream, header) < 0) {
        std::printf("error: read_bitmap() - can't read bitmap header\n");
        return -1;
    }
    if (check_stream_holds_picture(stream, header, palette_slot != nullptr) < 0)
        return -1;
    // The header check has bounded this product to 32 bits.
    const std::size_t pixel_bytes = static_cast<std::size_t>(header->width) *
                                    bmp_format::memory_pixel_bytes(header->bit_count) *
                                    header->height;
    if (*pixel_slot == nullptr) {
        *pixel_slot = static_cast<std::uint8_t*>(allocate_bytes(pixel_bytes));
        if (*pixel_slot == nullptr) {
            std::printf("error: memory exhaust!\n");
            return -2;
        }
    }
    const int entries = bmp_format::palette_entries(header->bit_count);
    if (entries > 0) {
        const int result = read_or_skip_palette(stream, palette_slot, entries);
        if (result < 0)
            return result;
    }
    return read_rows(stream, header, *pixel_slot);
}
