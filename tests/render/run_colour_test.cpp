// The colour passes in the whole run, by the built qarvex on disks of our own
// builder: no "-B" and one "-B" write 4-bit artifact colour, two the 24-bit
// NTSC picture without palette, and a sheet from a BMP file is never coloured.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "diskbuild.h"
#include "support/run_tool.h"

namespace {

using test_support::read_file;
using test_support::run_qarvex;
using test_support::temp_dir;

constexpr std::size_t width = 7168;
constexpr std::size_t height = 8192;

std::uint32_t get_le(const std::string& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<std::uint8_t>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

// Program disk where tile 1 has line 0 fully lit (dots 0 to 13: samples 0 to
// 27), and a world disk with tile 1 at the top left corner, all else tile 0.
void save_disks(const temp_dir& dir) {
    std::vector<std::uint8_t> shapes(4096, 0);
    shapes[1] = 0x7F;
    built_disk program{};
    start_disk(&program);
    add_file(&program, "S\x01HP0", 0x04, binary_file_contents(0x6000, shapes));
    add_file(&program, "S\x01HP1", 0x04, binary_file_contents(0x6000, shapes));
    built_disk world{};
    start_disk(&world);
    std::vector<std::uint8_t> map(65536, 0);
    map[0] = 1;
    put_raw(&world, 0, map);
    ASSERT_EQ(save_disk(&program, (dir / "KQboot.dsk").string(), 1), 0);
    ASSERT_EQ(save_disk(&world, (dir / "kqvellmara.dsk").string(), 1), 0);
}

// A 16 x 16 sheet at 1 bit a pixel (tiles of one pixel), black and white,
// with tile 1 white: the top row, last in the file, is 0x40.
std::string one_bit_sheet() {
    std::string bmp =
        std::string("BM\x7E\0\0\0\0\0\0\0\x3E\0\0\0\x28\0\0\0\x10\0\0\0\x10\0\0\0\x01\0\x01", 30);
    bmp += std::string(4, '\0') + std::string("\x40", 1) + std::string(23, '\0');
    bmp +=
        std::string("\xFF\xFF\xFF\0", 4) + std::string(15 * 4, '\0') + std::string("\x40\0\0\0", 4);
    return bmp;
}

} // namespace

TEST(RunColour, EachModeWritesItsPicture) {
    temp_dir dir;
    save_disks(dir);
    const std::size_t row4 = width / 2; // 4-bit rows, packed two pixels a byte
    for (const char* blur : {"", "-B"}) {
        std::vector<std::string> args = {"-o", "map.bmp", "--overwrite"};
        if (*blur != '\0')
            args.push_back(blur);
        const auto result = run_qarvex(args, dir.path);
        ASSERT_EQ(result.status, 0) << result.out;
        const std::string bmp = read_file(dir / "map.bmp");
        ASSERT_EQ(bmp.size(), 14 + 40 + 16 * 4 + row4 * height);
        EXPECT_EQ(get_le(bmp, 28, 2), 4u);
        // Top scan line, the file's last two rows: a lit run over columns 0..27.
        const std::size_t top = bmp.size() - row4;
        const std::size_t pair = top - row4;
        EXPECT_EQ(bmp.substr(top, row4), bmp.substr(pair, row4));
        if (*blur == '\0') {
            EXPECT_EQ(static_cast<std::uint8_t>(bmp[top]), 0xCF);      // 12, 15
            EXPECT_EQ(static_cast<std::uint8_t>(bmp[top + 13]), 0xF3); // 15, 3
            EXPECT_EQ(bmp[top + row4 - 1], 0);                         // dark at the ring's end
        } else {
            EXPECT_EQ(static_cast<std::uint8_t>(bmp[top + 14]), 0x30);    // blurred beyond
            EXPECT_NE(static_cast<std::uint8_t>(bmp[top + row4 - 1]), 0); // across the ring
        }
    }
    const auto result = run_qarvex({"-B", "-B", "-B", "-o", "ntsc.bmp"}, dir.path);
    ASSERT_EQ(result.status, 0) << result.out;
    const std::string bmp = read_file(dir / "ntsc.bmp");
    ASSERT_EQ(bmp.size(), 54 + 3 * width * height);
    EXPECT_EQ(get_le(bmp, 10, 4), 54u); // no palette
    EXPECT_EQ(get_le(bmp, 28, 2), 24u);
    EXPECT_EQ(get_le(bmp, 34, 4), 3 * width * height);
    const std::size_t top = bmp.size() - 3 * width;
    EXPECT_EQ(bmp.substr(top + 3 * 10, 3), "\xFF\xFF\xFF"); // inside the lit run: white
    EXPECT_EQ(bmp.substr(top, 3 * width), bmp.substr(top - 3 * width, 3 * width));
}

TEST(RunColour, SheetFromABitmapIsNeverColoured) {
    temp_dir dir;
    save_disks(dir);
    test_support::write_file(dir / "sheet.bmp", one_bit_sheet());
    const auto result = run_qarvex({"-s", "sheet.bmp", "-B", "-B", "-o", "map.bmp"}, dir.path);
    ASSERT_EQ(result.status, 0) << result.out;
    const std::string bmp = read_file(dir / "map.bmp");
    ASSERT_EQ(bmp.size(), 62u + 256 * 32);
    EXPECT_EQ(get_le(bmp, 28, 2), 1u);
    EXPECT_EQ(static_cast<std::uint8_t>(bmp[bmp.size() - 32]), 0x80); // tile 1 at (0, 0), as drawn
    EXPECT_EQ(bmp.substr(bmp.size() - 31, 31), std::string(31, '\0'));
}
