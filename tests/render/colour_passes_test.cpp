// Both colour passes: their worked examples, and each byte for byte against a
// slow model that reads the rules one sample at a time, on random scan lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "render/render.h"

namespace {

using bytes = std::vector<std::uint8_t>;
using rgb = std::array<int, 3>;

// A pass on a copy of `pixels` in the run allocator's buffer, which retouch_bitmap releases.
bytes draw(const bytes& pixels, int width, int join_ends, int blur_or_phase, bool ntsc) {
    const auto size = static_cast<std::uint32_t>(pixels.size());
    image_info info{width, static_cast<int>(size) / width, 4, size, allocate_pixels(size), nullptr};
    std::copy(pixels.begin(), pixels.end(), info.pixels);
    testing::internal::CaptureStdout();
    if (!ntsc)
        colour_bitmap(&info, join_ends, blur_or_phase);
    else
        EXPECT_EQ(retouch_bitmap(&info, join_ends, blur_or_phase), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              ntsc && join_ends && width < 10 ? "WARNING: too narrow width ... set join_ends to 0\n"
                                              : "");
    const bytes drawn(info.pixels, info.pixels + info.byte_size);
    release_pixels(info.pixels);
    return drawn;
}

// NTSC from the weights w[x] of the lit samples x-2 .. x+2, with the C library's sin, cos.
void slow_decode(const std::vector<std::array<unsigned, 5>>& w, const std::vector<bool>& dots,
                 int join_ends, std::uint8_t* out) {
    const int width = static_cast<int>(dots.size()), m = join_ends ? 0 : 10;
    auto at = [&](int j) { return join_ends ? (j + width) % width : j + m; }; // entry of column j
    auto a = [&](int x) { return w[x][0] | w[x][1] | w[x][2] | w[x][3]; };    // the two patterns
    auto b = [&](int x) { return w[x][1] | w[x][2] | w[x][3] | w[x][4]; };
    std::vector<double> hue(width + 2 * m), sat(hue);
    for (int x = 0; x < width; ++x)
        hue[at(x)] = average_hue(static_cast<int>(a(x)), static_cast<int>(b(x)));
    for (int x = 0, run = 0; x < width; ++x, run = 0) {
        for (int k = -1; k >= -6 && hue[at(x + k)] == hue[at(x)]; --k)
            ++run;
        for (int k = 1; k <= 6 && hue[at(x + k)] == hue[at(x)]; ++k)
            ++run;
        sat[at(x)] = hue[at(x)] < -1.0 ? 0.0 : (run + 6) / (6 * 3.0);
        hue[at(x)] = std::max(hue[at(x)], 0.0); // no hue reads 0.0 from now on
    }
    auto channel = [](double v) {
        return static_cast<std::uint8_t>(std::clamp(static_cast<int>(v * 255.0), 0, 255));
    };
    for (int x = 0; x < width; ++x, out += 3) {
        const double luma = (std::popcount(a(x)) / 4.0 + std::popcount(b(x)) / 4.0) / 2.0;
        const double y = dots[x] ? luma : luma * sat[at(x)];
        const double s = sat[at(x)] * 0.7, turned = hue[at(x)] + 10.0;
        const double h = (turned > 360.0 ? turned - 360.0 : turned) * 3.141592653589793 / 180.0;
        const double i = std::sin(h) * s * 0.595716, q = std::cos(h) * s * 0.522591;
        const bool black = luma == 0.0;
        out[2] = black ? 0 : channel(y + i * 0.9563 + q * 0.621);
        out[1] = black ? 0 : channel(y - i * 0.2721 - q * 0.6474);
        out[0] = black ? 0 : channel(y - i * 1.107 + q * 1.7046);
    }
}

// Both passes as the rules read: markers resolved, then the weights of the lit samples
// x-2 .. x+2 (round a ring, else dark); both rows of a pair drawn from the even one.
bytes slow_draw(const bytes& pixels, int width, int join_ends, int blur_or_phase, bool ntsc) {
    static const unsigned phase_weight[4] = {4, 8, 1, 2};
    join_ends = join_ends && (width >= 10 || !ntsc);
    const int depth = ntsc ? 3 : 1, phase = ntsc ? blur_or_phase : 0;
    bytes out(depth * pixels.size());
    for (std::size_t r = 0; r < pixels.size(); r += 2 * width) {
        std::vector<bool> dots(width);
        for (int x = 0; x < width; ++x)
            dots[x] = x % 14 == 0 && pixels[r + x] == 255
                          ? (x > 0 ? dots[x - 1] : join_ends && pixels[r + width - 1] != 0)
                          : pixels[r + x] != 0;
        std::vector<std::array<unsigned, 5>> w(width);
        for (int x = 0; x < width; ++x)
            for (int k = -2, p = x - 2; k <= 2; ++k, ++p)
                if (p >= 0 && p < width ? dots[p] : join_ends && dots[(p + width) % width])
                    w[x][k + 2] = phase_weight[(p + phase) & 3];
        if (ntsc)
            slow_decode(w, dots, join_ends, &out[depth * r]);
        for (int x = 0; x < width && !ntsc; ++x) {
            const unsigned near = w[x][1] | w[x][2] | w[x][3], far = w[x][0] | w[x][4];
            const unsigned plain = w[x][2] ? near | (w[x][1] && w[x][3] ? far : 0) : 0;
            out[r + x] = static_cast<std::uint8_t>(blur_or_phase ? (near ? near | far : 0) : plain);
        }
        std::copy_n(&out[depth * r], depth * width, &out[depth * (r + width)]);
    }
    return out;
}

} // namespace

