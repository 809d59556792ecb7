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
// table look-up.
//
// The run, too, is local: the hues of the six neighbours either side come
// from the lit samples up to eight columns away. Away from the row ends the
// left run follows from columns x-8..x+2 and the right run from x-2..x+8, so
// two tables of 4 phases x 2048 windows give a sample's colour index as one
// sum. The eight columns at each end read across the row end (a ring, or the
// margins) and are decoded one by one through the three working lines of
// doubles - luma_line, hue_line and saturation_line - with patterns,
// saturation and colour taken in turn over the fourteen columns at each end
// whose hues their runs read.
#include <algorithm>
#include <array>
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

constexpr int window_keys = 4 * 32;           // subcarrier phase x 5-sample window
constexpr int run_kinds = 2 * run_radius + 2; // runs 0..12, and no hue
constexpr std::uint8_t no_hue_run = 2 * run_radius + 1;

// Luma of a pattern: its set bits / 4.
constexpr std::array<double, 16> luma_table = {0.0,  0.25, 0.25, 0.5,  0.25, 0.5,  0.5,  0.75,
                                               0.25, 0.5,  0.5,  0.75, 0.5,  0.75, 0.75, 1.0};
// Hue of a pattern in degrees, or no_hue.
constexpr std::array<double, 16> hue_table = {no_hue, 45, 315,    0,  225, no_hue, 270, 315,
                                              135,    90, no_hue, 45, 180, 135,    225, no_hue};

// Hues are compared only for equality, and every hue a pattern pair can have
// is a multiple of 22.5 degrees below 360: the run tables compare each as
// its step number, 0 to 15, so that 0.0 degrees is code 0, the value the
// saturation step leaves in a no-hue entry it has passed.
constexpr double hue_step = 22.5;
constexpr std::uint8_t no_hue_code = 16; // a no-hue entry the pass has not reached

constexpr int run_reach = run_radius + 2;         // columns a run reads either side
constexpr int end_zone = run_reach + run_radius;  // columns whose hue a row end's runs read
constexpr int run_windows = 1 << (run_reach + 3); // lit samples of x-8..x+2 (or x-2..x+8)

// Colour of every window key (phase * 32 + window) and run, as 0x00RRGGBB
// stored blue first, and the hue code of each key. left_index[phase][w] is
// key * run_kinds + left run for the lit samples w of columns x-8..x+2 (x+2 in
// bit 0), or the no-hue colour's index; right_run[phase][w] the right run for
// those of x-2..x+8 (x+8 in bit 0), 0 for a sample without hue.
struct window_colours {
    std::array<std::uint8_t, window_keys> hue_code;
    std::array<std::uint32_t, window_keys * run_kinds> colour;
    std::array<std::uint16_t, 4 * run_windows> left_index;
    std::array<std::uint8_t, 4 * run_windows> right_run;
};

// Patterns A (columns x-2..x+1) and B (x-1..x+2) of a window whose sample x
// has subcarrier phase `phase`; window bit 4 is x-2, bit 0 is x+2.
void read_patterns(unsigned phase, unsigned window, int* a, int* b) {
    *a = 0;
    *b = 0;
    for (int k = -2; k <= 2; ++k) {
        if (((window >> (2 - k)) & 1u) == 0)
            continue;
        const int weight = 1 << ((phase + static_cast<unsigned>(k + 2)) & 3u);
        if (k <= 1)
            *a |= weight;
        if (k >= -1)
            *b |= weight;
    }
}

const hue_angle* find_hue_angle(double degrees) {
    for (const hue_angle& angle : hue_angles)
        if (angle.degrees == degrees)
            return &angle;
    assert(false && "a hue outside the sixteen reachable ones");
    return &hue_angles[0];
}

