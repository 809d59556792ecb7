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

// The half-dot markers of one scan line take the value of the dot before them
// (at column 0: the row's last dot with join_ends, else dark).
void resolve_markers(std::uint8_t* row, std::int32_t width, int join_ends);
// 1 if the sample at column p (any integer) is lit; beyond the row ends it is
// read from the other end with join_ends, else dark.
int read_lit(const std::uint8_t* row, std::int32_t width, std::int64_t p, int join_ends);
// Window of the lit samples x-2..x+2 as bits 4..0 (x-2 in bit 4).
unsigned read_window(const std::uint8_t* row, std::int32_t width, std::int32_t x, int join_ends);