TEST(ColourPasses, WorkedExamples) {
    // NTSC colours by letter: pairs G, O, V, B; p to t round one lit pair; '?' any other.
    const std::pair<rgb, char> letters[] = {
        {{0, 0, 0}, '.'},      {{255, 255, 255}, 'W'}, {{52, 191, 0}, 'G'}, {{217, 109, 0}, 'O'},
        {{202, 63, 255}, 'V'}, {{37, 145, 255}, 'B'},  {{0, 30, 12}, 'p'},  {{0, 54, 8}, 'q'},
        {{98, 152, 74}, 'r'},  {{20, 49, 0}, 's'},     {{14, 21, 0}, 't'}};
    struct example {
        const char* dots; // '#' lit, 'M' the half-dot marker
        int join_ends, phase_offset;
        const char* colours[3]; // plain and blurred in hex ('.' 0), NTSC by letter; null: unchecked
    };
    const example examples[] = {
        // A lit pair, a run of four, a lone sample; repeating pairs at each
        // phase, in a row, round the ring, with a phase offset; dark, lit.
        {"........##......", 1, 0, {"........cc......", ".......cccc.....", "......pqrrst...."}},
        {"........####....", 1, 0, {"........cff3....", ".......cdffb3...", nullptr}},
        {".............#..", 1, 0, {".............8..", "............888.", nullptr}},
        {"....##..##..##..", 1, 0, {"....cc..cc..cc..", "...cccccccccccc.", nullptr}},
        {"##..##..##..##..", 1, 0, {"cc..cc..cc..cc..", "cccccccccccccccc", "GGGGGGGGGGGGGGGG"}},
        {".##..##..##..##.", 1, 0, {".99..99..99..99.", "9999999999999999", "OOOOOOOOOOOOOOOO"}},
        {"..##..##..##..##", 1, 0, {"..33..33..33..33", "3333333333333333", "VVVVVVVVVVVVVVVV"}},
        {"#..##..##..##..#", 1, 0, {"6..66..66..66..6", "6666666666666666", "BBBBBBBBBBBBBBBB"}},
        {"##..##..##..##..", 1, 1, {nullptr, nullptr, "OOOOOOOOOOOOOOOO"}},
        {"##..##..##..##..", 1, 2, {nullptr, nullptr, "VVVVVVVVVVVVVVVV"}},
        {"##..##..##..##..", 1, 3, {nullptr, nullptr, "BBBBBBBBBBBBBBBB"}},
        {"................", 1, 0, {"................", "................", "................"}},
        {"################", 1, 0, {"ffffffffffffffff", "ffffffffffffffff", "WWWWWWWWWWWWWWWW"}},
        // Markers at 0 take the ring's last dot, or dark. Without join_ends the
        // margins read as hue 0.0: pairs at s = 2 keep their colour, at 0 fade.
        {"M#.............#", 1, 0, {"ec.............6", "eec...........6e", nullptr}},
        {"M#.............#", 0, 0, {".8.............2", "888...........22", nullptr}},
        {"..##..##..##..##..##..##", 0, 0, {nullptr, nullptr, "????????VVVVVVVVVVVVVVVV"}},
        {"##..##..##..##..", 0, 0, {nullptr, nullptr, "??????GG??????st"}},
    };
    for (const example& e : examples) {
        const int width = static_cast<int>(std::strlen(e.dots));
        bytes pixels(2 * width);
        for (int x = 0; x < width; ++x)
            pixels[x] = e.dots[x] == '#' ? 1 : e.dots[x] == 'M' ? 255 : 0;
        for (int pass = 0; pass < 3; ++pass) { // plain, blurred, NTSC
            if (e.colours[pass] == nullptr)
                continue;
            const bytes drawn =
                draw(pixels, width, e.join_ends, pass < 2 ? pass : e.phase_offset, pass == 2);
            std::string colours(width, '?');
            for (int x = 0; x < width; ++x)
                if (pass < 2 && drawn[x] < 16)
                    colours[x] = ".123456789abcdef"[drawn[x]];
                else if (pass == 2)
                    for (const auto& [colour, letter] : letters)
                        if (colour == rgb{drawn[3 * x + 2], drawn[3 * x + 1], drawn[3 * x]})
                            colours[x] = letter;
            EXPECT_EQ(colours, e.colours[pass]) << e.dots << " " << pass;
        }
    }
}

