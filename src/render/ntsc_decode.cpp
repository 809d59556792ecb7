// NTSC composite decode: each scan line is a signal sampled four times per
// subcarrier cycle. A sample's two 4-sample window patterns give its luma and
// hue, the number of equal-hue neighbours its saturation, and YIQ gives red,
// green and blue.
//
// Everything a sample's colour is made of - its two patterns, whether it is
// lit, its hue and its run of equal-hue neighbours (0..12) - follows from its
// 5-sample window, its subcarrier phase and that run. So the colours of all
// 4 phases x 32 windows x 14 runs (13: no hue) are computed once a call, with
// the very double expressions of the per-sample decode, and each sample is a
// table look-up. Only the run needs the scan line's hues.
#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/render.h"

namespace {

constexpr double no_hue = -99.9;            // hue of patterns 0, 5, 10, 15
constexpr double no_hue_below = -1.0;       // any hue below this is none
constexpr std::int32_t edge_margin = 10;    // line entries either side without join_ends
constexpr int run_radius = 6;               // neighbours compared on each side
constexpr double saturation_divisor_factor = 3.0;
constexpr double saturation_factor = 0.7;
constexpr double hue_rotation = 10.0;       // degrees
constexpr double i_amplitude = 0.595716;
constexpr double q_amplitude = 0.522591;
constexpr double output_scale = 255.0;

constexpr int window_keys = 4 * 32;          // subcarrier phase x 5-sample window
constexpr int run_kinds = 2 * run_radius + 2;  // runs 0..12, and no hue
constexpr std::uint8_t no_hue_run = 2 * run_radius + 1;

// Luma of a pattern: its set bits / 4.
constexpr std::array<double, 16> luma_table = {0.0,  0.25, 0.25, 0.5,  0.25, 0.5,  0.5,  0.75,
                                               0.25, 0.5,  0.5,  0.75, 0.5,  0.75, 0.75, 1.0};
// Hue of a pattern in degrees, or no_hue.
constexpr std::array<double, 16> hue_table = {no_hue, 45,  315, 0,      225, no_hue, 270, 315,
                                              135,    90,  no_hue, 45,  180, 135,    225, no_hue};

// Hues are compared only for equality, and every hue a pattern pair can have
// is a multiple of 22.5 degrees below 360: the scan line keeps each as its
// step number, 0 to 15, so that 0.0 degrees is code 0, the value the pass
// leaves in a no-hue entry it has passed and the value of the margins.
constexpr double hue_step = 22.5;
constexpr std::uint8_t no_hue_code = 16;  // a no-hue entry the pass has not reached

// Colour of every window key (phase * 32 + window) and run, as 0x00RRGGBB
// stored blue first, and the hue code each key puts into the hue line.
struct window_colours {
    std::array<std::uint8_t, window_keys> hue_code;
    std::array<std::uint32_t, window_keys * run_kinds> colour;
};

// Patterns A (columns x-2..x+1) and B (x-1..x+2) of a window whose sample x
// has subcarrier phase `phase`; window bit 4 is x-2, bit 0 is x+2.
void read_patterns(unsigned phase, unsigned window, int* a, int* b) {
    *a = 0;
    *b = 0;
    for (int k = -2; k <= 2; ++k) {
        if (((window >> (2 - k)) & 1u) == 0) continue;
        const int weight = 1 << ((phase + static_cast<unsigned>(k + 2)) & 3u);
        if (k <= 1) *a |= weight;
        if (k >= -1) *b |= weight;
    }
}

const hue_angle* find_hue_angle(double degrees) {
    for (const hue_angle& angle : hue_angles)
        if (angle.degrees == degrees) return &angle;
    assert(!"a hue outside the sixteen reachable ones");
    return &hue_angles[0];
}

std::uint8_t clamp_channel(double value) {
    const int channel = static_cast<int>(value);  // truncation toward zero
    return static_cast<std::uint8_t>(std::clamp(channel, 0, 255));
}

// One sample, straight from luma, lit, saturation and hue (0.0 for no hue).
void decode_sample(double luma, int lit, double saturation, double hue, std::uint8_t* bgr) {
    double y = luma;
    if (y == 0.0) {
        bgr[0] = bgr[1] = bgr[2] = 0;
        return;
    }
    double s = saturation;
    if (!lit) y = y * s;
    s = s * saturation_factor;
    double h = hue + hue_rotation;
    if (h > 360.0) h = h - 360.0;
    const hue_angle* angle = find_hue_angle(h);
    const double i = angle->sine * s * i_amplitude;
    const double q = angle->cosine * s * q_amplitude;
    bgr[2] = clamp_channel((y + i * 0.9563 + q * 0.621) * output_scale);
    bgr[1] = clamp_channel((y - i * 0.2721 - q * 0.6474) * output_scale);
    bgr[0] = clamp_channel((y - i * 1.107 + q * 1.7046) * output_scale);
}

std::uint8_t code_hue(double hue) {
    if (hue < no_hue_below) return no_hue_code;
    const auto code = static_cast<std::uint8_t>(hue / hue_step);
    assert(code * hue_step == hue && code < no_hue_code);
    return code;
}

void build_window_colours(window_colours* colours) {
    for (unsigned key = 0; key < window_keys; ++key) {
        int a = 0;
        int b = 0;
        read_patterns(key >> 5, key & 31u, &a, &b);
        const int lit = (key >> 2) & 1u;
        const double luma = (luma_table[a] + luma_table[b]) / 2.0;
        const double hue = average_hue(a, b);
        colours->hue_code[key] = code_hue(hue);
        for (int run = 0; run < run_kinds; ++run) {
            std::array<std::uint8_t, 3> bgr{};
            if (hue < no_hue_below || run == no_hue_run) {
                decode_sample(luma, lit, 0.0, 0.0, bgr.data());
            } else {
                const double saturation = (run + run_radius) / (run_radius * saturation_divisor_factor);
                decode_sample(luma, lit, saturation, hue, bgr.data());
            }
            colours->colour[key * run_kinds + run] =
                bgr[0] | static_cast<std::uint32_t>(bgr[1]) << 8 | static_cast<std::uint32_t>(bgr[2]) << 16;
        }
    }
}

// Pass 1: the window key and hue code of every column. The subcarrier phase
// of column x is x + phase (mod 4).
void read_row_keys(const std::uint8_t* row, std::int32_t width, int join_ends, unsigned phase,
                   const window_colours* colours, std::uint8_t* key_line, std::uint8_t* hues) {
    unsigned window = read_window(row, width, 0, join_ends);
    std::int32_t x = 0;
    for (; x + 3 < width; ++x) {
        const unsigned key = (((static_cast<unsigned>(x) + phase) & 3u) << 5) | window;
        key_line[x] = static_cast<std::uint8_t>(key);
        hues[x] = colours->hue_code[key];
        window = ((window << 1) | static_cast<unsigned>(row[x + 3] != 0)) & 31u;
    }
    for (; x < width; ++x) {
        const unsigned key = (((static_cast<unsigned>(x) + phase) & 3u) << 5) | window;
        key_line[x] = static_cast<std::uint8_t>(key);
        hues[x] = colours->hue_code[key];
        const int next = read_lit(row, width, std::int64_t{x} + 3, join_ends);
        window = ((window << 1) | static_cast<unsigned>(next)) & 31u;
    }
}

// The saturation pass goes left to right and turns a no-hue entry into 0.0
// as it passes, so a neighbour at index j reads 0.0 there once j is behind
// column x. Beyond the row ends: the other end of the ring (behind x when it
// wraps from the right) or, without join_ends, the margin's 0.0.
std::uint8_t read_neighbour_hue(const std::uint8_t* hues, std::int32_t width, int join_ends,
                                std::int32_t x, std::int32_t j) {
    if (j < 0 || j >= width) {
        if (!join_ends) return hues[j];  // margin entry
        j = j < 0 ? j + width : j - width;
    }
    const std::uint8_t hue = hues[j];
    return j < x && hue == no_hue_code ? 0 : hue;
}

// Equal-hue neighbours of column x, counted outward on each side up to the
// first unequal one, exactly as the pass reads them.
int count_run_at(const std::uint8_t* hues, std::int32_t width, int join_ends, std::int32_t x) {
    const std::uint8_t hue = hues[x];
    int run = 0;
    for (std::int32_t k = -1; k >= -run_radius; --k, ++run)
        if (read_neighbour_hue(hues, width, join_ends, x, x + k) != hue) break;
    for (std::int32_t k = 1; k <= run_radius; ++k, ++run)
        if (read_neighbour_hue(hues, width, join_ends, x, x + k) != hue) break;
    return run;
}

// Pass 2: the run of every column, turned with its key into the index of its
// colour. Inside the row a column's left neighbours are all behind it and its
// right ones all ahead, so chains of equal codes give the runs: to the left
// over the codes as the pass leaves them, to the right over the codes as they
// are. The six columns at each end read across the row end and are counted
// one by one.
void count_row_runs(const std::uint8_t* hues, const std::uint8_t* key_line, std::int32_t width,
                    int join_ends, std::uint16_t* colour_line) {
    int left = 0;
    unsigned before = 0x100;  // no code: column 0 has no left neighbour in the row
    for (std::int32_t x = 0; x < width; ++x) {
        const unsigned passed = hues[x] == no_hue_code ? 0u : hues[x];
        left = passed == before ? std::min(left + 1, run_radius) : 0;
        colour_line[x] = static_cast<std::uint16_t>(left);
        before = passed;
    }
    int right = 0;
    unsigned after = 0x100;
    for (std::int32_t x = width - 1; x >= 0; --x) {
        right = hues[x] == after ? std::min(right + 1, run_radius) : 0;
        after = hues[x];
        const int run = hues[x] == no_hue_code ? no_hue_run : colour_line[x] + right;
        colour_line[x] = static_cast<std::uint16_t>(key_line[x] * run_kinds + run);
    }
    for (std::int32_t x = 0; x < width; ++x) {
        if (x == run_radius && width - run_radius > x) x = width - run_radius;
        if (hues[x] != no_hue_code)
            colour_line[x] = static_cast<std::uint16_t>(key_line[x] * run_kinds +
                                                        count_run_at(hues, width, join_ends, x));
    }
}

// Pass 3: look the colour of every column up. Each colour is stored as four
// bytes of which the fourth is overwritten by the next column; the last
// column of the row is stored byte by byte, since the row may end the buffer.
void write_row_colours(const std::uint16_t* colour_line, std::int32_t width,
                       const window_colours* colours, std::uint8_t* out) {
    if (width <= 0) return;
    for (std::int32_t x = 0; x + 1 < width; ++x)
        std::memcpy(out + 3 * x, &colours->colour[colour_line[x]], 4);
    const std::uint32_t last = colours->colour[colour_line[width - 1]];
    std::uint8_t* end = out + 3 * (width - 1);
    end[0] = static_cast<std::uint8_t>(last);
    end[1] = static_cast<std::uint8_t>(last >> 8);
    end[2] = static_cast<std::uint8_t>(last >> 16);
}

}  // namespace

