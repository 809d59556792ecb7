// The NTSC decode: the worked colours, the fixed sines and cosines, and the
// pass against a slow per-sample decode read straight from the rules, with the
// C library's sin and cos.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "render/render.h"
#include "render_fixture.h"

namespace {

using rgb = std::array<int, 3>;

// What retouch_bitmap printed and drew (blue, green, red) for a copy of a
// picture, in a buffer of the run's allocator since the pass releases it.
struct retouched {
    std::string printed;
    std::vector<std::uint8_t> pixels;
    rgb at(int x) const { return {pixels[3 * x + 2], pixels[3 * x + 1], pixels[3 * x]}; }
};

retouched retouch(const test_picture& picture, int join_ends, int phase_offset) {
    image_info info = picture.info;
    info.pixels = allocate_pixels(picture.pixels.size());
    std::memcpy(info.pixels, picture.pixels.data(), picture.pixels.size());
    testing::internal::CaptureStdout();
    EXPECT_EQ(retouch_bitmap(&info, join_ends, phase_offset), 0);
    retouched out{testing::internal::GetCapturedStdout(),
                  {info.pixels, info.pixels + info.byte_size}};
    release_pixels(info.pixels);
    return out;
}

// A row pair of `width` with lit pairs at p, p+1 (mod width) for p mod 4 = s.
test_picture pairs_picture(int width, int s) {
    test_picture picture = make_picture(width, 2);
    for (int p = s; p < width; p += 4)
        picture.pixels[p] = picture.pixels[(p + 1) % width] = 1;
    return picture;
}

// ---- the slow decode, one sample at a time, as the rules read ----------------
double slow_hue(int a, int b) {
    static const double hues[16] = {-99.9, 45, 315,   0,  225, -99.9, 270, 315,
                                    135,   90, -99.9, 45, 180, 135,   225, -99.9};
    const double ha = hues[a], hb = hues[b];
    if (ha < -1.0 || hb < -1.0)
        return ha < -1.0 ? hb : ha;
    double mean = (ha + hb) / 2.0 + (ha - hb < -180.0 || ha - hb > 180.0 ? 180.0 : 0.0);
    while (mean >= 360.0)
        mean -= 360.0;
    return mean;
}

int slow_channel(double v) {
    return std::clamp(static_cast<int>(v * 255.0), 0, 255);
}

// One scan line (its markers resolved in place) into blue, green, red.
void slow_decode_row(std::uint8_t* row, int width, int join_ends, int phase, std::uint8_t* out) {
    const int m = join_ends ? 0 : 10;
    std::vector<double> luma(width + 2 * m), hue(luma), sat(luma);
    for (int x = 0; x < width; x += 14)
        if (row[x] == 255)
            row[x] = x > 0 ? row[x - 1] : (join_ends ? row[width - 1] : 0);
    auto at = [&](int j) { return join_ends ? (j + width) % width : j + m; }; // entry of column j
    for (int x = 0; x < width; ++x) {
        unsigned a = 0, b = 0;
        for (int k = -2; k <= 2; ++k) {
            const int p = x + k;
            if ((p >= 0 && p < width) || join_ends ? row[(p + width) % width] == 0 : true)
                continue;
            a |= k <= 1 ? 1u << ((x + phase + k + 2) & 3) : 0;
            b |= k >= -1 ? 1u << ((x + phase + k + 2) & 3) : 0;
        }
        luma[at(x)] = (std::popcount(a) / 4.0 + std::popcount(b) / 4.0) / 2.0;
        hue[at(x)] = slow_hue(static_cast<int>(a), static_cast<int>(b));
    }
    for (int x = 0, run = 0; x < width; ++x, run = 0) {
        if (hue[at(x)] < -1.0) {
            hue[at(x)] = sat[at(x)] = 0.0;
            continue;
        }
        for (int k = -1; k >= -6 && hue[at(x + k)] == hue[at(x)]; --k)
            ++run;
        for (int k = 1; k <= 6 && hue[at(x + k)] == hue[at(x)]; ++k)
            ++run;
        sat[at(x)] = (run + 6) / (6 * 3.0);
    }
    for (int x = 0; x < width; ++x, out += 3) {
        const double y = row[x] == 0 ? luma[at(x)] * sat[at(x)] : luma[at(x)];
        const double s = sat[at(x)] * 0.7, turned = hue[at(x)] + 10.0;
        const double h = turned > 360.0 ? turned - 360.0 : turned;
        const double i = std::sin(h * 3.141592653589793 / 180.0) * s * 0.595716;
        const double q = std::cos(h * 3.141592653589793 / 180.0) * s * 0.522591;
        const bool black = luma[at(x)] == 0.0;
        out[2] = black ? 0 : slow_channel(y + i * 0.9563 + q * 0.621);
        out[1] = black ? 0 : slow_channel(y - i * 0.2721 - q * 0.6474);
        out[0] = black ? 0 : slow_channel(y - i * 1.107 + q * 1.7046);
    }
}

std::vector<std::uint8_t> slow_retouch(test_picture picture, int join_ends, int phase) {
    const int width = picture.info.width, stride = 3 * width;
    std::vector<std::uint8_t> out(stride * picture.info.height);
    for (int r = 0; r < picture.info.height; r += 2) {
        slow_decode_row(&picture.pixels[r * width], width, join_ends && width >= 10, phase & 3,
                        &out[r * stride]);
        if (r + 1 < picture.info.height)
            std::memcpy(&out[(r + 1) * stride], &out[r * stride], stride);
    }
    return out;
}

} // namespace

