// The NTSC decode: the worked colours, the fixed sines and cosines, and the
// look-up pass against a slow per-sample decode read straight from the rules,
// with the C library's sin and cos.
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

struct retouched {
    int result = 0;
    std::string printed;
    image_info info{};
    std::vector<std::uint8_t> pixels; // blue, green, red
};

// retouch_bitmap on a copy of the picture in a buffer of the run's allocator
// (the pass releases it), keeping what it printed and wrote.
retouched retouch(const test_picture& picture, int join_ends, int phase_offset) {
    retouched out;
    out.info = picture.info;
    out.info.pixels = allocate_pixels(picture.pixels.size());
    std::memcpy(out.info.pixels, picture.pixels.data(), picture.pixels.size());
    testing::internal::CaptureStdout();
    out.result = retouch_bitmap(&out.info, join_ends, phase_offset);
    std::fflush(stdout);
    out.printed = testing::internal::GetCapturedStdout();
    out.pixels.assign(out.info.pixels, out.info.pixels + out.info.byte_size);
    release_pixels(out.info.pixels);
    return out;
}

rgb colour_at(const retouched& out, int x, int row = 0) {
    const std::size_t at = (static_cast<std::size_t>(row * out.info.width + x)) * 3;
    return {out.pixels[at + 2], out.pixels[at + 1], out.pixels[at]};
}

// A row pair of `width` with lit pairs at p, p+1 (mod width) for p mod 4 = s.
test_picture pairs_picture(int width, int s) {
    test_picture picture;
    make_picture(&picture, width, 2);
    for (int p = s; p < width; p += 4)
        picture.pixels[static_cast<std::size_t>(p)] =
            picture.pixels[static_cast<std::size_t>((p + 1) % width)] = 1;
    return picture;
}

// ---- the slow decode, one sample at a time, as the rules read ----------------
double slow_hue(int a, int b) {
    static const double hues[16] = {-99.9, 45, 315,   0,  225, -99.9, 270, 315,
                                    135,   90, -99.9, 45, 180, 135,   225, -99.9};
    const double ha = hues[a], hb = hues[b];
    if (ha < -1.0 || hb < -1.0)
        return ha < -1.0 ? hb : ha;
    double mean = (ha + hb) / 2.0;
    if (ha - hb < -180.0 || ha - hb > 180.0)
        mean = mean + 180.0;
    while (mean >= 360.0)
        mean -= 360.0;
    return mean;
}

std::uint8_t slow_channel(double v) {
    return static_cast<std::uint8_t>(std::clamp(static_cast<int>(v), 0, 255));
}

void slow_decode_row(std::uint8_t* row, int width, int join_ends, int phase, std::uint8_t* out) {
    const int m = join_ends ? 0 : 10;
    std::vector<double> luma(static_cast<std::size_t>(width + 2 * m)), hue(luma), sat(luma);
    for (int x = 0; x < width; x += 14)
        if (row[x] == 255)
            row[x] = x > 0 ? row[x - 1] : (join_ends ? row[width - 1] : 0);
    auto at = [&](int j) {
        return join_ends ? (j + width) % width : j + m;
    }; // line entry of column j
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
    for (int x = 0; x < width; ++x) {
        double y = luma[at(x)], s = sat[at(x)], h = hue[at(x)] + 10.0;
        std::uint8_t* bgr = out + 3 * x;
        if (y == 0.0) {
            bgr[0] = bgr[1] = bgr[2] = 0;
            continue;
        }
        y = row[x] == 0 ? y * s : y;
        s = s * 0.7;
        h = h > 360.0 ? h - 360.0 : h;
        const double i = std::sin(h * 3.141592653589793 / 180.0) * s * 0.595716;
        const double q = std::cos(h * 3.141592653589793 / 180.0) * s * 0.522591;
        bgr[2] = slow_channel((y + i * 0.9563 + q * 0.621) * 255.0);
        bgr[1] = slow_channel((y - i * 0.2721 - q * 0.6474) * 255.0);
        bgr[0] = slow_channel((y - i * 1.107 + q * 1.7046) * 255.0);
    }
}

std::vector<std::uint8_t> slow_retouch(test_picture picture, int join_ends, int phase) {
    const int width = picture.info.width, height = picture.info.height;
    const std::size_t stride = 3 * static_cast<std::size_t>(width);
    std::vector<std::uint8_t> out(stride * static_cast<std::size_t>(height));
    for (int r = 0; r < height; r += 2) {
        std::uint8_t* line = &out[stride * static_cast<std::size_t>(r)];
        slow_decode_row(&picture.pixels[static_cast<std::size_t>(r * width)], width,
                        join_ends && width >= 10, phase & 3, line);
        if (r + 1 < height)
            std::memcpy(line + stride, line, stride);
    }
    return out;
}

} // namespace

TEST(NtscDecode, HuesAndTheirSinesAndCosines) {
    EXPECT_EQ(average_hue(1, 2), 0.0);    // 45 and 315 meet across 0
    EXPECT_EQ(average_hue(12, 2), 247.5); // a difference of exactly -135 stays
    EXPECT_EQ(average_hue(5, 10), -99.9);
    for (const hue_angle& angle : hue_angles) { // bit for bit, as this C library has them
        EXPECT_EQ(std::sin(angle.degrees * 3.141592653589793 / 180.0), angle.sine);
        EXPECT_EQ(std::cos(angle.degrees * 3.141592653589793 / 180.0), angle.cosine);
    }
    for (int a = 0; a < 16; ++a)
        for (int b = 0; b < 16; ++b) {
            EXPECT_EQ(average_hue(a, b), slow_hue(a, b));
            const double h = std::fmod(std::max(average_hue(a, b), 0.0) + 10.0, 360.0);
            EXPECT_TRUE(std::any_of(hue_angles.begin(), hue_angles.end(),
                                    [h](const hue_angle& angle) { return angle.degrees == h; }));
        }
}

