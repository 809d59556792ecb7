// The NTSC decode: the worked colours, the fixed sines and cosines, and the
// look-up pass against a slow per-sample decode read straight from the rules,
// with the C library's sin and cos.
#include <gtest/gtest.h>

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

// Runs retouch_bitmap on a copy of the picture in a buffer of the run's own
// allocator (the pass releases it), keeping what it printed and wrote.
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
    const std::size_t at = (static_cast<std::size_t>(row) * out.info.width + x) * 3;
    return {out.pixels[at + 2], out.pixels[at + 1], out.pixels[at]};
}

// Lit pairs at p, p+1 (mod width) for every column p with p mod 4 = s.
void light_pairs(test_picture* picture, int s) {
    const int width = picture->info.width;
    for (int p = s; p < width; p += 4)
        light(picture, {p, (p + 1) % width});
}

// ---- the slow decode, one sample at a time, as the rules read ----------------
const double slow_hues[16] = {-99.9, 45, 315,   0,  225, -99.9, 270, 315,
                              135,   90, -99.9, 45, 180, 135,   225, -99.9};

double slow_average_hue(int a, int b) {
    const double ha = slow_hues[a], hb = slow_hues[b];
    if (ha < -1.0)
        return hb;
    if (hb < -1.0)
        return ha;
    double mean = (ha + hb) / 2.0;
    if (ha - hb < -180.0 || ha - hb > 180.0)
        mean = mean + 180.0;
    while (mean >= 360.0)
        mean -= 360.0;
    return mean;
}

int slow_channel(double v) {
    const int c = static_cast<int>(v);
    return c < 0 ? 0 : (c > 255 ? 255 : c);
}

void slow_decode_row(std::vector<std::uint8_t>* row, int width, int join_ends, int phase_offset,
                     std::uint8_t* out) {
    const int m = join_ends ? 0 : 10;
    std::vector<double> luma(width + 2 * m, 0.0), hue(width + 2 * m, 0.0), sat(width + 2 * m, 0.0);
    for (int x = 0; x < width; x += 14)
        if ((*row)[x] == 255)
            (*row)[x] = x > 0 ? (*row)[x - 1] : (join_ends ? (*row)[width - 1] : 0);
    for (int x = 0; x < width; ++x) {
        int a = 0, b = 0;
        for (int k = -2; k <= 2; ++k) {
            int p = x + k;
            if (p < 0 || p >= width) {
                if (!join_ends)
                    continue;
                p = p < 0 ? p + width : p - width;
            }
            if ((*row)[p] == 0)
                continue;
            const int weight = 1 << ((x + phase_offset + k + 2) & 3);
            if (k <= 1)
                a |= weight;
            if (k >= -1)
                b |= weight;
        }
        luma[x + m] = (std::popcount(unsigned(a)) / 4.0 + std::popcount(unsigned(b)) / 4.0) / 2.0;
        hue[x + m] = slow_average_hue(a, b);
    }
    auto at = [&](int j) {
        return join_ends ? (j < 0 ? j + width : (j >= width ? j - width : j)) : j + m;
    };
    for (int x = 0; x < width; ++x) {
        if (hue[x + m] < -1.0) {
            hue[x + m] = 0.0;
            sat[x + m] = 0.0;
            continue;
        }
        int run = 0;
        for (int k = -1; k >= -6 && hue[at(x + k)] == hue[x + m]; --k)
            ++run;
        for (int k = 1; k <= 6 && hue[at(x + k)] == hue[x + m]; ++k)
            ++run;
        sat[x + m] = (run + 6) / (6 * 3.0);
    }
    for (int x = 0; x < width; ++x) {
        double y = luma[x + m], s = sat[x + m];
        if (y == 0.0) {
            out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = 0;
            continue;
        }
        if ((*row)[x] == 0)
            y = y * s;
        s = s * 0.7;
        double h = hue[x + m] + 10.0;
        if (h > 360.0)
            h = h - 360.0;
        const double i = std::sin(h * 3.141592653589793 / 180.0) * s * 0.595716;
        const double q = std::cos(h * 3.141592653589793 / 180.0) * s * 0.522591;
        out[3 * x + 2] =
            static_cast<std::uint8_t>(slow_channel((y + i * 0.9563 + q * 0.621) * 255.0));
        out[3 * x + 1] =
            static_cast<std::uint8_t>(slow_channel((y - i * 0.2721 - q * 0.6474) * 255.0));
        out[3 * x] = static_cast<std::uint8_t>(slow_channel((y - i * 1.107 + q * 1.7046) * 255.0));
    }
}

std::vector<std::uint8_t> slow_retouch(const test_picture& picture, int join_ends,
                                       int phase_offset) {
    const int width = picture.info.width, height = picture.info.height;
    if (join_ends && width < 10)
        join_ends = 0;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * height * 3);
    for (int r = 0; r + 1 < height; r += 2) {
        std::vector<std::uint8_t> row(picture.pixels.begin() + r * width,
                                      picture.pixels.begin() + (r + 1) * width);
        slow_decode_row(&row, width, join_ends, phase_offset,
                        &out[static_cast<std::size_t>(r) * width * 3]);
        std::memcpy(&out[static_cast<std::size_t>(r + 1) * width * 3],
                    &out[static_cast<std::size_t>(r) * width * 3],
                    static_cast<std::size_t>(width) * 3);
    }
    return out;
}

} // namespace