std::uint8_t clamp_channel(double value) {
    const int channel = static_cast<int>(value); // truncation toward zero
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
    if (!lit)
        y = y * s;
    s = s * saturation_factor;
    double h = hue + hue_rotation;
    if (h > 360.0)
        h = h - 360.0;
    const hue_angle* angle = find_hue_angle(h);
    const double i = angle->sine * s * i_amplitude;
    const double q = angle->cosine * s * q_amplitude;
    bgr[2] = clamp_channel((y + i * 0.9563 + q * 0.621) * output_scale);
    bgr[1] = clamp_channel((y - i * 0.2721 - q * 0.6474) * output_scale);
    bgr[0] = clamp_channel((y - i * 1.107 + q * 1.7046) * output_scale);
}

std::uint8_t code_hue(double hue) {
    if (hue < no_hue_below)
        return no_hue_code;
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
        const double luma =
            (luma_table[static_cast<std::size_t>(a)] + luma_table[static_cast<std::size_t>(b)]) /
            2.0;
        const double hue = average_hue(a, b);
        colours->hue_code[key] = code_hue(hue);
        for (int run = 0; run < run_kinds; ++run) {
            std::array<std::uint8_t, 3> bgr{};
            if (hue < no_hue_below || run == no_hue_run) {
                decode_sample(luma, lit, 0.0, 0.0, bgr.data());
            } else {
                const double saturation =
                    (run + run_radius) / (run_radius * saturation_divisor_factor);
                decode_sample(luma, lit, saturation, hue, bgr.data());
            }
            colours->colour[key * run_kinds + static_cast<unsigned>(run)] =
                bgr[0] | static_cast<std::uint32_t>(bgr[1]) << 8 |
                static_cast<std::uint32_t>(bgr[2]) << 16;
        }
    }
}

// The run tables, for sample x of subcarrier phase `phase` inside a row: to
// the left over the hues as the saturation pass leaves them (a passed no-hue
// column reads 0.0, code 0), to the right over the hues as they are.
void build_run_tables(window_colours* colours) {
    for (unsigned phase = 0; phase < 4; ++phase)
        for (unsigned w = 0; w < run_windows; ++w) {
            const unsigned key = phase * 32 + (w & 31u);
            const std::uint8_t hue = colours->hue_code[key];
            int left = 0;
            for (unsigned k = 1; k <= run_radius && hue != no_hue_code; ++k, ++left) {
                const std::uint8_t code =
                    colours->hue_code[((phase - k) & 3u) * 32 + ((w >> k) & 31u)];
                if ((code == no_hue_code ? 0 : code) != hue)
                    break;
            }
            colours->left_index[phase * run_windows + w] = static_cast<std::uint16_t>(
                key * run_kinds + (hue == no_hue_code ? no_hue_run : static_cast<unsigned>(left)));
            const unsigned centre = phase * 32 + ((w >> run_radius) & 31u);
            int right = 0;
            for (unsigned k = 1; k <= run_radius && colours->hue_code[centre] != no_hue_code;
                 ++k, ++right) {
                const unsigned shift = run_radius - k;
                if (colours->hue_code[((phase + k) & 3u) * 32 + ((w >> shift) & 31u)] !=
                    colours->hue_code[centre])
                    break;
            }
            colours->right_run[phase * run_windows + w] = static_cast<std::uint8_t>(right);
        }
}

// Everything about one scan line that its columns share. The three working
// lines hold column x at entry x + margin; without join_ends the margin is 10
// entries either side that stay 0.0.
struct scan_line {
    const std::uint8_t* row;
    std::int32_t width;
    int join_ends;
    unsigned phase;
    std::int32_t margin;
    double* luma_line;
    double* hue_line;
    double* saturation_line;
    std::uint8_t* out; // blue, green, red
};

// The column after x among the first `reach` and the last `reach` of the row.
std::int32_t next_end_column(std::int32_t x, std::int32_t reach, std::int32_t width) {
    ++x;
    return x == reach && width - reach > x ? width - reach : x;
}

void clear_margins(const scan_line* line) {
    const std::int32_t far = line->width + line->margin;
    for (std::int32_t j = 0; j < line->margin; ++j) {
        line->luma_line[j] = line->hue_line[j] = line->saturation_line[j] = 0.0;
        line->luma_line[far + j] = line->hue_line[far + j] = line->saturation_line[far + j] = 0.0;
    }
}

