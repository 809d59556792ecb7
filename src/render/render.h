// Colouring the monochrome high-resolution map: artifact colour (plain or
// blurred) into the 16-colour palette, or an NTSC composite decode into 24 bits.
//
// Both passes read only the even row of each scan-line pair (0 dark dot,
// 1 lit dot, 255 the half-dot shift marker at columns 0, 14, 28, ...) and
// leave both rows of the pair equal. Four samples make one cycle of the colour
// subcarrier, so a sample's colour depends on its column modulo 4 and on the
// lit samples up to two columns either side: a 5-sample window.
#pragma once

#include <array>
#include <cstdint>

#include "picture/picture.h"

// --- artifact colour -------------------------------------------------------------
// In place: palette indices 0..15 by the plain rule (blur 0) or the blur rule.
// join_ends: each scan line is a ring. Allocates nothing, cannot fail.
void colour_bitmap(image_info* picture, int join_ends, int blur);

// --- NTSC composite decode -------------------------------------------------------
// Replaces the picture by a 24-bit one (blue, green, red; no palette) and
// releases the old pixels: 0. On failure prints one line and leaves the
// picture unchanged: -1.
int retouch_bitmap(image_info* picture, int join_ends, int phase_offset);
// Mean hue in degrees of two 4-bit window patterns, or -99.9 (no hue).
double average_hue(int a, int b);

// --- shared by both passes -------------------------------------------------------
// Every hue a sample can be drawn at (average hue + 10 degrees, wrapped; 10 for
// a sample without hue) with sin and cos of H * pi / 180.0 as the C library
// of the reference build gives them, so that every build draws the same bytes.
struct hue_angle {
    double degrees;
    double sine;
    double cosine;
};
extern const std::array<hue_angle, 16> hue_angles;

// A sample's window key: its subcarrier phase, (column + phase offset) mod 4,
// in bits 6 and 5, and its window of lit samples x-2..x+2 in bits 4..0 (x-2 in
// bit 4, the sample itself in bit 2). Its colour is a function of the key,
// and in the NTSC decode of the key and its run of equal-hue neighbours.
inline constexpr unsigned window_keys = 4 * 32;

// The phase weights of a key's lit samples x-2..x+2 (entry 0 is x-2), 0 for a
// dark one: 1 << ((phase + k + 2) mod 4) for the sample k columns from x, the
// weights 4, 8, 1, 2 of columns 0, 1, 2, 3 mod 4.
constexpr std::array<unsigned, 5> read_window_weights(unsigned key) {
    std::array<unsigned, 5> weights{};
    for (unsigned j = 0; j < weights.size(); ++j)
        weights[j] = ((key >> (4 - j)) & 1u) << (((key >> 5) + j) & 3u);
    return weights;
}

// The window key of every column of one scan line (the even row of a pair)
// into keys[0 .. width-1]. The row's half-dot markers are resolved first, in
// place. The samples beyond the row ends are the other end's with join_ends
// (then the width must be at least 2), else dark.
void read_window_keys(std::uint8_t* row, std::int32_t width, int join_ends, unsigned phase_offset,
                      std::uint8_t* keys);