TEST(NtscDecode, WorkedColours) {
    const rgb pairs[4] = {{52, 191, 0}, {217, 109, 0}, {202, 63, 255}, {37, 145, 255}};
    for (int s = 0; s < 4; ++s) {
        const retouched plain = retouch(pairs_picture(28, s), 1, 0);
        const retouched shifted = retouch(pairs_picture(28, 0), 1, s); // phase offset s
        for (int x = 0; x < 28; ++x) {
            EXPECT_EQ(colour_at(plain, x), pairs[s]) << s << " " << x;
            EXPECT_EQ(colour_at(shifted, x), pairs[s]) << s << " " << x;
        }
    }
    test_picture picture;
    make_picture(&picture, 28, 4, {12, 13});
    retouched out = retouch(picture, 1, 0);
    const rgb single[6] = {{0, 30, 12},   {0, 54, 8},  {98, 152, 74},
                           {98, 152, 74}, {20, 49, 0}, {14, 21, 0}};
    for (int x = 0; x < 28; ++x) {
        const rgb expected = x >= 10 && x < 16 ? single[x - 10] : rgb{0, 0, 0};
        EXPECT_EQ(colour_at(out, x), expected) << x;
        EXPECT_EQ(colour_at(out, x, 1), expected) << x;
        EXPECT_EQ(colour_at(out, x, 2), (rgb{0, 0, 0}));
    }
    EXPECT_EQ(out.info.bit_count, 24u);
    EXPECT_EQ(out.info.byte_size, 28u * 4u * 3u);
    EXPECT_EQ(out.info.palette, nullptr);
    std::fill(picture.pixels.begin(), picture.pixels.begin() + 28, 1);
    EXPECT_EQ(colour_at(retouch(picture, 1, 0), 5), (rgb{255, 255, 255}));
}

TEST(NtscDecode, NarrowRowsRowEndsAndMarkers) {
    test_picture picture;
    make_picture(&picture, 9, 2);
    EXPECT_EQ(retouch(picture, 1, 0).printed, "WARNING: too narrow width ... set join_ends to 0\n");
    make_picture(&picture, 10, 2);
    EXPECT_EQ(retouch(picture, 1, 0).printed, "");
    // Without join_ends the margins read as hue 0.0: pairs at s = 2 keep their
    // colour to the row end, pairs at s = 0 fade there.
    retouched out = retouch(pairs_picture(40, 2), 0, 0);
    for (int x = 20; x < 40; ++x)
        EXPECT_EQ(colour_at(out, x), (rgb{202, 63, 255})) << x;
    out = retouch(pairs_picture(42, 0), 0, 0);
    EXPECT_EQ(colour_at(out, 20), (rgb{52, 191, 0}));
    EXPECT_NE(colour_at(out, 41), (rgb{52, 191, 0}));
    make_picture(&picture, 28, 2, {27}); // a marker at 0 repeats the ring's last dot
    picture.pixels[0] = 255;
    EXPECT_NE(colour_at(retouch(picture, 1, 0), 0), colour_at(retouch(picture, 0, 0), 0));
}

TEST(NtscDecode, OutOfMemoryLeavesThePictureUnchanged) {
    // 65536 x 32768 samples would need 6 GiB of colour; the pass gives up
    // before it reads a single sample, so a small stand-in buffer will do.
    std::vector<std::uint8_t> stand_in(16, 7);
    image_info info{65536, 32768, 4, 0x80000000u, stand_in.data(), nullptr};
    const image_info before = info;
    testing::internal::CaptureStdout();
    EXPECT_EQ(retouch_bitmap(&info, 1, 0), -1);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: memory exhausted!\n");
    EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);
    EXPECT_EQ(stand_in, std::vector<std::uint8_t>(16, 7));
}

TEST(NtscDecode, LookUpMatchesTheSlowDecode) {
    std::mt19937 random(1984);
    for (int width : {9, 10, 11, 13, 16, 17, 18, 28, 7168})
        for (int mode = 0; mode < 8; ++mode) { // join_ends, phase offset
            test_picture picture;
            make_picture(&picture, width, width > 1000 ? 8 : 63);
            scatter(&picture, &random, 15 + 5 * mode, mode % 3 == 1);
            ASSERT_EQ(retouch(picture, mode & 1, mode >> 1).pixels,
                      slow_retouch(picture, mode & 1, mode >> 1))
                << width << " " << mode;
        }
    for (int width = 9; width <= 12; ++width) { // every scan line of the narrow rings
        test_picture picture;
        make_picture(&picture, width, 2 << width);
        for (int r = 0; r < (1 << width); ++r)
            for (int x = 0; x < width; ++x)
                picture.pixels[static_cast<std::size_t>(2 * r * width + x)] = (r >> x) & 1;
        for (int mode = 0; mode < 8; ++mode)
            ASSERT_EQ(retouch(picture, mode & 1, mode >> 1).pixels,
                      slow_retouch(picture, mode & 1, mode >> 1))
                << width << " " << mode;
    }
}
