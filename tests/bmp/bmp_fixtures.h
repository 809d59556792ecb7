// Pictures and files for the BMP tests: the 6 x 5 letter F (red on blue, no
// symmetry, an odd size), BMP bytes written and read through temporary
// streams, and the check that a map shows the right tile of its sheet.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bmp/bmp.h"

namespace bmp_test {

using bytes = std::vector<std::uint8_t>;

// The F, top row first: '#' is red, '.' is blue.
inline constexpr const char* f_rows[5] = {"#####.", "#.....", "####..", "#.....", "#....."};

// The F's pixels: palette index 1 (red) and 0 (blue) for 1, 4 and 8 bits;
// X1R5G5B5 at 16 bits; blue, green, red (and a fourth byte) at 24 and 32.
inline bytes f_pixels(int bit_count) {
    bytes red = {1}, blue = {0};
    if (bit_count == 16) red = {0x00, 0x7C}, blue = {0x1F, 0x00};
    if (bit_count == 24) red = {0, 0, 0xFF}, blue = {0xFF, 0, 0};
    if (bit_count == 32) red = {0, 0, 0xFF, 0}, blue = {0xFF, 0, 0, 0};
    bytes pixels;
    for (const char* row : f_rows)
        for (const char* c = row; *c != '\0'; ++c)
            pixels.insert(pixels.end(), (*c == '#' ? red : blue).begin(), (*c == '#' ? red : blue).end());
    return pixels;
}

// A full palette for the bit count: blue at 0, red at 1, the rest grey steps.
inline std::vector<std::uint32_t> f_palette(int bit_count) {
    std::vector<std::uint32_t> palette(std::size_t{1} << bit_count);
    for (std::size_t i = 0; i < palette.size(); ++i) palette[i] = 0x010101u * (i & 0xFF);
    palette[0] = 0x000000FF;
    palette[1] = 0x00FF0000;
    return palette;
}

// Bytes from hex digits; blanks are skipped.
inline bytes hex(const std::string& text) {
    bytes out;
    std::string digits;
    for (char c : text)
        if (c != ' ') digits += c;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return out;
}

inline bytes read_stream(std::FILE* f) {
    bytes all;
    std::rewind(f);
    for (int c; (c = std::fgetc(f)) != EOF;) all.push_back(static_cast<std::uint8_t>(c));
    return all;
}

// Writes the picture through create_bitmap_header and write_bitmap; file gets
// what reached the stream, out what was printed.
inline int write_bytes(std::uint32_t w, std::uint32_t h, std::uint16_t bit_count,
                       const std::uint32_t* palette, const std::uint8_t* pixels, bytes* file,
                       std::string* out = nullptr) {
    bitmap_header header{};
    create_bitmap_header(&header, w, h, bit_count);
    std::FILE* f = std::tmpfile();
    testing::internal::CaptureStdout();
    const int result = write_bitmap(f, &header, palette, pixels);
    const std::string printed = testing::internal::GetCapturedStdout();
    if (out != nullptr) *out = printed;
    *file = read_stream(f);
    std::fclose(f);
    return result;
}

struct read_outcome {
    int result = 0;
    std::string out;
    bool allocated = false;  // a buffer was placed in a slot
    bitmap_header header{};
    std::vector<std::uint32_t> palette;
    bytes pixels;
};

// Reads file through read_bitmap with empty slots.
inline read_outcome read_bytes(const bytes& file) {
    std::FILE* f = std::tmpfile();
    if (!file.empty()) std::fwrite(file.data(), 1, file.size(), f);
    std::rewind(f);
    read_outcome r;
    std::uint32_t* palette = nullptr;
    std::uint8_t* pixels = nullptr;
    testing::internal::CaptureStdout();
    r.result = read_bitmap(f, &r.header, &palette, &pixels);
    r.out = testing::internal::GetCapturedStdout();
    r.allocated = palette != nullptr || pixels != nullptr;
    const int bits = r.header.bit_count;
    if (r.result == 0 && bits <= 8) r.palette.assign(palette, palette + (1 << bits));
    if (r.result == 0)
        r.pixels.assign(pixels, pixels + std::size_t{r.header.width} * r.header.height * ((bits + 7) / 8));
    std::free(palette);
    std::free(pixels);
    std::fclose(f);
    return r;
}

// Every map tile shows sheet tile (map byte & 0xFF), the world used by the
// sheet tests: map byte i at column 16 * ((i / 256) % 16) + i % 16, row
// 16 * (i / 4096) + (i / 16) % 16.
inline void expect_map_shows_tiles(const bytes& map, const bytes& sheet, std::size_t tw,
                                   std::size_t th, std::size_t bpp) {
    ASSERT_EQ(map.size(), 65536 * tw * th * bpp);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < 65536; ++i) {
        const std::size_t x = 16 * ((i / 256) % 16) + i % 16, y = 16 * (i / 4096) + (i / 16) % 16;
        const std::size_t t = i & 0xFF;
        for (std::size_t v = 0; v < th; ++v) {
            const std::size_t from = ((t / 16 * th + v) * 16 * tw + (t % 16) * tw) * bpp;
            const std::size_t to = ((y * th + v) * 256 * tw + x * tw) * bpp;
            if (std::memcmp(&map[to], &sheet[from], tw * bpp) != 0) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0u);
}

// The world disk of the sheet tests: byte i holds tile i mod 256.
inline bytes world_of_every_tile() {
    bytes world(65536);
    for (std::size_t i = 0; i < world.size(); ++i) world[i] = static_cast<std::uint8_t>(i);
    return world;
}

}  // namespace bmp_test
