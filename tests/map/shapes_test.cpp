// Decoding of tile shapes into the sheet, and the tiles derived from tile 68.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "map/map.h"

namespace {

constexpr int sheet_width = 448;
constexpr int sheet_height = 512;

// Two shape files (8192 bytes) holding byte value in line p of tile t of
// half h, every other byte 0.
std::vector<std::uint8_t> files_with(int t, int p, int h, std::uint8_t value) {
    std::vector<std::uint8_t> files(8192, 0);
    files[static_cast<std::size_t>(h * 4096 + p * 256 + t)] = value;
    return files;
}

std::vector<std::uint8_t> decode(const std::vector<std::uint8_t>& files) {
    std::vector<std::uint8_t> pixels(sheet_width * sheet_height, 0);
    decode_shapes(pixels.data(), files.data());
    return pixels;
}

// The 14 pixels of half h, line p, tile t.
std::vector<int> half_pixels(const std::vector<std::uint8_t>& pixels, int t, int p, int h) {
    const int row = (t / 16) * 32 + 2 * p;
    const int column = (t % 16) * 28 + 14 * h;
    std::vector<int> out;
    for (int i = 0; i < 14; ++i) out.push_back(pixels[row * sheet_width + column + i]);
    return out;
}

}  // namespace

TEST(decode_shapes, byte_patterns_give_their_pixel_runs) {
    struct pattern {
        std::uint8_t byte;
        std::vector<int> pixels;
    };
    const std::vector<pattern> patterns = {
        {0x01, {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {0x40, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1}},
        {0x81, {255, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {0xC0, {255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {0x80, {255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {0xD5, {255, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1}},
    };
    for (const pattern& c : patterns) {
        for (int h = 0; h < 2; ++h) {
            const auto pixels = decode(files_with(200, 9, h, c.byte));
            EXPECT_EQ(half_pixels(pixels, 200, 9, h), c.pixels) << "byte " << int(c.byte);
            // Nothing else in the sheet is lit: the other half stays dark.
            int lit = 0;
            for (std::uint8_t v : pixels) lit += v != 0;
            int expected = 0;
            for (int v : c.pixels) expected += v != 0;
            EXPECT_EQ(lit, expected);
        }
    }
}

TEST(decode_shapes, tiles_sit_at_their_places_and_odd_rows_stay_dark) {
    // Tile 0 line 0 from byte 0, tile 255 line 15 from byte 4095, tile 17 at
    // pixel (28, 32).
    std::vector<std::uint8_t> files(8192, 0);
    files[0] = 0x01;
    files[4096 + 4095] = 0x40;
    files[17] = 0x01;
    const auto pixels = decode(files);
    EXPECT_EQ(pixels[0], 1);
    EXPECT_EQ(pixels[1], 1);
    EXPECT_EQ(pixels[(15 * 32 + 30) * sheet_width + 447], 1);
    EXPECT_EQ(pixels[(15 * 32 + 30) * sheet_width + 446], 1);
    EXPECT_EQ(pixels[32 * sheet_width + 28], 1);
    EXPECT_EQ(pixels[32 * sheet_width + 27], 0);

    // A sheet of all-lit bytes: every even row lit, every odd row dark.
    const auto full = decode(std::vector<std::uint8_t>(8192, 0x7F));
    for (int y = 0; y < sheet_height; ++y) {
        for (int x = 0; x < sheet_width; ++x) {
            ASSERT_EQ(full[y * sheet_width + x], y % 2 == 0 ? 1 : 0) << x << "," << y;
        }
    }
}

TEST(patch_shape_tiles, tiles_69_to_71_follow_tile_68_whatever_the_files_held) {
    std::vector<std::uint8_t> file0(4096, 0x3C);
    std::vector<std::uint8_t> file1(4096, 0xE7);
    for (int p = 0; p < 16; ++p) {
        file0[p * 256 + 68] = static_cast<std::uint8_t>(0x80 | p);  // stored delayed
        file1[p * 256 + 68] = static_cast<std::uint8_t>(0x20 + p);
    }
    patch_shape_tiles(file0.data(), file1.data());
    for (int p = 0; p < 16; ++p) {
        const int a = p;
        const int b = 0x20 + p;
        const int at = p * 256;
        EXPECT_EQ(file0[at + 68], a);
        EXPECT_EQ(file1[at + 68], b);
        EXPECT_EQ(file0[at + 69], b | 0x80);
        EXPECT_EQ(file1[at + 69], a | 0x80);
        EXPECT_EQ(file0[at + 70], a | 0x80);
        EXPECT_EQ(file1[at + 70], b | 0x80);
        EXPECT_EQ(file0[at + 71], b);
        EXPECT_EQ(file1[at + 71], a);
        // Neighbouring tiles are untouched.
        EXPECT_EQ(file0[at + 67], 0x3C);
        EXPECT_EQ(file1[at + 72], 0xE7);
    }
}
