// Artifact colour: the worked examples of the plain and the blur rule, and the
// pass against a slow per-sample model of the rules on random scan lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/render.h"
#include "render_fixture.h"

namespace {

// The rules read straight, one sample at a time.
void slow_colour_bitmap(test_picture* picture, int join_ends, int blur) {
    static const int phase_weight[4] = {4, 8, 1, 2};
    const int width = picture->info.width, height = picture->info.height;
    for (int r = 0; r < height; r += 2) {
        std::vector<int> row(&picture->pixels[r * width], &picture->pixels[r * width] + width);
        for (int x = 0; x < width; x += 14)
            if (row[x] == 255)
                row[x] = x > 0 ? row[x - 1] : (join_ends ? row[width - 1] : 0);
        auto lit = [&](int p) {
            if (p < 0 || p >= width)
                return join_ends ? row[p < 0 ? p + width : p - width] != 0 : false;
            return row[p] != 0;
        };
        auto w = [&](int p) { return lit(p) ? phase_weight[p & 3] : 0; };
        for (int x = 0; x < width; ++x) {
            int c = 0;
            if (blur && (c = w(x - 1) | w(x) | w(x + 1)) != 0)
                c |= w(x - 2) | w(x + 2);
            if (!blur && lit(x))
                c = w(x) | w(x - 1) | w(x + 1) |
                    (lit(x - 1) && lit(x + 1) ? w(x - 2) | w(x + 2) : 0);
            for (int pair = r; pair < r + 2 && pair < height; ++pair)
                picture->pixels[pair * width + x] = static_cast<std::uint8_t>(c);
        }
    }
}

} // namespace

TEST(ArtifactColour, WorkedExamples) {
    struct example {
        const char* dots; // a 28-sample scan line: '#' lit, 'M' the half-dot marker
        int join_ends, blur;
        const char* colours; // hex digits, '.' for 0
    };
    const example examples[] = {
        // A lit pair, one hi-res dot, at each phase; blurred over p-1 .. p+2.
        {"........##..................", 1, 0, "........cc.................."},
        {".........##.................", 1, 0, ".........99................."},
        {"..........##................", 1, 1, ".........3333..............."},
        {"...........##...............", 1, 1, "..........6666.............."},
        // A run of four plainly and blurred; a lone sample at 13.
        {"........####................", 1, 0, "........cff3................"},
        {"........####................", 1, 1, ".......cdffb3..............."},
        {".............#..............", 1, 0, ".............8.............."},
        {".............#..............", 1, 1, "............888............."},
        // Repeating pairs.
        {"........##..##..##..........", 1, 0, "........cc..cc..cc.........."},
        {"........##..##..##..........", 1, 1, ".......cccccccccccc........."},
        // Markers: at 0 the ring's last dot or dark, at 14 the dot before.
        {"M#.........................#", 1, 0, "ec.........................6"},
        {"M#.........................#", 0, 0, ".8.........................2"},
        {"............##M.............", 1, 0, "............cd9............."},
        // A run across the ring's end, and not across it.
        {"##........................##", 1, 0, "fc........................3f"},
        {"##........................##", 0, 0, "cc........................33"},
    };
    for (const example& e : examples) {
        test_picture picture = make_picture(28, 2);
        for (int x = 0; x < 28; ++x)
            picture.pixels[x] = e.dots[x] == '#' ? 1 : e.dots[x] == 'M' ? 255 : 0;
        colour_bitmap(&picture.info, e.join_ends, e.blur);
        std::string colours;
        for (int x = 0; x < 28; ++x)
            colours += ".123456789abcdef"[picture.pixels[x] & 15];
        EXPECT_EQ(colours, e.colours) << e.dots;
        EXPECT_TRUE(std::equal(&picture.pixels[0], &picture.pixels[28], &picture.pixels[28]));
    }
}

TEST(ArtifactColour, PassMatchesTheRulesOnRandomScanLines) {
    std::mt19937 random(1983);
    for (int width : {1, 2, 3, 9, 10, 11, 28, 37, 38, 40, 100, 7168})
        for (int mode = 0; mode < 8; ++mode) { // join_ends, blur, hi-res bytes
            if ((mode & 1) && width < 2)
                continue;
            test_picture fast =
                make_picture(width, width > 1000 ? 4 : 13 + (mode & 2)); // odd: a lone last row
            scatter(&fast, &random, 10 + 10 * mode, mode >= 4);
            test_picture slow = fast;
            colour_bitmap(&fast.info, mode & 1, (mode >> 1) & 1);
            slow_colour_bitmap(&slow, mode & 1, (mode >> 1) & 1);
            ASSERT_EQ(fast.pixels, slow.pixels) << width << " " << mode;
        }
}