// Patterns: luma and hue of every column whose hue a row end's runs read.
void read_end_patterns(const scan_line* line) {
    const std::int32_t m = line->margin;
    for (std::int32_t x = 0; x < line->width; x = next_end_column(x, end_zone, line->width)) {
        int a = 0;
        int b = 0;
        read_patterns((static_cast<unsigned>(x) + line->phase) & 3u,
                      read_window(line->row, line->width, x, line->join_ends), &a, &b);
        line->luma_line[x + m] =
            (luma_table[static_cast<std::size_t>(a)] + luma_table[static_cast<std::size_t>(b)]) /
            2.0;
        line->hue_line[x + m] = average_hue(a, b);
    }
}

// The hue line at column j (j may lie up to 6 beyond either end): the other
// end of the ring, or the margin's 0.0.
double read_hue(const scan_line* line, std::int32_t j) {
    if (line->join_ends) {
        if (j < 0)
            j += line->width;
        else if (j >= line->width)
            j -= line->width;
        return line->hue_line[j];
    }
    return line->hue_line[j + line->margin];
}

// Equal-hue neighbours of column x, counted outward on each side up to the
// first unequal one, in the hue line as the saturation step has left it.
int count_run(const scan_line* line, std::int32_t x) {
    const double hue = line->hue_line[x + line->margin];
    int run = 0;
    for (std::int32_t k = -1; k >= -run_radius && read_hue(line, x + k) == hue; --k)
        ++run;
    for (std::int32_t k = 1; k <= run_radius && read_hue(line, x + k) == hue; ++k)
        ++run;
    return run;
}

// Saturation, left to right over the end zones: a column without hue turns
// to hue 0.0 as it is passed, so the columns to its right read it so, and
// across the ring the row start has been passed when the row end is counted.
// Only the columns at the row ends need their saturation.
void saturate_ends(const scan_line* line) {
    const std::int32_t m = line->margin;
    const std::int32_t width = line->width;
    for (std::int32_t x = 0; x < width; x = next_end_column(x, end_zone, width)) {
        if (line->hue_line[x + m] < no_hue_below) {
            line->hue_line[x + m] = 0.0;
            line->saturation_line[x + m] = 0.0;
        } else if (x < run_reach || x >= width - run_reach) {
            line->saturation_line[x + m] =
                (count_run(line, x) + run_radius) / (run_radius * saturation_divisor_factor);
        }
    }
}

// The columns within reach of a row end, one by one through the three
// working lines: patterns, saturation, then colour.
void decode_row_ends(const scan_line* line) {
    const std::int32_t m = line->margin;
    if (m > 0)
        clear_margins(line);
    read_end_patterns(line);
    saturate_ends(line);
    for (std::int32_t x = 0; x < line->width; x = next_end_column(x, run_reach, line->width))
        decode_sample(line->luma_line[x + m], line->row[x] != 0, line->saturation_line[x + m],
                      line->hue_line[x + m], line->out + 3 * x);
}

// The columns between, whose runs stay inside the row: a 17-sample window
// (x-8 in bit 16, x+8 in bit 0) slides along, and each colour is stored as
// four bytes of which the fourth belongs to the next column, written later.
void decode_row_inside(const scan_line* line, const window_colours* colours) {
    const std::int32_t width = line->width;
    if (width <= 2 * run_reach)
        return;
    const std::uint8_t* row = line->row;
    unsigned window = 0;
    for (std::int32_t p = 0; p < 2 * run_reach; ++p)
        window = (window << 1) | (row[p] != 0);
    // The phase of column x repeats every four columns: the four table rows
    // are picked once, and four columns are coloured a step.
    constexpr unsigned window_mask = 2u * run_windows * 32u - 1u;
    const std::uint16_t* left[4];
    const std::uint8_t* right[4];
    for (unsigned j = 0; j < 4; ++j) {
        const unsigned phase = ((run_reach + j + line->phase) & 3u) * run_windows;
        left[j] = colours->left_index.data() + phase;
        right[j] = colours->right_run.data() + phase;
    }
    const auto colour_column = [&](std::int32_t x, unsigned j) {
        window = ((window << 1) | (row[x + run_reach] != 0)) & window_mask;
        const unsigned index =
            left[j][window >> (run_reach - 2)] + right[j][window & (run_windows - 1u)];
        std::memcpy(line->out + 3 * x, &colours->colour[index], 4);
    };
    std::int32_t x = run_reach;
    for (; x + 4 <= width - run_reach; x += 4) {
        colour_column(x, 0);
        colour_column(x + 1, 1);
        colour_column(x + 2, 2);
        colour_column(x + 3, 3);
    }
    for (unsigned j = 0; x < width - run_reach; ++x, ++j)
        colour_column(x, j);
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
    const double difference = ha - hb;
    if (difference < -180.0 || difference > 180.0)
        mean = mean + 180.0;
    while (mean >= 360.0)
        mean -= 360.0;
    return mean;
}

