// Artifact colour: each lit sample of a scan line takes the phase weights of
// itself and its lit neighbours, and their OR indexes the 16-colour palette.
//
// The rule looks at five samples, x-2 .. x+2, and at x modulo 4, so it is
// folded into one table per rule: 4 phases x 32 windows. The weights are those
// of the unwrapped columns, so a ring's wrapped samples need no special weight,
// only their lit bit read from the other end.
#include <array>
#include <cassert>
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

// A sample's colour by either rule, from the lit masks (0xFF lit, 0 dark) of
// columns x-2 .. x+2 and their weights: plain logic on bytes, which the
// compiler can run on many columns at once.
template <bool blur>
inline std::uint8_t apply_rule(const std::uint8_t* lit, const std::uint8_t* weight) {
    const std::uint8_t outer =
        static_cast<std::uint8_t>((lit[0] & weight[0]) | (lit[4] & weight[4]));
    if (blur) {
        const std::uint8_t near = static_cast<std::uint8_t>(
            (lit[1] & weight[1]) | (lit[2] & weight[2]) | (lit[3] & weight[3]));
        const std::uint8_t any = near != 0 ? 0xFF : 0;
        return static_cast<std::uint8_t>(near | (any & outer));
    }
    return static_cast<std::uint8_t>(lit[2] & (weight[2] | (lit[1] & weight[1]) |
                                               (lit[3] & weight[3]) | (lit[1] & lit[3] & outer)));
}

// Columns a step in the middle of a row; a step starts at a multiple of 4, so
// the weights of its columns are the same for every step.
constexpr std::int32_t chunk = 32;
constexpr std::array<std::uint8_t, chunk + 4> chunk_weights = [] {
    std::array<std::uint8_t, chunk + 4> weights{}; // entry j: column j - 2
    for (std::size_t j = 0; j < weights.size(); ++j)
        weights[j] = static_cast<std::uint8_t>(phase_weight[(j + 2) & 3u]);
    return weights;
}();

// Colours `chunk` columns from `row` (two columns either side readable) into
// `out`.
template <bool blur> void colour_chunk(const std::uint8_t* row, std::uint8_t* out) {
    std::uint8_t lit[chunk + 4];
    for (std::int32_t j = 0; j < chunk + 4; ++j)
        lit[j] = row[j - 2] != 0 ? 0xFF : 0;
    for (std::int32_t i = 0; i < chunk; ++i)
        out[i] = apply_rule<blur>(lit + i, chunk_weights.data() + i);
}

std::uint8_t colour_column(const std::uint8_t* row, std::int32_t width, int join_ends,
                           const colour_table* table, std::int32_t x) {
    const unsigned window = read_window(row, width, x, join_ends);
    return (*table)[((static_cast<unsigned>(x) & 3u) << 5) | window];
}

// Colours one scan line into the row below it, then copies it back, so that
// every neighbour is read from the line as it was. The columns near the row
// ends, which read across them, go one by one.
void colour_scan_line(std::uint8_t* row, std::uint8_t* below, std::int32_t width, int join_ends,
                      int blur) {
    const colour_table* table = blur ? &blur_table : &plain_table;
    std::int32_t x = 0;
    for (; x < width && x < 4; ++x)
        below[x] = colour_column(row, width, join_ends, table, x);
    for (; x + chunk + 2 <= width; x += chunk) {
        if (blur)
            colour_chunk<true>(row + x, below + x);
        else
            colour_chunk<false>(row + x, below + x);
    }
    for (; x < width; ++x)
        below[x] = colour_column(row, width, join_ends, table, x);
    std::memcpy(row, below, static_cast<std::size_t>(width));
}

// An unpaired last row (an odd height) is coloured in place: a window of
// five lit bits slides along, and the bits beyond the row end are read before
// the first write, since with join_ends they are the row's first samples.
void colour_lone_line(std::uint8_t* row, std::int32_t width, int join_ends, int blur) {
    const colour_table* table = blur ? &blur_table : &plain_table;
    std::array<unsigned, 3> beyond{};
    for (std::size_t j = 0; j < beyond.size(); ++j)
        beyond[j] = static_cast<unsigned>(
            read_lit(row, width, std::int64_t{width} + static_cast<std::int64_t>(j), join_ends));
    unsigned window = read_window(row, width, 0, join_ends);
    for (std::int32_t x = 0; x < width; ++x) {
        row[x] = (*table)[((static_cast<unsigned>(x) & 3u) << 5) | window];
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
    // The run hands over the composed map, a byte a pixel: anything else is
    // our own mistake, never the input's.
    const bool byte_picture = picture->bit_count <= 8 && picture->byte_size >= samples;
    assert(byte_picture);
    if (!byte_picture)
        return;
    for (std::int32_t r = 0; r < height; r += 2) {
        std::uint8_t* row =
            picture->pixels + static_cast<std::size_t>(r) * static_cast<std::size_t>(width);
        resolve_markers(row, width, join_ends);
        if (r + 1 < height)
            colour_scan_line(row, row + width, width, join_ends, blur);
        else
            colour_lone_line(row, width, join_ends, blur);
    }
}