TEST(NtscDecode, SinesAndCosinesOfTheHues) {
    for (const hue_angle& angle : hue_angles) { // bit for bit, as this C library has them
        EXPECT_EQ(std::sin(angle.degrees * 3.141592653589793 / 180.0), angle.sine);
        EXPECT_EQ(std::cos(angle.degrees * 3.141592653589793 / 180.0), angle.cosine);
    }
}

TEST(NtscDecode, PatternPairsMeetOnTheColourCircle) {
    // Patterns a and b, their mean hue: without hue on one side or both, the short way
    // round across 0, exactly 180 degrees apart.
    const std::tuple<int, int, double> pairs[] = {
        {0, 15, -99.9}, {5, 3, 0}, {7, 10, 315}, {8, 4, 180}, {9, 11, 67.5},
        {1, 2, 0},      {2, 1, 0}, {6, 3, 315},  {3, 12, 90}, {12, 3, 90}};
    for (const auto& [a, b, hue] : pairs)
        EXPECT_EQ(average_hue(a, b), hue) << a << " " << b;
}

TEST(NtscDecode, OutOfMemoryLeavesThePictureUnchanged) {
    // 6 GiB of colour: the pass gives up before it reads a sample.
    bytes stand_in(16);
    image_info info{65536, 32768, 4, 0x80000000u, stand_in.data(), nullptr};
    const image_info before = info;
    testing::internal::CaptureStdout();
    EXPECT_EQ(retouch_bitmap(&info, 1, 0), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: memory exhausted!\n");
    EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);
}

// Random scan lines at every width to 18, at wider ones where the row ends meet or part,
// and long rows ending in a short step. 14 samples at a time repeat a colour pattern,
// `noise` percent flipped, now and then a marker first; odd rows hold rubbish.
TEST(ColourPasses, MatchTheSlowModels) {
    std::mt19937 random(1983);
    for (int width : {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,  12,   13,  14,
                      15, 16, 17, 18, 27, 28, 29, 37, 38, 40, 100, 2051, 7168})
        for (unsigned noise : {0, 3, 30}) {
            bytes pixels(static_cast<std::size_t>(width) * (width > 1000 ? 4 : 200));
            for (std::size_t i = 0, pattern = 0; i < pixels.size(); ++i) {
                const std::size_t x = i % width;
                const auto pick = static_cast<unsigned>(random());
                if (x % 14 == 0)
                    pattern = pick >> 28;
                const bool odd = i / width % 2 == 1, marker = x % 14 == 0 && pick % 4 == 0;
                const unsigned dot = ((pattern >> x % 4) & 1) ^ (pick % 100 < noise);
                pixels[i] = static_cast<std::uint8_t>(odd ? pick : marker ? 255 : dot);
            }
            for (const bool ntsc : {false, true})
                for (int mode = 0; mode < (ntsc ? 8 : 4); ++mode) // join_ends, blur or phase
                    if (ntsc || width > 1 || mode % 2 == 0) {     // a ring of one sample is no ring
                        ASSERT_EQ(draw(pixels, width, mode % 2, mode / 2, ntsc),
                                  slow_draw(pixels, width, mode % 2, mode / 2, ntsc))
                            << width << " " << ntsc << " " << mode;
                    }
        }
}