double average_hue(int a, int b) {
    if (a < 0 || a > 15 || b < 0 || b > 15) return no_hue;
    const double ha = hue_table[a];
    const double hb = hue_table[b];
    if (ha < no_hue_below) return hb;
    if (hb < no_hue_below) return ha;
    double mean = (ha + hb) / 2.0;
    const double difference = ha - hb;
    if (difference < -180.0 || difference > 180.0) mean = mean + 180.0;
    while (mean >= 360.0) mean -= 360.0;
    return mean;
}

namespace {

// The three working lines of a call, line length doubles each, allocated in
// this order. The decode keeps in them what its look-up needs, less than a
// double a column: hue_line the hue code of each column (a byte, after the
// margin), luma_line its window key (a byte) and saturation_line the index of
// its colour (two bytes).
struct working_lines {
    double* luma_line;
    double* hue_line;
    double* saturation_line;
};

void release_lines(working_lines* lines) {
    std::free(lines->luma_line);
    std::free(lines->hue_line);
    std::free(lines->saturation_line);
}

// 0, or -1 after the out-of-memory line with nothing left allocated.
int allocate_lines(working_lines* lines, std::size_t line_length, std::uint64_t output_size,
                   std::uint8_t** output) {
    *lines = working_lines{};
    *output = nullptr;
    lines->luma_line = static_cast<double*>(std::malloc(line_length * sizeof(double)));
    if (lines->luma_line != nullptr)
        lines->hue_line = static_cast<double*>(std::calloc(line_length, sizeof(double)));
    if (lines->hue_line != nullptr)
        lines->saturation_line = static_cast<double*>(std::malloc(line_length * sizeof(double)));
    // The picture's byte size is a 32-bit quantity: a larger output cannot be had.
    if (lines->saturation_line != nullptr && output_size <= UINT32_MAX)
        *output = allocate_pixels(static_cast<std::size_t>(output_size));
    if (*output != nullptr) return 0;
    std::printf("ERROR: memory exhausted!\n");
    release_lines(lines);
    return -1;
}

bool is_byte_picture(const image_info* picture) {
    if (picture->pixels == nullptr || picture->width < 0 || picture->height < 0) return false;
    const std::uint64_t samples =
        static_cast<std::uint64_t>(picture->width) * static_cast<std::uint64_t>(picture->height);
    return picture->bit_count <= 8 && picture->byte_size >= samples;
}

}  // namespace