TEST(NtscDecode, HuesAndTheirSinesAndCosines) {
    for (const hue_angle& angle : hue_angles) { // bit for bit, as this C library has them
        EXPECT_EQ(std::sin(angle.degrees * 3.141592653589793 / 180.0), angle.sine);
        EXPECT_EQ(std::cos(angle.degrees * 3.141592653589793 / 180.0), angle.cosine);
    }
    for (int a = 0; a < 16; ++a)
        for (int b = 0; b < 16; ++b)
            EXPECT_EQ(average_hue(a, b), slow_hue(a, b)) << a << " " << b;
}

TEST(NtscDecode, WorkedColours) {
    const rgb pairs[4] = {{52, 191, 0}, {217, 109, 0}, {202, 63, 255}, {37, 145, 255}};
    for (int s = 0; s < 4; ++s) { // pairs from column s, or from 0 with phase offset s
        const retouched plain = retouch(pairs_picture(28, s), 1, 0);
        const retouched shifted = retouch(pairs_picture(28, 0), 1, s);
        for (int x = 0; x < 28; ++x) {
            EXPECT_EQ(plain.at(x), pairs[s]) << s << " " << x;
            EXPECT_EQ(shifted.at(x), pairs[s]) << s << " " << x;
        }
    }
    test_picture picture = make_picture(28, 2, {12, 13}); // one lit pair
    const retouched out = retouch(picture, 1, 0);
    const rgb single[6] = {{0, 30, 12},   {0, 54, 8},  {98, 152, 74},
                           {98, 152, 74}, {20, 49, 0}, {14, 21, 0}};
    for (int x = 0; x < 28; ++x) {
        const rgb expected = x >= 10 && x < 16 ? single[x - 10] : rgb{0, 0, 0};
        EXPECT_EQ(out.at(x), expected) << x;
    }
    std::fill(&picture.pixels[0], &picture.pixels[28], 1);
    EXPECT_EQ(retouch(picture, 1, 0).at(5), (rgb{255, 255, 255}));
}

TEST(NtscDecode, NarrowRowsAndRowEnds) {
    EXPECT_EQ(retouch(make_picture(9, 2), 1, 0).printed,
              "WARNING: too narrow width ... set join_ends to 0\n");
    EXPECT_EQ(retouch(make_picture(10, 2), 1, 0).printed, "");
    // Without join_ends the margins read as hue 0.0: pairs at s = 2 keep their
    // colour to the row end, pairs at s = 0 fade there.
    const retouched kept = retouch(pairs_picture(40, 2), 0, 0);
    const retouched faded = retouch(pairs_picture(42, 0), 0, 0);
    for (int x = 20; x < 40; ++x)
        EXPECT_EQ(kept.at(x), (rgb{202, 63, 255})) << x;
    EXPECT_EQ(faded.at(20), (rgb{52, 191, 0}));
    EXPECT_NE(faded.at(41), (rgb{52, 191, 0}));
}

TEST(NtscDecode, OutOfMemoryLeavesThePictureUnchanged) {
    // 65536 x 32768 samples would need 6 GiB of colour; the pass gives up
    // before it reads a single sample, so a small stand-in buffer will do.
    std::vector<std::uint8_t> stand_in(16, 7);
    image_info info{65536, 32768, 4, 0x80000000u, stand_in.data(), nullptr};
    const image_info before = info;
    testing::internal::CaptureStdout();
    EXPECT_EQ(retouch_bitmap(&info, 1, 0), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: memory exhausted!\n");
    EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);
    EXPECT_EQ(stand_in, std::vector<std::uint8_t>(16, 7));
}

// Random scan lines at widths where the row ends meet or part, and every scan
// line of the narrowest rings, in all four phases with and without join_ends.
TEST(NtscDecode, PassMatchesTheSlowDecode) {
    std::mt19937 random(1984);
    std::vector<test_picture> pictures;
    for (int width : {9, 10, 13, 16, 17, 27, 28, 29, 40, 7168}) {
        pictures.push_back(make_picture(width, width > 1000 ? 8 : 63));
        scatter(&pictures.back(), &random, 10 + 3 * width % 40, width % 3 == 1);
    }
    for (int width = 9; width <= 12; ++width) {
        pictures.push_back(make_picture(width, 2 << width));
        for (int r = 0; r < (1 << width); ++r)
            for (int x = 0; x < width; ++x)
                pictures.back().pixels[2 * r * width + x] = (r >> x) & 1;
    }
    for (const test_picture& picture : pictures)
        for (int mode = 0; mode < 8; ++mode) // join_ends, phase offset
            ASSERT_EQ(retouch(picture, mode & 1, mode >> 1).pixels,
                      slow_retouch(picture, mode & 1, mode >> 1))
                << picture.info.width << " " << mode;
}
