// Small pictures for the colour passes, held in a std::vector.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <random>
#include <vector>

#include "cli/image.h"

struct test_picture {
    std::vector<std::uint8_t> pixels;
    image_info info{};
};

// A dark width x height picture at 4 bits, a byte a pixel, with the given
// columns of row 0 lit.
inline test_picture make_picture(int width, int height, std::initializer_list<int> lit = {}) {
    test_picture picture;
    picture.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    for (int x : lit)
        picture.pixels[static_cast<std::size_t>(x)] = 1;
    picture.info = {
        width,  height, 4, static_cast<std::uint32_t>(picture.pixels.size()), picture.pixels.data(),
        nullptr};
    return picture;
}

// Random even rows: a half-dot marker now and then at columns 0, 14, 28, ...,
// otherwise dots lit by `density` percent, or (bytes) the seven doubled dots
// of a hi-res byte, mostly a solid colour pattern so that long runs of one hue
// occur. The odd rows hold rubbish that no pass may read.
inline void scatter(test_picture* picture, std::mt19937* random, int density, bool bytes) {
    static const std::uint8_t patterns[] = {0x00, 0x7F, 0x55, 0x2A, 0xD5, 0xAA, 0xFF, 0x80};
    std::uint8_t* pixel = picture->pixels.data();
    unsigned byte = 0;
    for (int r = 0; r < picture->info.height; ++r)
        for (int x = 0; x < picture->info.width; ++x, ++pixel) {
            const std::uint32_t pick = (*random)();
            if (x % 14 == 0)
                byte = pick % 4 == 0 ? (pick >> 8) & 0xFF : patterns[(pick >> 8) % 8];
            const int dot = (x % 14 - static_cast<int>(byte >> 7)) / 2; // the delay shifts by one
            if (r % 2 == 1)
                *pixel = static_cast<std::uint8_t>(pick);
            else if (x % 14 == 0 && (bytes ? byte >= 0x80 : pick % 3 == 0))
                *pixel = 255;
            else
                *pixel = bytes ? (byte >> dot) & 1 : static_cast<int>(pick % 100) < density;
        }
}