namespace {

void release_lines(scan_line* line) {
    std::free(line->saturation_line);
    std::free(line->hue_line);
    std::free(line->luma_line);
    line->luma_line = line->hue_line = line->saturation_line = nullptr;
}

// The call's three working lines, line_length doubles each, and the 24-bit
// picture, allocated in that order: 0, or -1 after the out-of-memory line
// with everything allocated so far released.
int allocate_buffers(std::size_t line_length, std::uint64_t output_size, scan_line* line,
                     std::uint8_t** output) {
    *output = nullptr;
    line->luma_line = static_cast<double*>(std::calloc(line_length, sizeof(double)));
    line->hue_line = line->luma_line == nullptr
                         ? nullptr
                         : static_cast<double*>(std::calloc(line_length, sizeof(double)));
    line->saturation_line = line->hue_line == nullptr
                                ? nullptr
                                : static_cast<double*>(std::calloc(line_length, sizeof(double)));
    // The picture's byte size is a 32-bit quantity: a larger output cannot be had.
    if (line->saturation_line != nullptr && output_size <= UINT32_MAX)
        *output = allocate_pixels(static_cast<std::size_t>(output_size));
    if (*output != nullptr)
        return 0;
    std::printf("ERROR: memory exhausted!\n");
    release_lines(line);
    return -1;
}

bool is_byte_picture(const image_info* picture) {
    if (picture->pixels == nullptr || picture->width < 0 || picture->height < 0)
        return false;
    const std::uint64_t samples =
        static_cast<std::uint64_t>(picture->width) * static_cast<std::uint64_t>(picture->height);
    return picture->bit_count <= 8 && picture->byte_size >= samples;
}

} // namespace

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
    scan_line line{};
    line.width = width;
    line.join_ends = join_ends;
    line.phase = static_cast<unsigned>(phase_offset) & 3u;
    line.margin = join_ends ? 0 : edge_margin;
    const std::size_t line_length =
        static_cast<std::size_t>(width) + 2 * static_cast<std::size_t>(line.margin);
    const std::size_t out_stride = 3 * static_cast<std::size_t>(width);
    std::uint8_t* output = nullptr;
    if (allocate_buffers(line_length,
                         std::uint64_t{out_stride} * static_cast<std::uint64_t>(height), &line,
                         &output) < 0)
        return -1;

    window_colours colours; // 32 KiB of tables
    build_window_colours(&colours);
    build_run_tables(&colours);
    for (std::int32_t r = 0; r < height; r += 2) {
        std::uint8_t* row =
            picture->pixels + static_cast<std::size_t>(r) * static_cast<std::size_t>(width);
        line.row = row;
        line.out = output + static_cast<std::size_t>(r) * out_stride;
        resolve_markers(row, width, join_ends);
        decode_row_inside(&line, &colours);
        decode_row_ends(&line);
        if (r + 1 < height)
            std::memcpy(line.out + out_stride, line.out, out_stride);
    }

    release_pixels(picture->pixels);
    picture->pixels = output;
    picture->byte_size = static_cast<std::uint32_t>(out_stride * static_cast<std::size_t>(height));
    picture->bit_count = 24;
    picture->palette = nullptr;
    release_lines(&line);
    return 0;
}
