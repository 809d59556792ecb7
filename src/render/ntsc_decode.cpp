// NTSC composite decode: each scan line is a signal sampled four times per
// subcarrier cycle. A sample's two 4-sample window patterns give its luma and
// hue, the number of equal-hue neighbours (its run, 0 to 6 on each side) its
// saturation, and YIQ gives red, green and blue.
//
// A sample's window key (its subcarrier phase and the lit samples x-2..x+2)
// and its run make its colour: the colours of all keys and runs are computed
// once a call. Per row: the window key of every column and of the six beyond
// each end (round the ring, or the margins of hue 0.0); then, left to right,
// the flags "same hue as the column before" of columns x-5..x+6 in a register
// give x's run. A sample without hue has no saturation, so its own run does
// not matter; and no window, not even across a ring of any width, puts one
// next to a sample of hue 0.0, so no run reaches one, whether or not it would
// read as 0.0 once passed.
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
constexpr std::int32_t edge_margin = 10; // the narrowest ring
constexpr int run_radius = 6;            // neighbours compared on each side
constexpr double saturation_divisor_factor = 3.0;
constexpr double saturation_factor = 0.7;
constexpr double hue_rotation = 10.0; // degrees
constexpr double i_amplitude = 0.595716;
constexpr double q_amplitude = 0.522591;
constexpr double output_scale = 255.0;

constexpr unsigned runs = 2 * run_radius + 1;  // equal-hue neighbours, 0..12
constexpr unsigned run_flags = 2 * run_radius; // columns x-5..x+6
constexpr unsigned flag_mask = (1u << run_flags) - 1;
// The key of a column beyond the row ends without join_ends: its hue is the
// margins' 0.0, and its colour is never drawn.
constexpr std::uint8_t margin_key = window_keys;

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
// hue_code[key], the margin key's too; run_offset[flags of columns x-5..x+6,
// x+6 in bit 0]: run * window_keys.
struct window_colours {
    std::array<std::uint32_t, runs * window_keys> colour;
    std::array<std::uint8_t, window_keys + 1> hue_code;
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
        // Patterns A (columns x-2..x+1) and B (x-1..x+2).
        const std::array<unsigned, 5> w = read_window_weights(key);
        const unsigned a = w[0] | w[1] | w[2] | w[3];
        const unsigned b = w[1] | w[2] | w[3] | w[4];
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
    colours->hue_code[margin_key] = 0;
    for (unsigned flags = 0; flags <= flag_mask; ++flags) { // bit 6 is column x, bit 5 is x+1
        const auto run =
            static_cast<unsigned>(std::countr_one(flags >> run_radius) +
                                  std::countl_one(static_cast<std::uint8_t>(flags << 2)));
        colours->run_offset[flags] = static_cast<std::uint16_t>(run * window_keys);
    }
}

// The keys of one scan line into keys[0 .. width-1], and the six beyond each
// end: the other end's, or the margin key.
void read_line_keys(std::uint8_t* row, std::int32_t width, int join_ends, unsigned phase_offset,
                    std::uint8_t* keys) {
    read_window_keys(row, width, join_ends, phase_offset, keys);
    for (std::int32_t j = 1; j <= run_radius; ++j) { // a ring is at least 10 wide
        keys[-j] = join_ends ? keys[width - j] : margin_key;
        keys[width - 1 + j] = join_ends ? keys[j - 1] : margin_key;
    }
}

// A row's colours from its keys, left to right, into out (blue, green, red).
// Each colour goes out as a word whose fourth byte the next column
// overwrites; past the last column it lands in the pair's odd row, which is
// written after. The flags register is masked only where it is read, so
// that moving it on is one step.
void decode_row(const std::uint8_t* keys, std::size_t width, const window_colours* colours,
                std::uint8_t* out) {
    unsigned code = colours->hue_code[keys[-run_radius]];
    std::uint64_t flags = 0;                            // of the columns passed, the last in bit 0
    const auto move_to = [&](const std::uint8_t* key) { // the flags on to this column's
        const unsigned next = colours->hue_code[*key];
        flags = flags << 1 | std::uint64_t{next == code};
        code = next;
    };
    const std::uint8_t* ahead = keys + run_radius;                            // column x + 6
    for (const std::uint8_t* key = keys + 1 - run_radius; key < ahead; ++key) // columns -5..5
        move_to(key);
#pragma GCC unroll 4 // four columns a turn: fewer steps of the loop itself
    for (std::size_t x = 0; x < width; ++x, out += 3) {
        move_to(ahead + x);
        const std::uint32_t colour =
            colours->colour[std::size_t{colours->run_offset[flags & flag_mask]} + keys[x]];
        std::memcpy(out, &colour, 4);
    }
}

} // namespace

double average_hue(int a, int b) {
    assert(a >= 0 && a <= 15 && b >= 0 && b <= 15);
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
    const std::int32_t width = picture->width;
    const std::int32_t height = picture->height;
    assert(picture->pixels != nullptr && width >= 0 && height >= 0);
    // The run hands over the composed map, a byte a pixel, in scan-line pairs:
    // anything else is our own mistake, never the input's.
    assert(picture->bit_count <= 8 && height % 2 == 0 &&
           picture->byte_size >= std::uint64_t{static_cast<std::uint32_t>(width)} *
                                     static_cast<std::uint32_t>(height));
    if (join_ends && width < edge_margin) {
        std::printf("WARNING: too narrow width ... set join_ends to 0\n");
        join_ends = 0;
    }
    // The window keys of a row and of the six columns beyond each end, then
    // the 24-bit picture.
    auto* keys = static_cast<std::uint8_t*>(
        std::malloc(static_cast<std::size_t>(width) + 2 * std::size_t{run_radius}));
    const std::size_t out_stride = 3 * static_cast<std::size_t>(width);
    const std::uint64_t output_size =
        std::uint64_t{out_stride} * static_cast<std::uint32_t>(height);
    // The picture's byte size is a 32-bit quantity: a larger output cannot be had.
    std::uint8_t* output = keys == nullptr || output_size > UINT32_MAX
                               ? nullptr
                               : allocate_pixels(static_cast<std::size_t>(output_size));
    if (output == nullptr) {
        std::printf("ERROR: memory exhausted!\n");
        std::free(keys);
        return -1;
    }
    window_colours colours; // 15 KiB of tables
    build_window_colours(&colours);
    const auto phase = static_cast<unsigned>(phase_offset) & 3u;
    for (std::int32_t r = 0; r < height; r += 2) {
        std::uint8_t* row =
            picture->pixels + static_cast<std::size_t>(r) * static_cast<std::size_t>(width);
        std::uint8_t* out = output + static_cast<std::size_t>(r) * out_stride;
        read_line_keys(row, width, join_ends, phase, keys + run_radius);
        decode_row(keys + run_radius, static_cast<std::size_t>(width), &colours, out);
        std::memcpy(out + out_stride, out, out_stride);
    }
    std::free(keys);
    release_pixels(picture->pixels);
    picture->pixels = output;
    picture->byte_size = static_cast<std::uint32_t>(output_size);
    picture->bit_count = 24;
    picture->palette = nullptr;
    return 0;
}
