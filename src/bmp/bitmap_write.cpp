// Building the BMP header for a picture and writing header, palette and pixel
// rows to a stream the caller has opened. The rows leave the pixel buffer
// bottom row first, packed to 1 or 4 bits where the file wants it, each in one
// write from a fixed staging buffer: the 7168 x 8192 world map goes through
// here, so no call is made per pixel and no copy of the picture is built.
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdio>

#include "bmp/bmp.h"
#include "bmp/bmp_format.h"

namespace {

// Packed bytes staged per write: a whole row of the world map (3584 bytes at
// 4 bits) and of any sheet up to 32768 pixels wide at 4 bits; longer rows go
// out in several writes.
constexpr std::size_t stage_bytes = 16384;

// Zero bytes that fill a row to a multiple of 4, and a palette entry when the
// picture comes without a palette.
constexpr std::array<std::uint8_t, 4> zero_bytes = {0, 0, 0, 0};

bool write_all(std::FILE* stream, const void* bytes, std::size_t count) {
    return count == 0 || std::fwrite(bytes, 1, count, stream) == count;
}

// count packed bytes from 8 pixels each (fewer in the last byte of a row:
// pixels holds what is left), first pixel in the top bit, nonzero is lit.
void pack_1bit(const std::uint8_t* pixels, std::uint64_t pixels_left, std::size_t count,
               std::uint8_t* out) {
    for (std::size_t i = 0; i < count; ++i, pixels += 8, pixels_left -= 8) {
        const unsigned n = pixels_left < 8 ? static_cast<unsigned>(pixels_left) : 8u;
        unsigned byte = 0;
        for (unsigned k = 0; k < n; ++k)
            byte |= (pixels[k] != 0 ? 0x80u : 0u) >> k;
        out[i] = static_cast<std::uint8_t>(byte);
        if (n < 8)
            break;
    }
}

// count packed bytes from 2 pixels each: the first in the high half (its
// value times 16, modulo 256), the low 4 bits of the second in the low half.
// The whole pairs go through a loop without branches, which the compiler
// runs many bytes a step; an odd last pixel has the high half to itself.
void pack_4bit(const std::uint8_t* pixels, std::uint64_t pixels_left, std::size_t count,
               std::uint8_t* out) {
    const std::size_t pairs =
        pixels_left / 2 < count ? static_cast<std::size_t>(pixels_left / 2) : count;
    for (std::size_t i = 0; i < pairs; ++i)
        out[i] = static_cast<std::uint8_t>((pixels[2 * i] << 4) | (pixels[2 * i + 1] & 0x0F));
    if (pairs < count)
        out[pairs] = static_cast<std::uint8_t>(pixels[2 * pairs] << 4);
}

// One buffer row of 1- or 4-bit pixels as a stored row, fill included.
bool write_packed_row(std::FILE* stream, const std::uint8_t* row, std::uint32_t width,
                      std::uint32_t bit_count) {
    std::array<std::uint8_t, stage_bytes + 4> stage;
    const std::uint64_t per_byte = bit_count == 1 ? 8 : 2;
    const std::uint64_t data = bmp_format::row_data_bytes(width, bit_count);
    const std::size_t fill = bmp_format::row_fill(width, bit_count);
    for (std::uint64_t done = 0; done < data;) {
        std::size_t count =
            data - done < stage_bytes ? static_cast<std::size_t>(data - done) : stage_bytes;
        const std::uint8_t* pixels = row + done * per_byte;
        const std::uint64_t left = width - done * per_byte;
        if (bit_count == 1)
            pack_1bit(pixels, left, count, stage.data());
        else
            pack_4bit(pixels, left, count, stage.data());
        done += count;
        if (done == data) {
            for (std::size_t k = 0; k < fill; ++k)
                stage[count++] = 0;
        }
        if (!write_all(stream, stage.data(), count))
            return false;
    }
    return true;
}

// Every row of the buffer, the last (the bottom of the picture) first.
bool write_rows(std::FILE* stream, const bitmap_header* header, const std::uint8_t* pixels) {
    const std::uint32_t width = header->width;
    const std::uint32_t bit_count = header->bit_count;
    const std::uint64_t data = bmp_format::row_data_bytes(width, bit_count);
    const std::size_t fill = bmp_format::row_fill(width, bit_count);
    const std::size_t stride =
        static_cast<std::size_t>(width) * bmp_format::memory_pixel_bytes(bit_count);
    // A picture with pixels to write and no buffer is our own mistake.
    assert(pixels != nullptr || header->height == 0 || data == 0);
    for (std::uint32_t r = header->height; r-- > 0;) {
        const std::uint8_t* row = pixels + r * stride;
        if (bit_count == 1 || bit_count == 4) {
            if (!write_packed_row(stream, row, width, bit_count))
                return false;
        } else if (!write_all(stream, row, static_cast<std::size_t>(data)) ||
                   !write_all(stream, zero_bytes.data(), fill)) {
            return false;
        }
    }
    return true;
}

// The palette as given, or entries of four zero bytes, one write each.
int write_palette_or_zeros(std::FILE* stream, const std::uint32_t* palette, int entries) {
    if (palette != nullptr)
        return write_palette(stream, palette, entries);
    for (int i = 0; i < entries; ++i) {
        if (!write_all(stream, zero_bytes.data(), zero_bytes.size()))
            return -1;
    }
    return 0;
}

} // namespace

