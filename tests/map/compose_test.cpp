// Laying the map out: the chunked layout, moon gates and the balloon, on
// sheets small enough to check every tile.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "map/map.h"

namespace {

// A sheet of 1 x 1 pixel tiles whose pixel is the tile number, so that the
// composed 256 x 256 picture shows the tile drawn at every map place.
struct tiny_map {
    std::vector<std::uint8_t> sheet_pixels;
    std::vector<std::uint8_t> picture_pixels;
    shape_sheet sheet{};
    image_info picture{};

    tiny_map() : sheet_pixels(256), picture_pixels(256 * 256, 0xEE) {
        for (int t = 0; t < 256; ++t) sheet_pixels[t] = static_cast<std::uint8_t>(t);
        sheet.tile_width = 1;
        sheet.tile_height = 1;
        sheet.bit_count = 8;
        sheet.bytes_per_pixel = 1;
        sheet.pixels = sheet_pixels.data();
        picture.width = 256;
        picture.height = 256;
        picture.bit_count = 8;
        picture.byte_size = 256 * 256;
        picture.pixels = picture_pixels.data();
    }
    int at(int x, int y) const { return picture_pixels[y * 256 + x]; }
};

// The map with byte i holding i mod 251, so that neighbouring bytes differ.
std::vector<std::uint8_t> counting_map() {
    std::vector<std::uint8_t> map(65536);
    for (int i = 0; i < 65536; ++i) map[i] = static_cast<std::uint8_t>(i % 251);
    return map;
}

struct place {
    int x;
    int y;
};
const place gates[8] = {{224, 133}, {96, 102}, {38, 224},  {50, 37},
                        {166, 19},  {104, 194}, {23, 126}, {187, 167}};

// How many places differ from the map's own tile.
int changed_places(const tiny_map& m, const std::vector<std::uint8_t>& map) {
    int changed = 0;
    for (int i = 0; i < 65536; ++i) {
        const int x = (i / 256) % 16 * 16 + i % 16;
        const int y = i / 4096 * 16 + (i / 16) % 16;
        changed += m.at(x, y) != map[i];
    }
    return changed;
}

}  // namespace

TEST(compose_map, map_bytes_land_at_their_chunked_places) {
    tiny_map m;
    std::vector<std::uint8_t> map(65536, 0);
    map[0] = 10;
    map[16] = 11;
    map[256] = 12;
    map[4096] = 13;
    map[65535] = 14;
    compose_map(&m.picture, &m.sheet, map.data(), 0, 0);
    EXPECT_EQ(m.at(0, 0), 10);
    EXPECT_EQ(m.at(0, 1), 11);
    EXPECT_EQ(m.at(16, 0), 12);
    EXPECT_EQ(m.at(0, 16), 13);
    EXPECT_EQ(m.at(255, 255), 14);
    // Every place is overwritten, and only the five hold a non-zero tile.
    int non_zero = 0;
    for (std::uint8_t v : m.picture_pixels) non_zero += v != 0;
    EXPECT_EQ(non_zero, 5);
}

TEST(compose_map, gates_and_balloon_only_where_asked) {
    const auto map = counting_map();
    {  // No gates, no balloon: the map as it is.
        tiny_map m;
        compose_map(&m.picture, &m.sheet, map.data(), 0, 0);
        EXPECT_EQ(changed_places(m, map), 0);
        EXPECT_EQ(m.at(233, 242), map[65065]);
    }
    for (int k = 0; k < 8; ++k) {  // One phase at a time, bits above 7 ignored.
        tiny_map m;
        compose_map(&m.picture, &m.sheet, map.data(), (1u << k) | 0xFFFFFF00u, 0);
        EXPECT_EQ(m.at(gates[k].x, gates[k].y), 67) << "phase " << k + 1;
        EXPECT_EQ(changed_places(m, map), 1) << "phase " << k + 1;
    }
    {  // "-g": all eight; phase 1 replaces map byte 36,432.
        tiny_map m;
        compose_map(&m.picture, &m.sheet, map.data(), 255, 0);
        for (const place& g : gates) EXPECT_EQ(m.at(g.x, g.y), 67);
        EXPECT_EQ(changed_places(m, map), 8);
        EXPECT_EQ(map[36432], 36432 % 251);
    }
    {  // "-p 1 -p 8".
        tiny_map m;
        compose_map(&m.picture, &m.sheet, map.data(), 0x81, 0);
        EXPECT_EQ(m.at(224, 133), 67);
        EXPECT_EQ(m.at(187, 167), 67);
        EXPECT_EQ(changed_places(m, map), 2);
    }
    {  // The balloon at (233, 242), map byte 65,065; the map buffer is untouched.
        tiny_map m;
        const auto before = map;
        compose_map(&m.picture, &m.sheet, map.data(), 0, 1);
        EXPECT_EQ(m.at(233, 242), 24);
        EXPECT_EQ(changed_places(m, map), 1);
        EXPECT_EQ(map, before);
    }
}

TEST(compose_map, wide_pixels_are_copied_a_tile_row_at_a_time) {
    // 2 x 3 tiles of 3 bytes a pixel; every byte of the sheet distinct enough
    // to show a tile row copied from the wrong place.
    const int w = 2, h = 3, b = 3;
    std::vector<std::uint8_t> sheet_pixels(16 * w * 16 * h * b);
    for (std::size_t i = 0; i < sheet_pixels.size(); ++i) {
        sheet_pixels[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    }
    std::vector<std::uint8_t> picture_pixels(static_cast<std::size_t>(256 * w) * 256 * h * b);
    shape_sheet sheet{w, h, 16, 16, 24, b, sheet_pixels.data(), nullptr};
    image_info picture{256 * w, 256 * h, 24, 0, picture_pixels.data(), nullptr};
    const auto map = counting_map();
    compose_map(&picture, &sheet, map.data(), 0, 0);
    const std::size_t sheet_stride = 16 * w * b;
    const std::size_t picture_stride = 256 * w * b;
    for (int i : {0, 17, 4095, 36432, 65535}) {
        const int t = map[i];
        const int x = (i / 256) % 16 * 16 + i % 16;
        const int y = i / 4096 * 16 + (i / 16) % 16;
        for (int v = 0; v < h; ++v) {
            for (int k = 0; k < w * b; ++k) {
                ASSERT_EQ(picture_pixels[(y * h + v) * picture_stride + x * w * b + k],
                          sheet_pixels[(t / 16 * h + v) * sheet_stride + t % 16 * w * b + k]);
            }
        }
    }
}
