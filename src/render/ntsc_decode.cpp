// NTSC composite decode: each scan line is a signal sampled four times per
// subcarrier cycle. A sample's two 4-sample window patterns give its luma and
// hue, the number of equal-hue neighbours (its run, 0 to 6 on each side) its
// saturation, and YIQ gives red, green and blue.
//
// A sample's window key (its subcarrier phase and the lit samples x-2..x+2)
// and its run make its colour: the colours of all keys and runs are computed
// once a call. Per row: the key of every column; the hue code of every column
// and of the six beyond each end (round the ring, or the margins' hue 0.0);
// a flag per column for "same hue as the column before"; then, left to
// right, the flags of columns x-5..x+6 in a register give x's run. A sample
// without hue has no saturation, so its own run does not matter; and no
// window puts one next to a sample of hue 0.0, so no run reaches one, whether
// or not it would read as 0.0 once passed.
#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/render.h"

namespace {

constexpr double no_hue = -99.9;         // hue of patterns 0, 5, 10, 15
constexpr double no_hue_below = -1.0;    // any hue below this is none
constexpr std::int32_t edge_margin = 10; // line entries either side without join_ends
constexpr int run_radius = 6;            // neighbours compared on each side
constexpr double saturation_divisor_factor = 3.0;
constexpr double saturation_factor = 0.7;
constexpr double hue_rotation = 10.0; // degrees
constexpr double i_amplitude = 0.595716;
constexpr double q_amplitude = 0.522591;
constexpr double output_scale = 255.0;

constexpr unsigned window_keys = 4 * 32;       // subcarrier phase x 5-sample window
constexpr unsigned runs = 2 * run_radius + 1;  // equal-hue neighbours, 0..12
constexpr unsigned run_flags = 2 * run_radius; // columns x-5..x+6
constexpr unsigned flag_mask = (1u << run_flags) - 1;

// Luma of a pattern: its set bits / 4.
constexpr std::array<double, 16> luma_table = {0.0,  0.25, 0.25, 0.5,  0.25, 0.5,  0.5,  0.75,
                                               0.25, 0.5,  0.5,  0.75, 0.5,  0.75, 0.75, 1.0};
// Hue of a pattern in degrees, or no_hue.
constexpr std::array<double, 16> hue_table = {no_hue, 45, 315,    0,  225, no_hue, 270, 315,
                                              135,    90, no_hue, 45, 180, 135,    225, no_hue};

// Hues are only compared for equality: every hue a pattern pair can have is
// a multiple of 22.5 degrees below 360, coded as its step number 0 to 15.
constexpr double hue_step = 22.5;
constexpr std::uint8_t no_hue_code = 16;

// colour[run * window_keys + key]: 0x00RRGGBB, in memory blue, green, red;
// run_offset[flags of columns x-5..x+6, x+6 in bit 0]: run * window_keys.
struct window_colours {
    std::array<std::uint32_t, runs * window_keys> colour;
    std::array<std::uint8_t, window_keys> hue_code;
    std::array<std::uint16_t, 1u << run_flags> run_offset;
};
static_assert(std::endian::native == std::endian::little, "colours are stored as words");

// One sample, straight from luma, lit, saturation and hue (0.0 for no hue).
std::uint32_t decode_sample(double luma, int lit, double saturation, double hue) {
    if (luma == 0.0)
        return 0;
    const double y = lit ? luma : luma * saturation;
    const double s = saturation * saturation_factor;
    double h = hue + hue_rotation;
    if (h > 360.0)
        h = h - 360.0;
    const hue_angle& angle = hue_angles[static_cast<std::size_t>(h / hue_step)];
    assert(angle.degrees == h && "one of the sixteen hues a sample can have");
    const double i = angle.sine * s * i_amplitude;
    const double q = angle.cosine * s * q_amplitude;
    const auto channel = [](double value) { // truncated toward zero, then clamped
        return static_cast<std::uint32_t>(
            std::clamp(static_cast<int>(value * output_scale), 0, 255));
    };
    return channel(y + i * 0.9563 + q * 0.621) << 16 | channel(y - i * 0.2721 - q * 0.6474) << 8 |
           channel(y - i * 1.107 + q * 1.7046);
}

void build_window_colours(window_colours* colours) {
    for (unsigned key = 0; key < window_keys; ++key) {
        // The weights of the lit samples x-2..x+2 (key bit 4 is x-2, bits 5
        // and 6 the phase of x), and patterns A (x-2..x+1) and B (x-1..x+2).
        std::array<unsigned, 5> weights{};
        for (unsigned k = 0; k < 5; ++k)
            weights[k] = ((key >> (4 - k)) & 1u) << (((key >> 5) + k) & 3u);
        const unsigned a = weights[0] | weights[1] | weights[2] | weights[3];
        const unsigned b = weights[1] | weights[2] | weights[3] | weights[4];
        const double luma = (luma_table[a] + luma_table[b]) / 2.0;
        const double hue = average_hue(static_cast<int>(a), static_cast<int>(b));
        const bool hued = hue >= no_hue_below;
        const auto code = static_cast<std::uint8_t>(hued ? hue / hue_step : no_hue_code);
        assert(!hued || code * hue_step == hue);
        colours->hue_code[key] = code;
        for (unsigned run = 0; run < runs; ++run) { // no hue: no saturation, hue 0.0
            const double saturation =
                (static_cast<int>(run) + run_radius) / (run_radius * saturation_divisor_factor);
            colours->colour[run * window_keys + key] =
                decode_sample(luma, (key >> 2) & 1u, hued ? saturation : 0.0, hued ? hue : 0.0);
        }
    }
    for (unsigned flags = 0; flags <= flag_mask; ++flags) { // bit 6 is column x, bit 5 is x+1
        const auto run =
            static_cast<unsigned>(std::countr_one(flags >> run_radius) +
                                  std::countl_one(static_cast<std::uint8_t>(flags << 2)));
        colours->run_offset[flags] = static_cast<std::uint16_t>(run * window_keys);
    }
}

// A scan line and its scratch, a byte a column (and run_radius beyond each end).
struct scan_line {
    const std::uint8_t* row;
    std::int32_t width;
    int join_ends;
    unsigned phase;
    std::uint8_t* keys;
    std::uint8_t* codes; // hue codes, column x at codes[x + run_radius]
    std::uint8_t* same;  // its flag "same hue as the column before", likewise
    std::uint8_t* out;   // blue, green, red
};

void decode_row(const scan_line* line, const window_colours* colours) {
    const std::int32_t width = line->width;
    const std::uint8_t* row = line->row;
    // Keys, straight from the row where the window stays inside it.
    const auto lit = [row](std::int32_t p) { return unsigned{row[p] != 0}; };
    const std::int32_t inside_end = std::max(width - 2, 2);
    auto phase = static_cast<std::uint8_t>((line->phase + 2) << 5); // bits 5, 6: column mod 4
    for (std::int32_t x = 2; x < inside_end; ++x, phase = static_cast<std::uint8_t>(phase + 32))
        line->keys[x] =
            static_cast<std::uint8_t>((phase & 0x60u) | lit(x - 2) << 4 | lit(x - 1) << 3 |
                                      lit(x) << 2 | lit(x + 1) << 1 | lit(x + 2));
    for (std::int32_t x = 0; x < width; x = x == 1 ? inside_end : x + 1)
        line->keys[x] =
            static_cast<std::uint8_t>(((static_cast<unsigned>(x) + line->phase) & 3u) << 5 |
                                      read_window(row, width, x, line->join_ends));
    // Hue codes, and the flags of columns -5..width+5.
    std::uint8_t* codes = line->codes + run_radius;
    for (std::int32_t x = 0; x < width; ++x)
        codes[x] = colours->hue_code[line->keys[x]];
    for (std::int32_t j = 1; j <= run_radius; ++j) { // a ring is at least 10 wide
        codes[-j] = line->join_ends ? codes[width - j] : 0;
        codes[width - 1 + j] = line->join_ends ? codes[j - 1] : 0;
    }
    for (std::int32_t j = 1 - run_radius; j < width + run_radius; ++j)
        line->same[j + run_radius] = codes[j] == codes[j - 1];
    // Colours left to right, four columns a step as 12 bytes.
    const std::uint8_t* same = line->same + 2 * run_radius; // column x + 6 at same[x]
    std::size_t flags = 0;
    for (std::int32_t j = 1 - 2 * run_radius; j < 0; ++j) // columns -5..5
        flags = flags * 2 + same[j];
    const auto colour_of = [&](std::size_t x) { // in column order: it moves the flags on
        flags = (flags * 2 + same[x]) & flag_mask;
        return colours->colour[colours->run_offset[flags] + std::size_t{line->keys[x]}];
    };
    const auto columns = static_cast<std::size_t>(width);
    std::uint8_t* out = line->out;
    std::size_t x = 0;
    for (; x + 4 <= columns; x += 4, out += 12) {
        const std::uint64_t c0 = colour_of(x), c1 = colour_of(x + 1), c2 = colour_of(x + 2);
        const std::uint64_t low = c0 | c1 << 24 | c2 << 48;
        const std::uint32_t high = static_cast<std::uint32_t>(c2 >> 16) | colour_of(x + 3) << 8;
        std::memcpy(out, &low, 8);
        std::memcpy(out + 8, &high, 4);
    }
    for (; x < columns; ++x, out += 3) {
        const std::uint32_t colour = colour_of(x);
        std::memcpy(out, &colour, 3);
    }
}

std::uint8_t* allocate_line(std::size_t length) {
    return static_cast<std::uint8_t*>(std::calloc(length, sizeof(double)));
}

bool is_byte_picture(const image_info* picture) {
    if (picture->pixels == nullptr || picture->width < 0 || picture->height < 0)
        return false;
    const std::uint64_t samples =
        static_cast<std::uint64_t>(picture->width) * static_cast<std::uint64_t>(picture->height);
    return picture->bit_count <= 8 && picture->byte_size >= samples;
}

} // namespace

