// Artifact colour: each lit sample of a scan line takes the phase weights of
// itself and its lit neighbours, and their OR indexes the 16-colour palette.
//
// The rule looks at five samples, x-2 .. x+2, and at x modulo 4: it is folded
// into one table per rule over the window keys, and each scan line is its
// keys looked up. The weights are those of the unwrapped columns, so a ring's
// wrapped samples need no special weight, only their lit bit read from the
// other end.
#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>

#include "render/render.h"

namespace {

// A lit sample takes its lit direct neighbours; with both lit, also the
// samples two columns away.
constexpr std::uint8_t plain_colour(unsigned key) {
    const std::array<unsigned, 5> w = read_window_weights(key);
    if (w[2] == 0)
        return 0;
    const unsigned outer = w[1] != 0 && w[3] != 0 ? w[0] | w[4] : 0;
    return static_cast<std::uint8_t>(w[1] | w[2] | w[3] | outer);
}

// Anything lit within one column colours the sample, and then the samples two
// columns away count too.
constexpr std::uint8_t blurred_colour(unsigned key) {
    const std::array<unsigned, 5> w = read_window_weights(key);
    const unsigned near = w[1] | w[2] | w[3];
    return static_cast<std::uint8_t>(near != 0 ? near | w[0] | w[4] : 0);
}

using colour_table = std::array<std::uint8_t, window_keys>;

constexpr colour_table make_colour_table(bool blur) {
    colour_table table{};
    for (unsigned key = 0; key < window_keys; ++key)
        table[key] = blur ? blurred_colour(key) : plain_colour(key);
    return table;
}

constexpr colour_table plain_table = make_colour_table(false);
constexpr colour_table blur_table = make_colour_table(true);

} // namespace

// Each scan line's keys go to the row below, become their colours there, and
// are copied back.
void colour_bitmap(image_info* picture, int join_ends, int blur) {
    const std::int32_t width = picture->width;
    const std::int32_t height = picture->height;
    assert(picture->pixels != nullptr && width >= 0 && height >= 0);
    // The run hands over the composed map, a byte a pixel, in scan-line pairs:
    // anything else is our own mistake, never the input's.
    assert(picture->bit_count <= 8 && height % 2 == 0 &&
           picture->byte_size >= std::uint64_t{static_cast<std::uint32_t>(width)} *
                                     static_cast<std::uint32_t>(height));
    const colour_table& table = blur ? blur_table : plain_table;
    const auto stride = static_cast<std::size_t>(width);
    for (std::int32_t r = 0; r < height; r += 2) {
        std::uint8_t* row = picture->pixels + static_cast<std::size_t>(r) * stride;
        std::uint8_t* below = row + stride;
        read_window_keys(row, width, join_ends, 0, below);
        for (std::size_t x = 0; x < stride; ++x)
            below[x] = table[below[x]];
        std::memcpy(row, below, stride);
    }
}
