// Artifact colour: the worked examples of the plain and the blur rule, and the
// table-driven pass against a slow per-sample model of the rules.
#include <gtest/gtest.h>

#include <vector>

#include "render/render.h"
#include "render_fixture.h"

namespace {

// Row 0 after colouring, checking that row 1 came out equal.
std::vector<int> coloured_row(test_picture* picture, int join_ends, int blur) {
    colour_bitmap(&picture->info, join_ends, blur);
    const int width = picture->info.width;
    std::vector<int> row(picture->pixels.begin(), picture->pixels.begin() + width);
    EXPECT_EQ(
        std::vector<int>(picture->pixels.begin() + width, picture->pixels.begin() + 2 * width),
        row);
    return row;
}

// Expected row: `colours` from column `first` on, 0 elsewhere.
std::vector<int> expect_row(int width, int first, std::vector<int> colours) {
    std::vector<int> row(static_cast<std::size_t>(width), 0);
    for (std::size_t i = 0; i < colours.size(); ++i)
        row[static_cast<std::size_t>(first) + i] = colours[i];
    return row;
}

// The rules read straight, one sample at a time.
int slow_lit(const std::vector<std::uint8_t>& row, int width, int p, int join_ends) {
    if (p < 0 || p >= width) {
        if (!join_ends)
            return 0;
        p = p < 0 ? p + width : p - width;
    }
    return row[static_cast<std::size_t>(p)] != 0;
}

int slow_colour(const std::vector<std::uint8_t>& row, int width, int x, int join_ends, int blur) {
    static const int phase_weight[4] = {4, 8, 1, 2};
    auto lit = [&](int k) { return slow_lit(row, width, x + k, join_ends); };
    auto weight = [&](int k) { return phase_weight[(x + k) & 3]; };
    int c = 0;
    if (blur) {
        for (int k = -1; k <= 1; ++k)
            c |= lit(k) ? weight(k) : 0;
        if (c == 0)
            return 0;
        return c | (lit(-2) ? weight(-2) : 0) | (lit(2) ? weight(2) : 0);
    }
    if (!lit(0))
        return 0;
    c = weight(0) | (lit(-1) ? weight(-1) : 0) | (lit(1) ? weight(1) : 0);
    if (lit(-1) && lit(1))
        c |= (lit(-2) ? weight(-2) : 0) | (lit(2) ? weight(2) : 0);
    return c;
}

void slow_colour_bitmap(test_picture* picture, int join_ends, int blur) {
    const int width = picture->info.width;
    const int height = picture->info.height;
    for (int r = 0; r < height; r += 2) {
        std::vector<std::uint8_t> row(picture->pixels.begin() + r * width,
                                      picture->pixels.begin() + (r + 1) * width);
        for (int x = 0; x < width; x += 14)
            if (row[x] == 255)
                row[x] = x > 0 ? row[x - 1] : (join_ends ? row[width - 1] : 0);
        for (int x = 0; x < width; ++x) {
            const auto c = static_cast<std::uint8_t>(slow_colour(row, width, x, join_ends, blur));
            picture->pixels[static_cast<std::size_t>(r * width + x)] = c;
            if (r + 1 < height) // an unpaired last row is coloured alone
                picture->pixels[static_cast<std::size_t>((r + 1) * width + x)] = c;
        }
    }
}

} // namespace

TEST(ArtifactColour, LitPairTakesThePhaseColourOfItsDot) {
    const int expected[4] = {12, 9, 3, 6};
    for (int s = 0; s < 4; ++s) {
        const int p = 8 + s;
        test_picture picture;
        make_picture(&picture, 28, 2);
        light(&picture, {p, p + 1});
        EXPECT_EQ(coloured_row(&picture, 1, 0), expect_row(28, p, {expected[s], expected[s]})) << s;
        make_picture(&picture, 28, 2);
        light(&picture, {p, p + 1});
        EXPECT_EQ(coloured_row(&picture, 1, 1),
                  expect_row(28, p - 1, std::vector<int>(4, expected[s])));
    }
}

