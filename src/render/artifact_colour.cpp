// Artifact colour: each lit sample of a scan line takes the phase weights of
// itself and its lit neighbours, and their OR indexes the 16-colour palette.
//
// The rule looks at five samples, x-2 .. x+2, and at x modulo 4, so it is
// folded into one table per rule: 4 phases x 32 windows. The weights are those
// of the unwrapped columns, so a ring's wrapped samples need no special weight,
// only their lit bit read from the other end.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "render/render.h"

namespace {

// Phase weight of a column, by column modulo 4.
constexpr std::array<unsigned, 4> phase_weight = {4, 8, 1, 2};

// Window bits: x-2 in bit 4 down to x+2 in bit 0.
constexpr bool window_lit(unsigned window, int k) {
    return ((window >> (2 - k)) & 1u) != 0;
}

constexpr unsigned weight_at(unsigned phase, int k) {
    return phase_weight[(phase + 4u + static_cast<unsigned>(k)) & 3u];
}

// A lit sample takes its lit direct neighbours; with both lit, also the
// samples two columns away.
constexpr std::uint8_t plain_colour(unsigned phase, unsigned window) {
    if (!window_lit(window, 0))
        return 0;
    unsigned c = weight_at(phase, 0);
    const bool left = window_lit(window, -1);
    const bool right = window_lit(window, 1);
    if (left)
        c |= weight_at(phase, -1);
    if (right)
        c |= weight_at(phase, 1);
    if (left && right) {
        if (window_lit(window, -2))
            c |= weight_at(phase, -2);
        if (window_lit(window, 2))
            c |= weight_at(phase, 2);
    }
    return static_cast<std::uint8_t>(c);
}

// Anything lit within one column colours the sample, and then the samples two
// columns away count too.
constexpr std::uint8_t blurred_colour(unsigned phase, unsigned window) {
    unsigned c = 0;
    for (int k = -1; k <= 1; ++k)
        if (window_lit(window, k))
            c |= weight_at(phase, k);
    if (c == 0)
        return 0;
    if (window_lit(window, -2))
        c |= weight_at(phase, -2);
    if (window_lit(window, 2))
        c |= weight_at(phase, 2);
    return static_cast<std::uint8_t>(c);
}

using colour_table = std::array<std::uint8_t, 4 * 32>;

constexpr colour_table make_colour_table(bool blur) {
    colour_table table{};
    for (unsigned phase = 0; phase < 4; ++phase)
        for (unsigned window = 0; window < 32; ++window)
            table[phase * 32 + window] =
                blur ? blurred_colour(phase, window) : plain_colour(phase, window);
    return table;
}

constexpr colour_table plain_table = make_colour_table(false);
constexpr colour_table blur_table = make_colour_table(true);

// Colours one scan line in place. The lit bits beyond the row end are read
// before the first write, since with join_ends they are the first samples of
// the row. Four columns a step, so that each takes its phase's part of the
// table without computing it.
void colour_scan_line(std::uint8_t* row, std::int32_t width, int join_ends,
                      const colour_table* table) {
    std::array<unsigned, 3> beyond{};
    for (std::size_t j = 0; j < beyond.size(); ++j)
        beyond[j] = static_cast<unsigned>(
            read_lit(row, width, std::int64_t{width} + static_cast<std::int64_t>(j), join_ends));
    const std::uint8_t* colours = table->data();
    unsigned window = read_window(row, width, 0, join_ends);
    std::int32_t x = 0;
    for (; x + 6 < width; x += 4) {
        const unsigned w1 = ((window << 1) | static_cast<unsigned>(row[x + 3] != 0)) & 31u;
        const unsigned w2 = ((w1 << 1) | static_cast<unsigned>(row[x + 4] != 0)) & 31u;
        const unsigned w3 = ((w2 << 1) | static_cast<unsigned>(row[x + 5] != 0)) & 31u;
        const unsigned w4 = ((w3 << 1) | static_cast<unsigned>(row[x + 6] != 0)) & 31u;
        row[x] = colours[window];
        row[x + 1] = colours[32 + w1];
        row[x + 2] = colours[64 + w2];
        row[x + 3] = colours[96 + w3];
        window = w4;
    }
    for (; x < width; ++x) {
        row[x] = colours[((static_cast<unsigned>(x) & 3u) << 5) | window];
        const unsigned next =
            x + 3 < width ? row[x + 3] != 0 : beyond[static_cast<std::size_t>(x + 3 - width)];
        window = ((window << 1) | next) & 31u;
    }
}

} // namespace

void colour_bitmap(image_info* picture, int join_ends, int blur) {
    if (picture == nullptr || picture->pixels == nullptr)
        return;
    const std::int32_t width = picture->width;
    const std::int32_t height = picture->height;
    if (width <= 0 || height <= 0)
        return;
    const std::uint64_t samples =
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    if (picture->bit_count > 8 || picture->byte_size < samples) {
        std::printf("error: colour_bitmap() - picture of %d x %d pixels is not a byte a pixel\n",
                    static_cast<int>(width), static_cast<int>(height));
        return;
    }
    const colour_table* table = blur ? &blur_table : &plain_table;
    for (std::int32_t r = 0; r < height; r += 2) {
        std::uint8_t* row =
            picture->pixels + static_cast<std::size_t>(r) * static_cast<std::size_t>(width);
        resolve_markers(row, width, join_ends);
        colour_scan_line(row, width, join_ends, table);
        if (r + 1 < height)
            std::memcpy(row + width, row, static_cast<std::size_t>(width));
    }
}
