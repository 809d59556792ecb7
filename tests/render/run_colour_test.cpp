// The colour passes in the whole run, by the built qarvex on disks of our own
// builder: no "-B" and one "-B" write 4-bit artifact colour, two the 24-bit
// NTSC picture without palette, and a sheet from a BMP file is never coloured.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diskbuild.h"
#include "support/run_tool.h"

namespace {

constexpr std::size_t width = 7168, height = 8192, row4 = width / 2; // 4-bit rows: 2 pixels a byte

// Disks whose map has tile 1 at the top left, and tile 1 its line 0 fully lit
// (samples 0 to 27); qarvex runs on them and returns the picture it wrote.
std::string run(const test_support::temp_dir& dir, std::vector<std::string> args) {
    std::vector<std::uint8_t> shapes(4096, 0), map(65536, 0);
    shapes[1] = 0x7F;
    map[0] = 1;
    built_disk program{}, world{};
    start_disk(&program);
    add_file(&program, "S\x01HP0", 0x04, binary_file_contents(0x6000, shapes));
    add_file(&program, "S\x01HP1", 0x04, binary_file_contents(0x6000, shapes));
    start_disk(&world);
    put_raw(&world, 0, map);
    EXPECT_EQ(save_disk(&program, (dir.path / "KQboot.dsk").string(), 1), 0);
    EXPECT_EQ(save_disk(&world, (dir.path / "kqvellmara.dsk").string(), 1), 0);
    args.insert(args.end(), {"-o", "map.bmp", "--overwrite"});
    const auto result = test_support::run_qarvex(args, dir.path);
    EXPECT_EQ(result.status, 0) << result.out;
    return test_support::read_file(dir.path / "map.bmp");
}

unsigned byte_at(const std::string& bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]);
}

} // namespace

TEST(RunColour, EachModeWritesItsPicture) {
    test_support::temp_dir dir;
    for (const bool blur : {false, true}) {
        const std::string bmp =
            run(dir, blur ? std::vector<std::string>{"-B"} : std::vector<std::string>{});
        ASSERT_EQ(bmp.size(), 14 + 40 + 16 * 4 + row4 * height);
        EXPECT_EQ(byte_at(bmp, 28), 4u); // bits a pixel
        // The top scan line is the file's last row pair: 12, 15 ... 15, 3 plainly,
        // blurred one column further and across the ring's end.
        const std::size_t top = bmp.size() - row4;
        EXPECT_EQ(bmp.substr(top, row4), bmp.substr(top - row4, row4));
        EXPECT_EQ(byte_at(bmp, top + 13), blur ? 0xFBu : 0xF3u);
        EXPECT_EQ(byte_at(bmp, top + 14), blur ? 0x30u : 0x00u);
        EXPECT_EQ(byte_at(bmp, top + row4 - 1), blur ? 0x0Cu : 0x00u);
    }
    const std::string bmp = run(dir, {"-B", "-B", "-B"});
    ASSERT_EQ(bmp.size(), 54 + 3 * width * height);
    EXPECT_EQ(byte_at(bmp, 10), 54u); // pixels right after the header: no palette
    EXPECT_EQ(byte_at(bmp, 28), 24u);
    const std::size_t top = bmp.size() - 3 * width;
    EXPECT_EQ(bmp.substr(top + 3 * 10, 3), "\xFF\xFF\xFF"); // inside the lit run: white
    EXPECT_EQ(bmp.substr(top, 3 * width), bmp.substr(top - 3 * width, 3 * width));
}

TEST(RunColour, SheetFromABitmapIsNeverColoured) {
    test_support::temp_dir dir;
    // 16 x 16 pixels at 1 bit, black and white: tiles of one pixel, tile 1 white.
    std::string sheet("BM\x7E\0\0\0\0\0\0\0\x3E\0\0\0\x28\0\0\0\x10\0\0\0\x10\0\0\0\x01\0\x01", 30);
    sheet += std::string(4, '\0') + "\x40" + std::string(23, '\0') + "\xFF\xFF\xFF";
    sheet += std::string(1 + 15 * 4, '\0') + "\x40" + std::string(3, '\0');
    test_support::write_file(dir.path / "sheet.bmp", sheet);
    const std::string bmp = run(dir, {"-s", "sheet.bmp", "-B", "-B"});
    ASSERT_EQ(bmp.size(), 62u + 256 * 32);
    EXPECT_EQ(byte_at(bmp, 28), 1u);
    EXPECT_EQ(bmp.substr(bmp.size() - 32), "\x80" + std::string(31, '\0')); // tile 1 as drawn
}
