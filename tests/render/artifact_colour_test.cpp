// Artifact colour: the worked examples of the plain and the blur rule, and the
// pass against a slow per-sample model of the rules on random scan lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/render.h"
#include "render_fixture.h"

namespace {

const int phase_weight[4] = {4, 8, 1, 2};

// Colours a 28-wide row pair with the given lit columns (255: a marker at 0
// or 14) and returns row 0 as a string of hex digits, checking row 1 equal.
std::string colour_row(std::initializer_list<int> lit, int join_ends, int blur, int marker = -1) {
    test_picture picture;
    make_picture(&picture, 28, 2, lit);
    if (marker >= 0)
        picture.pixels[static_cast<std::size_t>(marker)] = 255;
    colour_bitmap(&picture.info, join_ends, blur);
    std::string row;
    for (int x = 0; x < 28; ++x)
        row += "0123456789abcdef"[picture.pixels[static_cast<std::size_t>(x)] & 15];
    EXPECT_TRUE(std::equal(picture.pixels.begin(), picture.pixels.begin() + 28,
                           picture.pixels.begin() + 28));
    return row;
}

// A 28-sample row of hex digits: dark but for the text at `first` (and
// `text2` at `first2`).
std::string row_of(int first, const std::string& text, int first2 = 0,
                   const std::string& text2 = "") {
    std::string row(28, '0');
    row.replace(static_cast<std::size_t>(first), text.size(), text);
    row.replace(static_cast<std::size_t>(first2), text2.size(), text2);
    return row;
}

// The rules read straight, one sample at a time.
void slow_colour_bitmap(test_picture* picture, int join_ends, int blur) {
    const int width = picture->info.width, height = picture->info.height;
    for (int r = 0; r < height; r += 2) {
        std::vector<std::uint8_t> row(&picture->pixels[r * width],
                                      &picture->pixels[r * width] + width);
        for (int x = 0; x < width; x += 14)
            if (row[x] == 255)
                row[x] = x > 0 ? row[x - 1] : (join_ends ? row[width - 1] : 0);
        for (int x = 0; x < width; ++x) {
            auto lit = [&](int p) {
                if (p < 0 || p >= width)
                    return join_ends ? row[p < 0 ? p + width : p - width] != 0 : false;
                return row[p] != 0;
            };
            auto w = [&](int p) { return lit(p) ? phase_weight[p & 3] : 0; };
            int c = 0;
            if (blur && (c = w(x - 1) | w(x) | w(x + 1)) != 0)
                c |= w(x - 2) | w(x + 2);
            if (!blur && lit(x))
                c = w(x) | w(x - 1) | w(x + 1) |
                    (lit(x - 1) && lit(x + 1) ? w(x - 2) | w(x + 2) : 0);
            for (int pair = r; pair < r + 2 && pair < height; ++pair)
                picture->pixels[static_cast<std::size_t>(pair * width + x)] =
                    static_cast<std::uint8_t>(c);
        }
    }
}

} // namespace

TEST(ArtifactColour, WorkedExamples) {
    // A lit pair, one hi-res dot, at each phase; blurred over p-1 .. p+2.
    EXPECT_EQ(colour_row({8, 9}, 1, 0), row_of(8, "cc"));
    EXPECT_EQ(colour_row({9, 10}, 1, 0), row_of(9, "99"));
    EXPECT_EQ(colour_row({10, 11}, 1, 1), row_of(9, "3333"));
    EXPECT_EQ(colour_row({11, 12}, 1, 1), row_of(10, "6666"));
    // A run of four, plainly and blurred; a longer run.
    EXPECT_EQ(colour_row({8, 9, 10, 11}, 1, 0), row_of(8, "cff3"));
    EXPECT_EQ(colour_row({8, 9, 10, 11}, 1, 1), row_of(7, "cdffb3"));
    EXPECT_EQ(colour_row({4, 5, 6, 7, 8, 9, 10, 11}, 0, 0), row_of(4, "cffffff3"));
    // A lone sample at 13; repeating pairs; a dark row.
    EXPECT_EQ(colour_row({13}, 1, 0), row_of(13, "8"));
    EXPECT_EQ(colour_row({13}, 1, 1), row_of(12, "888"));
    EXPECT_EQ(colour_row({8, 9, 12, 13, 16, 17}, 1, 0), row_of(8, "cc00cc00cc"));
    EXPECT_EQ(colour_row({8, 9, 12, 13, 16, 17}, 1, 1), row_of(7, "cccccccccccc"));
    EXPECT_EQ(colour_row({}, 1, 1), row_of(0, ""));
    // Markers: at 0 the ring's last dot or dark, at 14 the dot before.
    EXPECT_EQ(colour_row({27, 1}, 1, 0, 0), row_of(0, "ec", 27, "6"));
    EXPECT_EQ(colour_row({27, 1}, 0, 0, 0), row_of(0, "08", 27, "2"));
    EXPECT_EQ(colour_row({12, 13}, 1, 0, 14), row_of(12, "cd9"));
    // A run across the ring's end.
    EXPECT_EQ(colour_row({26, 27, 0, 1}, 1, 0), row_of(0, "fc", 26, "3f"));
}

TEST(ArtifactColour, PassMatchesTheRulesOnRandomScanLines) {
    std::mt19937 random(1983);
    for (int width : {1, 2, 3, 9, 10, 11, 28, 37, 38, 40, 100, 7168})
        for (int mode = 0; mode < 8; ++mode) {
            const int join_ends = mode & 1, blur = (mode >> 1) & 1;
            if (join_ends && width < 2)
                continue;
            test_picture fast;
            make_picture(&fast, width, width > 1000 ? 4 : 13 + blur); // odd: a lone last row
            scatter(&fast, &random, 10 + 10 * mode, mode >= 4);
            test_picture slow = fast;
            colour_bitmap(&fast.info, join_ends, blur);
            slow_colour_bitmap(&slow, join_ends, blur);
            ASSERT_EQ(fast.pixels, slow.pixels) << width << " " << mode;
        }
}