int retouch_bitmap(image_info* picture, int join_ends, int phase_offset) {
    if (picture == nullptr || !is_byte_picture(picture)) {
        std::printf("ERROR: can't retouch a picture that is not a byte a pixel\n");
        return -1;
    }
    const std::int32_t width = picture->width;
    const std::int32_t height = picture->height;
    if (join_ends && width < edge_margin) {
        std::printf("WARNING: too narrow width ... set join_ends to 0\n");
        join_ends = 0;
    }
    const std::int32_t margin = join_ends ? 0 : edge_margin;
    const std::size_t line_length = static_cast<std::size_t>(width) + 2 * static_cast<std::size_t>(margin);
    const std::size_t out_stride = 3 * static_cast<std::size_t>(width);
    working_lines lines;
    std::uint8_t* output = nullptr;
    if (allocate_lines(&lines, line_length, std::uint64_t{out_stride} * static_cast<std::uint64_t>(height),
                       &output) < 0)
        return -1;

    window_colours colours;
    build_window_colours(&colours);
    // Margin entries stay code 0 (0.0 degrees) for the whole call (calloc).
    std::uint8_t* hues = reinterpret_cast<std::uint8_t*>(lines.hue_line) + margin;
    auto* key_line = reinterpret_cast<std::uint8_t*>(lines.luma_line);
    auto* colour_line = reinterpret_cast<std::uint16_t*>(lines.saturation_line);
    const unsigned phase = static_cast<unsigned>(phase_offset) & 3u;
    for (std::int32_t r = 0; r < height; r += 2) {
        std::uint8_t* row = picture->pixels + static_cast<std::size_t>(r) * static_cast<std::size_t>(width);
        std::uint8_t* out = output + static_cast<std::size_t>(r) * out_stride;
        resolve_markers(row, width, join_ends);
        read_row_keys(row, width, join_ends, phase, &colours, key_line, hues);
        count_row_runs(hues, key_line, width, join_ends, colour_line);
        write_row_colours(colour_line, width, &colours, out);
        if (r + 1 < height) std::memcpy(out + out_stride, out, out_stride);
    }

    release_pixels(picture->pixels);
    picture->pixels = output;
    picture->byte_size = static_cast<std::uint32_t>(out_stride * static_cast<std::size_t>(height));
    picture->bit_count = 24;
    picture->palette = nullptr;
    release_lines(&lines);
    return 0;
}
