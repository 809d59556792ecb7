// Small pictures for the colour passes: one scan-line pair (or a few) built
// from a list of lit columns or random dots, held in a std::vector.
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

// A width x height picture at 4 bits, one byte a pixel, all dark. The vector
// stays the pixels' owner: a pass that replaces them must not free them.
inline void make_picture(test_picture* picture, int width, int height) {
    picture->pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    picture->info.width = width;
    picture->info.height = height;
    picture->info.bit_count = 4;
    picture->info.byte_size = static_cast<std::uint32_t>(picture->pixels.size());
    picture->info.pixels = picture->pixels.data();
    picture->info.palette = nullptr;
}

// Lights the given columns of row 0.
inline void light(test_picture* picture, std::initializer_list<int> columns) {
    for (int x : columns)
        picture->pixels[static_cast<std::size_t>(x)] = 1;
}

// Random even rows as the tile decoder writes them: dots 0 or 1, a half-dot
// marker now and then at columns 0, 14, 28, ...; the odd rows hold rubbish
// that no pass may read.
inline void scatter_dots(test_picture* picture, std::mt19937* random, int density) {
    const int width = picture->info.width;
    for (int r = 0; r < picture->info.height; ++r)
        for (int x = 0; x < width; ++x) {
            std::uint8_t& pixel = picture->pixels[static_cast<std::size_t>(r) * width + x];
            if (r % 2 == 1)
                pixel = static_cast<std::uint8_t>((*random)() & 0xFF);
            else if (x % 14 == 0 && (*random)() % 3 == 0)
                pixel = 255;
            else
                pixel = static_cast<int>((*random)() % 100) < density ? 1 : 0;
        }
}

// Even rows as the tile decoder writes hi-res bytes: seven dots of two
// samples each, shifted by the half-dot marker when the high bit is set. The
// bytes come mostly from the solid colour patterns, so that long runs of one
// hue occur as they do in a real map.
inline void scatter_bytes(test_picture* picture, std::mt19937* random) {
    static const std::uint8_t patterns[] = {0x00, 0x7F, 0x55, 0x2A, 0xD5, 0xAA, 0xFF, 0x80};
    const int width = picture->info.width;
    for (int r = 0; r < picture->info.height; r += 2)
        for (int x0 = 0; x0 < width; x0 += 14) {
            const std::uint32_t pick = (*random)();
            const auto byte =
                static_cast<std::uint8_t>(pick % 4 == 0 ? pick >> 8 : patterns[(pick >> 8) % 8]);
            std::uint8_t dots[14];
            int at = 0;
            if (byte & 0x80)
                dots[at++] = 255;
            for (int i = 0; i < 7 && at < 14; ++i)
                for (int half = 0; half < 2 && at < 14; ++half)
                    dots[at++] = (byte >> i) & 1;
            for (int i = 0; i < 14 && x0 + i < width; ++i)
                picture->pixels[static_cast<std::size_t>(r) * width + x0 + i] = dots[i];
        }
}
