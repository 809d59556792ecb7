// The demo tile set, drawn in colour cells and turned into hi-res bytes.
//
// A tile is 14 dots across and 16 scan lines down; each line is two bytes,
// the left one (dots 0..6) in shape file 0 and the right one (dots 7..13) in
// shape file 1. On a colour monitor a lit dot alone shows a colour that
// depends on whether its column is even or odd and on the byte's half-dot
// delay bit; two lit dots side by side show white. So a tile is drawn here as
// 7 colour cells a line, each cell two dots wide:
//
//   CELL   DOTS LIT        DELAY   COLOUR
//   .      none            -       black
//   w      both            -       white
//   g      even            off     green
//   v      odd             off     violet
//   o      even            on      orange
//   b      odd             on      blue
//
// Cell 3 straddles the two bytes: its even dot is dot 6 (left byte), its odd
// dot dot 7 (right byte). A byte has one delay bit, so one byte may not mix
// green or violet with orange or blue.
#include <array>
#include <cstddef>
#include <string>

#include "demo.h"

namespace {

constexpr int lines = 16;
constexpr int cells = 7;
using tile_art = std::array<const char*, lines>;

struct drawn_tile {
    std::uint8_t number;
    tile_art art;
};

// clang-format off
const drawn_tile drawn_tiles[] = {
    {demo_tile::deep_sea, {
        "bbbbbbb", "bbbbbbb", "b..bbbb", "bbbbbbb", "bbbbbbb", "bbbbbbb", "bbbbb..", "bbbbbbb",
        "bbbbbbb", "bbbbbbb", "bbbbbbb", "bb..bbb", "bbbbbbb", "bbbbbbb", "bbbbbbb", "bbbbbbb"}},
    {demo_tile::sea, {
        "bbbbbbb", "bbbbbbb", "bbbbbbb", "bwwbbbb", "bbbbbbb", "bbbbbbb", "bbbbbbb", "bbbbbbb",
        "bbbbbbb", "bbbbbbb", "bbbbbbb", "bbbbwwb", "bbbbbbb", "bbbbbbb", "bbbbbbb", "bbbbbbb"}},
    {demo_tile::sea_swell, {
        "bbbbbbb", "bbbbbbb", "bbbbbbb", "bbbbbbb", "bbbbbbb", "bbbbbbb", "bbbwwbb", "bbbbbbb",
        "bbbbbbb", "bbbbbbb", "bbbbbbb", "bbbbbbb", "bbbbbbb", "bbbbbbb", "wbbbbbw", "bbbbbbb"}},
    {demo_tile::shallows, {
        "bbbbbbb", "g.g.g.g", "bbbbbbb", ".g.g.g.", "bbbbbbb", "g.g.g.g", "bbbbbbb", ".g.g.g.",
        "bbbbbbb", "g.g.g.g", "bbbbbbb", ".g.g.g.", "bbbbbbb", "g.g.g.g", "bbbbbbb", ".g.g.g."}},
    {demo_tile::marsh, {
        "g.g.g.g", ".b.b.b.", "..g.g..", "b.b.b.b", "g.g.g.g", ".b.b.b.", "g...g.g", "b.b.b.b",
        "g.g.g.g", ".b.b.b.", "..g.g..", "b.b.b.b", "g.g.g.g", ".b.b.b.", "g.g...g", "b.b.b.b"}},
    {demo_tile::grass, {
        "ggggggg", "ggggggg", "ggggggg", "ggggggg", "gg.gggg", "ggggggg", "ggggggg", "ggggggg",
        "ggggggg", "ggggggg", "ggggggg", "ggggggg", "ggggg.g", "ggggggg", "ggggggg", "ggggggg"}},
    {demo_tile::scrub, {
        "g.g.g.g", ".g.g.g.", "g.g...g", "o...o..", "g.g.g.g", ".g.g.g.", "g...g.g", "..o...o",
        "g.g.g.g", ".g.g.g.", "g.g.g..", "o...o..", "g.g.g.g", ".g...g.", "g.g.g.g", "..o...o"}},
    {demo_tile::forest, {
        ".g...g.", "ggg.ggg", "ggg.ggg", "ggggggg", ".g...g.", ".o...o.", "......g", "g..g...",
        "..ggg..", ".ggggg.", "ggggggg", ".ggggg.", "..ggg..", "...o...", "...o...", "g.....g"}},
    {demo_tile::hills, {
        "ooooooo", "oo...oo", "o.ooo.o", ".ooooo.", "ooooooo", "ooooooo", "ooooooo", "ooooooo",
        "ooooooo", "...oooo", "ooo.ooo", "oooo.oo", "ooooooo", "ooooooo", "ooooooo", "ooooooo"}},
    {demo_tile::mountains, {
        ".......", "...w...", "...w...", "..ww...", "..wwv..", "..wvv..", ".wwvvv.", ".wwvvv.",
        ".wvvvv.", "wwvvvvv", "wvvvvvv", "wvvvvvv", "vvvvvvv", "vvvvvvv", ".......", "......."}},
    {demo_tile::peaks, {
        "...w...", "...w...", "..www..", "..www..", ".wwwww.", ".wwwww.", ".wwvvw.", "wwwvvvw",
        "wwvvvvw", "wvvvvvv", "wvvvvvv", "vvvvvvv", "vvvvvvv", "vvvvvvv", ".......", "......."}},
    {demo_tile::town, {
        ".......", "..o....", ".ooo...", "ooooo..", ".www...", ".w.w.o.", ".wwwooo", "....www",
        "..o.w.w", ".ooowww", "ooooo..", ".www...", ".w.w...", ".www...", ".......", "......."}},
    {demo_tile::castle, {
        ".......", ".b...b.", ".w...w.", "w.w.w.w", "wwwwwww", "wwwwwww", "w.www.w", "wwwwwww",
        "wwwwwww", "ww...ww", "ww...ww", "ww...ww", "ww...ww", ".......", ".......", "......."}},
    {demo_tile::village, {
        ".......", ".......", ".......", ".......", "...o...", "..ooo..", ".ooooo.", "..www..",
        "..w.w..", "..www..", ".......", ".......", ".......", ".......", ".......", "......."}},
    {demo_tile::bridge_across, {
        "bbbbbbb", "bbbbbbb", "bbbbbbb", "bbbbbbb", "wwwwwww", "ooooooo", "ooooooo", "ooooooo",
        "ooooooo", "ooooooo", "ooooooo", "wwwwwww", "bbbbbbb", "bbbbbbb", "bbbbbbb", "bbbbbbb"}},
    {demo_tile::bridge_along, {
        "bwooowb", "bwooowb", "bwooowb", "bwooowb", "bwooowb", "bwooowb", "bwooowb", "bwooowb",
        "bwooowb", "bwooowb", "bwooowb", "bwooowb", "bwooowb", "bwooowb", "bwooowb", "bwooowb"}},
    {demo_tile::beach, {
        "o.o.o.o", ".o.o.o.", "o.o.o.o", ".o.o.o.", "o.o.o.o", ".o.o.o.", "o.o.o.o", ".o.o.o.",
        "o.o.o.o", ".o.o.o.", "o.o.o.o", ".o.o.o.", "o.o.o.o", ".o.o.o.", "o.o.o.o", ".o.o.o."}},
    {demo_tile::moon_gate, {
        ".......", "..www..", ".w...w.", "w.bbb.w", "w.b.b.w", "wb...bw", "wb...bw", "wb...bw",
        "wb...bw", "wb...bw", "wb...bw", "wb...bw", "wb...bw", "w.....w", "ww...ww", "......."}},
    {demo_tile::balloon, {
        "..ooo..", ".ooooo.", "oowoooo", "owooooo", "ooooooo", "ooooooo", ".ooooo.", "..ooo..",
        ".w...w.", "..w.w..", "..ooo..", "..ooo..", ".......", ".......", ".......", "......."}},
    {demo_tile::flag, {
        "w......", "wggg...", "wgggggg", "wgggggg", "w..gggg", "w......", "w......", "w......",
        "w......", "w......", "w......", "w......", "w......", "w......", "w......", "ww....."}},
};
// clang-format on

struct line_bytes {
    std::uint8_t left = 0;
    std::uint8_t right = 0;
    int left_delay = -1; // -1 not yet known, 0 off, 1 on
    int right_delay = -1;
};

// Lights dot d (0..13) of the line and records the delay its colour needs;
// false when the byte already needs the other delay.
bool light_dot(line_bytes* line, int d, int delay) {
    std::uint8_t* byte = d < 7 ? &line->left : &line->right;
    int* byte_delay = d < 7 ? &line->left_delay : &line->right_delay;
    *byte = static_cast<std::uint8_t>(*byte | (1u << (d % 7)));
    if (delay < 0)
        return true;
    if (*byte_delay >= 0 && *byte_delay != delay)
        return false;
    *byte_delay = delay;
    return true;
}

bool encode_line(const char* art, line_bytes* line) {
    if (std::string(art).size() != static_cast<std::size_t>(cells))
        return false;
    for (int k = 0; k < cells; ++k) {
        const int even = 2 * k;
        const int odd = 2 * k + 1;
        bool ok = true;
        switch (art[k]) {
        case '.':
            break;
        case 'w':
            ok = light_dot(line, even, -1) && light_dot(line, odd, -1);
            break;
        case 'g':
            ok = light_dot(line, even, 0);
            break;
        case 'v':
            ok = light_dot(line, odd, 0);
            break;
        case 'o':
            ok = light_dot(line, even, 1);
            break;
        case 'b':
            ok = light_dot(line, odd, 1);
            break;
        default:
            ok = false;
        }
        if (!ok)
            return false;
    }
    if (line->left_delay == 1)
        line->left |= 0x80;
    if (line->right_delay == 1)
        line->right |= 0x80;
    return true;
}

} // namespace

bool build_shape_files(std::vector<std::uint8_t>* file0, std::vector<std::uint8_t>* file1,
                       std::string* problem) {
    file0->assign(4096, 0);
    file1->assign(4096, 0);
    for (const drawn_tile& tile : drawn_tiles) {
        for (int p = 0; p < lines; ++p) {
            line_bytes line;
            if (!encode_line(tile.art[static_cast<std::size_t>(p)], &line)) {
                *problem = "tile " + std::to_string(tile.number) + " line " + std::to_string(p) +
                           " mixes colour pairs within a byte";
                return false;
            }
            (*file0)[static_cast<std::size_t>(p * 256 + tile.number)] = line.left;
            (*file1)[static_cast<std::size_t>(p * 256 + tile.number)] = line.right;
        }
    }
    return true;
}