TEST(ArtifactColour, RunsAndLoneSamples) {
    test_picture picture;
    make_picture(&picture, 28, 2);
    light(&picture, {8, 9, 10, 11});
    EXPECT_EQ(coloured_row(&picture, 1, 0), expect_row(28, 8, {12, 15, 15, 3}));
    make_picture(&picture, 28, 2);
    light(&picture, {8, 9, 10, 11});
    EXPECT_EQ(coloured_row(&picture, 1, 1), expect_row(28, 7, {12, 13, 15, 15, 11, 3}));
    make_picture(&picture, 28, 2);
    light(&picture, {4, 5, 6, 7, 8, 9, 10, 11});
    EXPECT_EQ(coloured_row(&picture, 0, 0), expect_row(28, 4, {12, 15, 15, 15, 15, 15, 15, 3}));
    make_picture(&picture, 28, 2);
    light(&picture, {13});
    EXPECT_EQ(coloured_row(&picture, 1, 0), expect_row(28, 13, {8}));
    make_picture(&picture, 28, 2);
    light(&picture, {13});
    EXPECT_EQ(coloured_row(&picture, 1, 1), expect_row(28, 12, {8, 8, 8}));
    make_picture(&picture, 28, 2); // repeating pairs
    light(&picture, {8, 9, 12, 13, 16, 17});
    EXPECT_EQ(coloured_row(&picture, 1, 0),
              expect_row(28, 8, {12, 12, 0, 0, 12, 12, 0, 0, 12, 12}));
    make_picture(&picture, 28, 2);
    light(&picture, {8, 9, 12, 13, 16, 17});
    EXPECT_EQ(coloured_row(&picture, 1, 1), expect_row(28, 7, std::vector<int>(12, 12)));
    make_picture(&picture, 28, 2);
    EXPECT_EQ(coloured_row(&picture, 1, 1), std::vector<int>(28, 0));
}

TEST(ArtifactColour, MarkersAndRowEnds) {
    test_picture picture;
    make_picture(&picture, 28, 2); // marker at 0 repeats the ring's last dot
    light(&picture, {27, 1});
    picture.pixels[0] = 255;
    std::vector<int> ring = expect_row(28, 0, {14, 12});
    ring[27] = 6;
    EXPECT_EQ(coloured_row(&picture, 1, 0), ring);
    make_picture(&picture, 28, 2); // without join_ends it is dark
    light(&picture, {27, 1});
    picture.pixels[0] = 255;
    std::vector<int> open = expect_row(28, 0, {0, 8});
    open[27] = 2;
    EXPECT_EQ(coloured_row(&picture, 0, 0), open);
    make_picture(&picture, 28, 2); // a marker at 14 repeats column 13
    light(&picture, {12, 13});
    picture.pixels[14] = 255;
    EXPECT_EQ(coloured_row(&picture, 1, 0), expect_row(28, 12, {12, 13, 9}));
    make_picture(&picture, 28, 2); // a run across the ring's end
    light(&picture, {26, 27, 0, 1});
    ring = expect_row(28, 0, {15, 12});
    ring[26] = 3;
    ring[27] = 15;
    EXPECT_EQ(coloured_row(&picture, 1, 0), ring);
}

TEST(ArtifactColour, TablePassMatchesTheRulesSampleBySample) {
    std::mt19937 random(1983);
    for (int width : {1, 2, 3, 9, 10, 11, 28, 37, 38, 40, 100, 7168})
        for (int join_ends = 0; join_ends < 2; ++join_ends)
            for (int blur = 0; blur < 2; ++blur) {
                if (join_ends && width < 2)
                    continue;
                test_picture fast;
                make_picture(&fast, width, width > 1000 ? 4 : 13 + blur);
                scatter_dots(&fast, &random, 10 + 20 * blur + 5 * join_ends);
                if (join_ends)
                    scatter_bytes(&fast, &random);
                test_picture slow = fast;
                slow.info.pixels = slow.pixels.data();
                colour_bitmap(&fast.info, join_ends, blur);
                slow_colour_bitmap(&slow, join_ends, blur);
                ASSERT_EQ(fast.pixels, slow.pixels) << width << " " << join_ends << " " << blur;
            }
}
