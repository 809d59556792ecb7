// The BMP tests' picture and streams: the 6 x 5 letter F (red on blue, no
// symmetry, an odd width), written to and read from temporary files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bmp/bmp.h"
#include "support/run_tool.h"

namespace bmp_test {

using bytes = std::vector<std::uint8_t>;

// The F, rows of 6 pixels from the top: '#' is red, '.' is blue.
inline constexpr char f_picture[] = "#####.#.....####..#.....#.....";

// The F in memory: palette index 1 (red) or 0 (blue) at 1, 4 and 8 bits,
// X1R5G5B5 at 16 bits, blue, green, red (and a fourth byte 0) above.
inline bytes f_pixels(int bits) {
    const std::uint32_t red = bits <= 8 ? 1 : bits == 16 ? 0x7C00 : 0xFF0000;
    const std::uint32_t blue = bits <= 8 ? 0 : bits == 16 ? 0x001F : 0x0000FF;
    bytes pixels;
    for (const char* c = f_picture; *c != '\0'; ++c)
        for (int k = 0; k < (bits + 7) / 8; ++k)
            pixels.push_back(static_cast<std::uint8_t>((*c == '#' ? red : blue) >> 8 * k));
    return pixels;
}

// A full palette (2 entries above 8 bits): blue, red, then greys with a
// fourth byte, which the file keeps.
inline std::vector<std::uint32_t> f_palette(int bits) {
    std::vector<std::uint32_t> palette(std::size_t{1} << (bits <= 8 ? bits : 1));
    for (std::uint32_t i = 0; i < palette.size(); ++i)
        palette[i] = i == 0 ? 0x0000FF : i == 1 ? 0xFF0000 : 0x01010101 * i;
    return palette;
}

// create_bitmap_header and write_bitmap into a temporary file, which must
// give result and print nothing; the bytes that reached the file.
inline bytes write_bytes(std::uint32_t w, std::uint32_t h, std::uint16_t bits,
                         const std::uint32_t* palette, const std::uint8_t* pixels, int result = 0) {
    bitmap_header header{};
    create_bitmap_header(&header, w, h, bits);
    std::FILE* f = std::tmpfile();
    testing::internal::CaptureStdout();
    EXPECT_EQ(write_bitmap(f, &header, palette, pixels), result) << bits << " bits";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    bytes file;
    std::rewind(f);
    for (int c; (c = std::fgetc(f)) != EOF;)
        file.push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
    return file;
}

inline bytes f_file(std::uint16_t bits) {
    return write_bytes(6, 5, bits, f_palette(bits).data(), f_pixels(bits).data());
}

struct read_outcome {
    int result = 0;
    std::string out;
    bool allocated = false; // a buffer was placed in a slot
    bitmap_header header{};
    std::vector<std::uint32_t> palette;
    bytes pixels;
};

// read_bitmap with empty slots from a temporary file holding the bytes.
inline read_outcome read_bytes(const bytes& file) {
    std::FILE* f = std::tmpfile();
    std::fwrite(file.data(), 1, file.size(), f);
    std::rewind(f);
    read_outcome r;
    std::uint32_t* palette = nullptr;
    std::uint8_t* pixels = nullptr;
    testing::internal::CaptureStdout();
    r.result = read_bitmap(f, &r.header, &palette, &pixels);
    r.out = testing::internal::GetCapturedStdout();
    r.allocated = palette != nullptr || pixels != nullptr;
    const std::size_t bits = r.header.bit_count;
    if (r.result == 0 && bits <= 8)
        r.palette.assign(palette, palette + (1u << bits));
    if (r.result == 0)
        r.pixels.assign(pixels, pixels + (bits + 7) / 8 * r.header.width * r.header.height);
    std::free(palette);
    std::free(pixels);
    std::fclose(f);
    return r;
}

} // namespace bmp_test