int create_bitmap_header(bitmap_header* header, std::uint32_t width, std::uint32_t height,
                         std::uint16_t bit_count) {
    *header = bitmap_header{};
    header->header_size = bmp_format::info_header_bytes;
    header->width = width;
    header->height = height;
    header->planes = 1;
    header->bit_count = bit_count;
    const int entries = bmp_format::palette_entries(bit_count);
    if (entries < 0)
        return -1;
    header->data_offset = bmp_format::data_offset(entries);
    // Unsigned 32-bit arithmetic, as the fields hold it.
    const std::uint64_t data = bmp_format::row_bytes(width, bit_count) * height;
    header->data_length = static_cast<std::uint32_t>(data);
    header->file_length = header->data_length + header->data_offset;
    return 0;
}

int write_bitmap_header(std::FILE* stream, const bitmap_header* header) {
    std::array<std::uint8_t, bmp_format::header_bytes> bytes{};
    bytes[bmp_format::at_magic] = bmp_format::magic[0];
    bytes[bmp_format::at_magic + 1] = bmp_format::magic[1];
    put_le32(&bytes[bmp_format::at_file_length], header->file_length);
    put_le16(&bytes[bmp_format::at_reserved1], header->reserved1);
    put_le16(&bytes[bmp_format::at_reserved2], header->reserved2);
    put_le32(&bytes[bmp_format::at_data_offset], header->data_offset);
    put_le32(&bytes[bmp_format::at_header_size], header->header_size);
    put_le32(&bytes[bmp_format::at_width], header->width);
    put_le32(&bytes[bmp_format::at_height], header->height);
    put_le16(&bytes[bmp_format::at_planes], header->planes);
    put_le16(&bytes[bmp_format::at_bit_count], header->bit_count);
    put_le32(&bytes[bmp_format::at_compression], header->compression);
    put_le32(&bytes[bmp_format::at_data_length], header->data_length);
    put_le32(&bytes[bmp_format::at_x_resolution], header->x_pixels_per_meter);
    put_le32(&bytes[bmp_format::at_y_resolution], header->y_pixels_per_meter);
    put_le32(&bytes[bmp_format::at_colors_used], header->colors_used);
    put_le32(&bytes[bmp_format::at_colors_important], header->colors_important);
    return write_all(stream, bytes.data(), bytes.size()) ? 0 : -1;
}

int write_palette(std::FILE* stream, const std::uint32_t* palette, int count) {
    if (count < 1 || count > bmp_format::max_palette_entries)
        return -1;
    std::array<std::uint8_t, bmp_format::max_palette_bytes> stage;
    for (int i = 0; i < count; ++i)
        put_le32(&stage[static_cast<std::size_t>(i) * 4], palette[i]);
    return write_all(stream, stage.data(), static_cast<std::size_t>(count) * 4) ? 0 : -1;
}

// The pixel rows are checked as well as header and palette, and the stream is
// flushed at the end, so that a full disk never passes for a written picture.
int write_bitmap(std::FILE* stream, const bitmap_header* header, const std::uint32_t* palette,
                 const std::uint8_t* pixels) {
    const int entries = bmp_format::palette_entries(header->bit_count);
    if (entries < 0)
        return -1;
    if (write_bitmap_header(stream, header) < 0) {
        std::printf("error: write_bitmap() - can't write bitmap header\n");
        return -1;
    }
    if (entries > 0 && write_palette_or_zeros(stream, palette, entries) < 0) {
        std::printf("error: write_bitmap() - can't write palette\n");
        return -1;
    }
    if (!write_rows(stream, header, pixels) || std::fflush(stream) != 0 || std::ferror(stream)) {
        std::printf("error: write_bitmap() - can't write bitmap data\n");
        return -1;
    }
    return 0;
}
