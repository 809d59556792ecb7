// The colour modes in the whole run: no "-B" and one "-B" write 4-bit artifact
// colour, more the 24-bit NTSC picture (a sheet from a BMP file stays as it
// is: the map tests' run on a sheet of 1 x 1 tiles asks for "-B -B").
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diskbuild.h"
#include "support/run_tool.h"

TEST(RunColour, EachModeWritesItsPicture) {
    // Tile 1 at the top left of a blank map, the first dot of its line 0 lit:
    // the top scan line holds a single lit pair, at columns 0 and 1.
    test_support::temp_dir dir;
    std::vector<std::uint8_t> left(4096, 0), right(4096, 0), map(65536, 0);
    left[1] = 0x01;
    map[0] = 1;
    built_disk disk{}; // one image as both disks: the map on tracks 0 to 15, the files after
    start_disk(&disk);
    put_raw(&disk, 0, map);
    add_file(&disk, "S\x01HP0", 0x04, binary_file_contents(0x6000, left));
    add_file(&disk, "S\x01HP1", 0x04, binary_file_contents(0x6000, right));
    for (const char* name : {"KQboot.dsk", "kqvellmara.dsk"})
        ASSERT_EQ(save_disk(&disk, (dir / name).string(), 1), 0);
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.end(), {"-o", "map.bmp", "--overwrite"});
        EXPECT_EQ(test_support::run_qarvex(args, dir.path).status, 0);
        return test_support::read_file(dir / "map.bmp");
    };

    // The top scan line is the file's last row: blurred and decoded, the pair
    // reaches round the ring to the last columns.
    constexpr std::size_t row4 = 7168 / 2, row24 = 3 * 7168; // 4 bits: two pixels a byte
    for (const int blur : {0, 1}) {
        const std::string bmp = run(std::vector<std::string>(blur, "-B"));
        ASSERT_EQ(bmp.size(), 14 + 40 + 16 * 4 + row4 * 8192);
        const std::string ends = bmp.substr(bmp.size() - row4, 2) + bmp.back();
        EXPECT_EQ(ends, blur ? "\xCC\xC0\x0C" : std::string("\xCC\0\0", 3));
    }
    const std::string bmp = run({"-B", "-B", "-B"});
    ASSERT_EQ(bmp.size(), 54 + row24 * 8192); // no palette
    const std::string ends = bmp.substr(bmp.size() - row24, 6) + bmp.substr(bmp.size() - 6);
    EXPECT_EQ(ends, std::string("\x4A\x98\x62\x4A\x98\x62\x0C\x1E\0\x08\x36\0", 12)); // blue first
}
