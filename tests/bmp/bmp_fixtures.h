// Pictures and files for the BMP tests: the 6 x 5 letter F (red on blue, no
// symmetry, an odd size), BMP bytes written and read through temporary
// streams, and runs of "-s" whose map must show the sheet's tiles.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bmp/bmp.h"
#include "support/run_tool.h"

namespace bmp_test {

using bytes = std::vector<std::uint8_t>;

// The F, top row first: '#' is red, '.' is blue.
inline constexpr const char* f_rows[5] = {"#####.", "#.....", "####..", "#.....", "#....."};

// The F's pixels: palette index 1 (red) and 0 (blue) for 1, 4 and 8 bits;
// X1R5G5B5 at 16 bits; blue, green, red (and a fourth byte) at 24 and 32.
inline bytes f_pixels(int bits) {
    bytes red = {1}, blue = {0};
    if (bits == 16)
        red = {0x00, 0x7C}, blue = {0x1F, 0x00};
    if (bits >= 24)
        red = {0, 0, 0xFF, 0}, blue = {0xFF, 0, 0, 0};
    const std::size_t size = bits >= 24 ? static_cast<std::size_t>(bits / 8) : red.size();
    bytes pixels;
    for (const char* row : f_rows)
        for (const char* c = row; *c != '\0'; ++c)
            pixels.insert(pixels.end(), (*c == '#' ? red : blue).begin(),
                          (*c == '#' ? red : blue).begin() + static_cast<long>(size));
    return pixels;
}

// A full palette for an indexed bit count (one of 2 entries above): blue at
// 0, red at 1, grey steps after them.
inline std::vector<std::uint32_t> f_palette(int bits) {
    std::vector<std::uint32_t> palette(std::size_t{1} << (bits <= 8 ? bits : 1));
    for (std::size_t i = 0; i < palette.size(); ++i)
        palette[i] = 0x010101u * (i & 0xFF);
    palette[0] = 0x000000FF;
    palette[1] = 0x00FF0000;
    return palette;
}

// Bytes from hex digits; blanks are skipped.
inline bytes hex(std::string text) {
    std::erase(text, ' ');
    bytes out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return out;
}

// create_bitmap_header and write_bitmap into a temporary stream; file gets
// what reached it, out what was printed.
inline int write_bytes(std::uint32_t w, std::uint32_t h, std::uint16_t bits,
                       const std::uint32_t* palette, const std::uint8_t* pixels, bytes* file,
                       std::string* out = nullptr) {
    bitmap_header header{};
    create_bitmap_header(&header, w, h, bits);
    std::FILE* f = std::tmpfile();
    testing::internal::CaptureStdout();
    const int result = write_bitmap(f, &header, palette, pixels);
    const std::string printed = testing::internal::GetCapturedStdout();
    if (out != nullptr)
        *out = printed;
    file->clear();
    std::rewind(f);
    for (int c; (c = std::fgetc(f)) != EOF;)
        file->push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
    return result;
}

// The F as a whole file at a bit count, with its full palette.
inline bytes f_file(std::uint16_t bits) {
    bytes file;
    write_bytes(6, 5, bits, f_palette(bits).data(), f_pixels(bits).data(), &file);
    return file;
}

struct read_outcome {
    int result = 0;
    std::string out;
    bool allocated = false; // a buffer was placed in a slot
    bitmap_header header{};
    std::vector<std::uint32_t> palette;
    bytes pixels;
};

// read_bitmap with empty slots, from a fresh copy of the bytes.
inline read_outcome read_bytes(const bytes& file) {
    std::FILE* f = std::tmpfile();
    if (!file.empty())
        std::fwrite(file.data(), 1, file.size(), f);
    std::rewind(f);
    read_outcome r;
    std::uint32_t* palette = nullptr;
    std::uint8_t* pixels = nullptr;
    testing::internal::CaptureStdout();
    r.result = read_bitmap(f, &r.header, &palette, &pixels);
    r.out = testing::internal::GetCapturedStdout();
    r.allocated = palette != nullptr || pixels != nullptr;
    const int bits = r.header.bit_count;
    if (r.result == 0 && bits <= 8)
        r.palette.assign(palette, palette + (1 << bits));
    if (r.result == 0)
        r.pixels.assign(pixels,
                        pixels + std::size_t{r.header.width} * r.header.height * ((bits + 7) / 8));
    std::free(palette);
    std::free(pixels);
    std::fclose(f);
    return r;
}

inline read_outcome read_file_bytes(const std::filesystem::path& path) {
    const std::string text = test_support::read_file(path);
    return read_bytes(bytes(text.begin(), text.end()));
}

// Every map tile shows sheet tile (map byte & 0xFF): map byte i lies at
// column 16 * ((i / 256) % 16) + i % 16, row 16 * (i / 4096) + (i / 16) % 16.
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
            if (std::memcmp(&map[to], &sheet[from], tw * bpp) != 0)
                ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0u);
}

// Runs qarvex on the sheet in dir with a world disk whose byte i is tile
// i mod 256 (read raw in DOS order); after a good run the map must be the
// sheet's tile size times 256, of its bit count and palette, every tile right.
inline test_support::tool_result run_sheet(const test_support::temp_dir& dir,
                                           const std::string& sheet_name) {
    bytes world(65536);
    for (std::size_t i = 0; i < world.size(); ++i)
        world[i] = static_cast<std::uint8_t>(i);
    test_support::write_file(dir / "world.dsk", world);
    const auto run = test_support::run_qarvex(
        {"-s", sheet_name, "-d2", "world.dsk", "-o", "map.bmp", "--overwrite"}, dir.path);
    if (run.status != 0)
        return run;
    const read_outcome sheet = read_file_bytes(dir / sheet_name);
    const read_outcome map = read_file_bytes(dir / "map.bmp");
    EXPECT_EQ(map.result, 0) << map.out;
    EXPECT_EQ(map.header.width, sheet.header.width / 16 * 256);
    EXPECT_EQ(map.header.height, sheet.header.height / 16 * 256);
    EXPECT_EQ(map.header.bit_count, sheet.header.bit_count);
    EXPECT_EQ(map.palette, sheet.palette);
    expect_map_shows_tiles(map.pixels, sheet.pixels, sheet.header.width / 16,
                           sheet.header.height / 16, (sheet.header.bit_count + 7) / 8);
    return run;
}

} // namespace bmp_test