TEST(NtscDecode, HuesAndTheirSinesAndCosines) {
    EXPECT_EQ(average_hue(3, 3), 0.0);
    EXPECT_EQ(average_hue(1, 2), 0.0);    // 45 and 315 meet across 0
    EXPECT_EQ(average_hue(12, 2), 247.5); // a difference of exactly -135 stays
    EXPECT_EQ(average_hue(0, 9), 90.0);
    EXPECT_EQ(average_hue(5, 10), -99.9);
    for (const hue_angle& angle : hue_angles) {
        const double radians = angle.degrees * 3.141592653589793 / 180.0;
        EXPECT_EQ(std::sin(radians), angle.sine) << angle.degrees;
        EXPECT_EQ(std::cos(radians), angle.cosine) << angle.degrees;
    }
    for (int a = 0; a < 16; ++a)
        for (int b = 0; b < 16; ++b) {
            EXPECT_EQ(average_hue(a, b), slow_average_hue(a, b));
            double h = (average_hue(a, b) < -1.0 ? 0.0 : average_hue(a, b)) + 10.0;
            if (h > 360.0)
                h -= 360.0;
            bool found = false;
            for (const hue_angle& angle : hue_angles)
                found = found || angle.degrees == h;
            EXPECT_TRUE(found) << a << " " << b;
        }
}

TEST(NtscDecode, WorkedColours) {
    const rgb pairs[4] = {{52, 191, 0}, {217, 109, 0}, {202, 63, 255}, {37, 145, 255}};
    for (int s = 0; s < 4; ++s)
        for (int offset = 0; offset < 4; ++offset) {
            if (s != 0 && offset != 0)
                continue;
            test_picture picture;
            make_picture(&picture, 28, 2);
            light_pairs(&picture, s);
            const retouched out = retouch(picture, 1, offset);
            ASSERT_EQ(out.result, 0);
            for (int x = 0; x < 28; ++x)
                EXPECT_EQ(colour_at(out, x), pairs[s + offset]) << s << offset << x;
        }
    test_picture picture;
    make_picture(&picture, 28, 4);
    light(&picture, {12, 13});
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
    out = retouch(picture, 1, 0);
    for (int x = 0; x < 28; ++x)
        EXPECT_EQ(colour_at(out, x), (rgb{255, 255, 255}));
}

TEST(NtscDecode, NarrowRowsRowEndsAndMarkers) {
    test_picture picture;
    make_picture(&picture, 9, 2);
    EXPECT_EQ(retouch(picture, 1, 0).printed, "WARNING: too narrow width ... set join_ends to 0\n");
    make_picture(&picture, 10, 2);
    EXPECT_EQ(retouch(picture, 1, 0).printed, "");
    make_picture(&picture, 40, 2); // pairs at s = 2 keep their colour up to the row end
    light_pairs(&picture, 2);
    retouched out = retouch(picture, 0, 0);
    for (int x = 20; x < 40; ++x)
        EXPECT_EQ(colour_at(out, x), (rgb{202, 63, 255})) << x;
    make_picture(&picture, 42, 2); // pairs at s = 0 fade over the last samples
    light_pairs(&picture, 0);
    out = retouch(picture, 0, 0);
    EXPECT_EQ(colour_at(out, 20), (rgb{52, 191, 0}));
    EXPECT_NE(colour_at(out, 41), (rgb{52, 191, 0}));
    make_picture(&picture, 28, 2); // a marker at 0 repeats the ring's last dot
    picture.pixels[0] = 255;
    picture.pixels[27] = 1;
    EXPECT_NE(colour_at(retouch(picture, 1, 0), 0), colour_at(retouch(picture, 0, 0), 0));
    EXPECT_EQ(slow_retouch(picture, 1, 0), retouch(picture, 1, 0).pixels);
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

TEST(NtscDecode, LookUpPassMatchesTheSlowDecode) {
    std::mt19937 random(1984);
    for (int width : {9, 10, 11, 13, 16, 17, 18, 28, 7168})
        for (int join_ends = 0; join_ends < 2; ++join_ends)
            for (int offset = 0; offset < 4; ++offset) {
                test_picture picture;
                make_picture(&picture, width, width > 1000 ? 8 : 64);
                scatter_dots(&picture, &random, 15 + 10 * offset);
                if (offset % 2 == 1)
                    scatter_bytes(&picture, &random);
                const retouched out = retouch(picture, join_ends, offset);
                ASSERT_EQ(out.result, 0);
                ASSERT_EQ(out.pixels, slow_retouch(picture, join_ends, offset))
                    << width << " " << join_ends << " " << offset;
            }
}
// Every scan line of the narrow widths, where every column reads across an end.
TEST(NtscDecode, EveryNarrowScanLineMatchesTheSlowDecode) {
    for (int width = 9; width <= 12; ++width)
        for (int offset = 0; offset < 4; ++offset) {
            test_picture picture;
            make_picture(&picture, width, 2 << width);
            for (int r = 0; r < (1 << width); ++r)
                for (int x = 0; x < width; ++x)
                    picture.pixels[(2 * r) * width + x] = (r >> x) & 1;
            for (int j = 0; j < 2; ++j)
                ASSERT_EQ(retouch(picture, j, offset).pixels, slow_retouch(picture, j, offset))
                    << width << " " << offset << " " << j;
        }
}
