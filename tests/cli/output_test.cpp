// The output file and its overwrite question, end to end: a 16 x 16 tile
// sheet of 1 x 1 tiles and a raw world map make a 256 x 256 picture, small
// enough to run many times.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bmp/bmp.h"
#include "support/run_tool.h"

namespace {

using test_support::read_file;
using test_support::run_qarvex;
using test_support::temp_dir;
using test_support::write_file;

// A 16 x 16 24-bit sheet: tile t is one pixel of blue 7, green 255 - t, red t.
void write_tiny_sheet(const std::filesystem::path& path) {
    std::vector<std::uint8_t> pixels;
    for (int t = 0; t < 256; ++t) {
        pixels.insert(pixels.end(),
                      {7, static_cast<std::uint8_t>(255 - t), static_cast<std::uint8_t>(t)});
    }
    bitmap_header header{};
    ASSERT_EQ(create_bitmap_header(&header, 16, 16, 24), 0);
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(write_bitmap(file, &header, nullptr, pixels.data()), 0);
    std::fclose(file);
}

// A folder with the sheet, a world map of tile 5 everywhere, and the
// arguments that draw it into out.bmp.
struct tiny_run {
    temp_dir dir;
    std::vector<std::string> args{"-s", "sheet.bmp", "-d2", "world.dsk", "-o", "out.bmp"};
    tiny_run() {
        write_tiny_sheet(dir / "sheet.bmp");
        write_file(dir / "world.dsk", std::string(65536, '\x05'));
    }
};

const std::string old_bytes = "old contents";
const std::string question = "'out.bmp' already exists\noverwrite ? (Y or N): ";
const std::string refusal = "error: write bitmap file 'out.bmp'\n";
constexpr std::size_t picture_bytes = 54 + 256 * 256 * 3;

TEST(OutputFile, AFreshPathIsWrittenWithoutAQuestion) {
    tiny_run run;
    const auto result = run_qarvex(run.args, run.dir.path);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    const std::string bmp = read_file(run.dir / "out.bmp");
    ASSERT_EQ(bmp.size(), picture_bytes);
    // Tile 5 everywhere: blue 7, green 250, red 5.
    EXPECT_EQ(bmp.substr(54, 3), std::string("\x07\xFA\x05", 3));
    EXPECT_EQ(bmp.substr(bmp.size() - 3), std::string("\x07\xFA\x05", 3));
}

TEST(OutputFile, AnExistingFileIsReplacedOnlyAfterAYes) {
    struct answer_case {
        const char* typed;
        bool replaced;
    };
    const answer_case cases[] = {
        {"n\n", false},   {"N", false},    {"", false},   {"\n\n  \n", false},
        {"x\nY\n", true}, {"yes\n", true}, {"  y", true}, {"q\nno\ny\n", false},
    };
    for (const auto& c : cases) {
        tiny_run run;
        write_file(run.dir / "out.bmp", old_bytes);
        const std::string typed = c.typed;
        const auto result = run_qarvex(run.args, run.dir.path, &typed);
        EXPECT_EQ(result.err, "");
        if (c.replaced) {
            EXPECT_EQ(result.status, 0) << c.typed;
            EXPECT_EQ(result.out, question) << c.typed;
            EXPECT_EQ(read_file(run.dir / "out.bmp").size(), picture_bytes) << c.typed;
        } else {
            EXPECT_EQ(result.status, 1) << c.typed;
            EXPECT_EQ(result.out, question + refusal) << c.typed;
            EXPECT_EQ(read_file(run.dir / "out.bmp"), old_bytes) << c.typed;
        }
    }
}

TEST(OutputFile, OverwriteAsksNothing) {
    tiny_run run;
    write_file(run.dir / "out.bmp", old_bytes);
    run.args.push_back("--overwrite");
    const auto result = run_qarvex(run.args, run.dir.path);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(read_file(run.dir / "out.bmp").size(), picture_bytes);
}

TEST(OutputFile, PathsThatCannotBeWrittenFailWithTheirLines) {
    {
        // A directory is asked about, then refused at the open.
        tiny_run run;
        std::filesystem::create_directory(run.dir / "out.bmp");
        const std::string typed = "y\n";
        const auto result = run_qarvex(run.args, run.dir.path, &typed);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, question + "error: open 'out.bmp'\n" + refusal);
    }
    {
        tiny_run run;
        run.args[5] = "missing/out.bmp";
        const auto result = run_qarvex(run.args, run.dir.path);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out,
                  "error: open 'missing/out.bmp'\nerror: write bitmap file 'missing/out.bmp'\n");
    }
    if (std::filesystem::exists("/dev/full")) {
        // A full device takes the open but not the bytes.
        tiny_run run;
        run.args[5] = "/dev/full";
        run.args.push_back("--overwrite");
        const auto result = run_qarvex(run.args, run.dir.path);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "error: write_bitmap() - can't write bitmap data\n"
                              "error: write bitmap '/dev/full'\n"
                              "error: write bitmap file '/dev/full'\n");
    }
}

// The three bytes of map position (x, y) in a written 256 x 256 24-bit map.
std::string map_pixel(const std::string& bmp, int x, int y) {
    return bmp.substr(54 + static_cast<std::size_t>((255 - y) * 768 + x * 3), 3);
}

TEST(OutputFile, AnOutputNamedLikeAnOptionIsStillAName) {
    const std::string tile_5("\x07\xFA\x05", 3);
    const std::string gate_tile("\x07\xBC\x43", 3); // tile 67
    tiny_run run;
    run.args[5] = "-g";
    const auto result = run_qarvex(run.args, run.dir.path);
    EXPECT_EQ(result.status, 0);
    // "-g" was the output's name, so no moon gate is drawn at phase 1's place.
    EXPECT_EQ(map_pixel(read_file(run.dir / "-g"), 224, 133), tile_5);

    run.args[5] = "gates.bmp";
    run.args.push_back("-g");
    EXPECT_EQ(run_qarvex(run.args, run.dir.path).status, 0);
    EXPECT_EQ(map_pixel(read_file(run.dir / "gates.bmp"), 224, 133), gate_tile);
}

} // namespace