double average_hue(int a, int b) {
    if (a < 0 || a > 15 || b < 0 || b > 15)
        return no_hue;
    const double ha = hue_table[static_cast<std::size_t>(a)];
    const double hb = hue_table[static_cast<std::size_t>(b)];
    if (ha < no_hue_below)
        return hb;
    if (hb < no_hue_below)
        return ha;
    double mean = (ha + hb) / 2.0;
    if (ha - hb < -180.0 || ha - hb > 180.0)
        mean = mean + 180.0;
    while (mean >= 360.0)
        mean -= 360.0;
    return mean;
}

int retouch_bitmap(image_info* picture, int join_ends, int phase_offset) {
    // The run hands over the composed map, a byte a pixel: anything else is
    // our own mistake, never the input's.
    const bool byte_picture = picture != nullptr && is_byte_picture(picture);
    assert(byte_picture);
    if (!byte_picture)
        return -1;
    const std::int32_t width = picture->width;
    const std::int32_t height = picture->height;
    if (join_ends && width < edge_margin) {
        std::printf("WARNING: too narrow width ... set join_ends to 0\n");
        join_ends = 0;
    }
    // The three working lines (width doubles, and a margin of 10 either side
    // without join_ends) hold a row's keys, hue codes and flags; they and the
    // 24-bit picture are allocated in that order.
    const std::size_t line_length =
        static_cast<std::size_t>(width) + (join_ends ? 0 : 2 * std::size_t{edge_margin});
    std::uint8_t* luma_line = allocate_line(line_length);
    std::uint8_t* hue_line = luma_line == nullptr ? nullptr : allocate_line(line_length);
    std::uint8_t* saturation_line = hue_line == nullptr ? nullptr : allocate_line(line_length);
    const std::size_t out_stride = 3 * static_cast<std::size_t>(width);
    const std::uint64_t output_size =
        std::uint64_t{out_stride} * static_cast<std::uint32_t>(height);
    // The picture's byte size is a 32-bit quantity: a larger output cannot be had.
    std::uint8_t* output = saturation_line == nullptr || output_size > UINT32_MAX
                               ? nullptr
                               : allocate_pixels(static_cast<std::size_t>(output_size));
    if (output == nullptr) {
        std::printf("ERROR: memory exhausted!\n");
    } else {
        window_colours colours; // 15 KiB of tables
        build_window_colours(&colours);
        scan_line line{
            nullptr,   width,    join_ends,       static_cast<unsigned>(phase_offset) & 3u,
            luma_line, hue_line, saturation_line, nullptr};
        for (std::int32_t r = 0; r < height; r += 2) {
            std::uint8_t* row =
                picture->pixels + static_cast<std::size_t>(r) * static_cast<std::size_t>(width);
            resolve_markers(row, width, join_ends);
            line.row = row;
            line.out = output + static_cast<std::size_t>(r) * out_stride;
            decode_row(&line, &colours);
            if (r + 1 < height)
                std::memcpy(line.out + out_stride, line.out, out_stride);
        }
        release_pixels(picture->pixels);
        picture->pixels = output;
        picture->byte_size = static_cast<std::uint32_t>(output_size);
        picture->bit_count = 24;
        picture->palette = nullptr;
    }
    std::free(saturation_line);
    std::free(hue_line);
    std::free(luma_line);
    return output == nullptr ? -1 : 0;
}
