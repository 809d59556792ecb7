// The sixteen hues an NTSC-decoded sample can be drawn at, with their sine and
// cosine. Window patterns have hues in steps of 45 degrees, two of them average
// to steps of 22.5, and the decoder turns every hue by 10 degrees: so only
// 10 + 22.5 k degrees (k = 0 .. 15) ever reach sin and cos. The values are
// sin(H * pi / 180.0) and cos(H * pi / 180.0) in double precision as glibc
// computes them, written as exact hexadecimal literals, so that a build with
// another C library still draws the same bytes; a test compares them with the
// library of the machine it runs on.
#include "render/render.h"

const std::array<hue_angle, 16> hue_angles = {{
    {0x1.4p+3, 0x1.63a1a7e0b7389p-3, 0x1.f838b8c811c17p-1},     // 10
    {0x1.04p+5, 0x1.1318ef2c01a5bp-1, 0x1.afd100eafc29p-1},     // 32.5
    {0x1.b8p+5, 0x1.a367e59158747p-1, 0x1.25abcf87c4979p-1},    // 55
    {0x1.36p+6, 0x1.f3dd11fb974b6p-1, 0x1.bb44b13b62572p-3},    // 77.5
    {0x1.9p+6, 0x1.f838b8c811c17p-1, -0x1.63a1a7e0b7388p-3},    // 100
    {0x1.eap+6, 0x1.afd100eafc291p-1, -0x1.1318ef2c01a58p-1},   // 122.5
    {0x1.22p+7, 0x1.25abcf87c497bp-1, -0x1.a367e59158745p-1},   // 145
    {0x1.4fp+7, 0x1.bb44b13b6257cp-3, -0x1.f3dd11fb974b5p-1},   // 167.5
    {0x1.7cp+7, -0x1.63a1a7e0b738ep-3, -0x1.f838b8c811c17p-1},  // 190
    {0x1.a9p+7, -0x1.1318ef2c01a58p-1, -0x1.afd100eafc291p-1},  // 212.5
    {0x1.d6p+7, -0x1.a367e59158745p-1, -0x1.25abcf87c497bp-1},  // 235
    {0x1.018p+8, -0x1.f3dd11fb974b6p-1, -0x1.bb44b13b6256fp-3}, // 257.5
    {0x1.18p+8, -0x1.f838b8c811c18p-1, 0x1.63a1a7e0b737cp-3},   // 280
    {0x1.2e8p+8, -0x1.afd100eafc29p-1, 0x1.1318ef2c01a5bp-1},   // 302.5
    {0x1.45p+8, -0x1.25abcf87c497cp-1, 0x1.a367e59158745p-1},   // 325
    {0x1.5b8p+8, -0x1.bb44b13b62571p-3, 0x1.f3dd11fb974b6p-1},  // 347.5
}};
