// Tile sheets from BMP files through "-s" of the built tool: the map takes
// the sheet's tile size, bit count and palette; sheets of the wrong size are
// refused with their lines and the run's.
#include "bmp_fixtures.h"

using namespace bmp_test;

TEST(shape_sheet, sizes_give_the_map_or_their_refusal) {
    const std::string run_line = "error: read shape bitmap 'sheet.bmp'\n";
    struct row {
        std::uint32_t w, h;
        std::uint16_t bits;
        std::string out;
    };
    const row rows[] = {
        {448, 512, 4, ""}, // the program disk's tile size: a 7168 x 8192 map
        {256, 256, 24, ""},
        {448, 520, 4, ""}, // the bottom 8 rows are never used
        {32, 48, 1, ""},
        {15, 256, 8, "error: shape bitmap is too small\n" + run_line},
        {256, 15, 8, "error: shape bitmap is too small\n" + run_line},
        {450, 512, 8, "error: illegal shape bitmap size\n" + run_line},
        {4096, 4096, 1, "error: tiles of 256 x 256 pixels make the map larger than 4 GiB\n"},
    };
    for (const row& x : rows) {
        test_support::temp_dir dir;
        bytes pixels(std::size_t{x.w} * x.h * ((x.bits + 7) / 8)), file;
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
        ASSERT_EQ(write_bytes(x.w, x.h, x.bits, f_palette(x.bits).data(), pixels.data(), &file), 0);
        test_support::write_file(dir / "sheet.bmp", file);
        const auto run = run_sheet(dir, "sheet.bmp");
        EXPECT_EQ(run.out + run.err, x.out) << x.w << " x " << x.h;
        EXPECT_EQ(run.status, x.out.empty() ? 0 : 1);
        EXPECT_EQ(std::filesystem::exists(dir / "map.bmp"), x.out.empty());
    }
    test_support::temp_dir dir;
    const auto run = run_sheet(dir, "none.bmp");
    EXPECT_EQ(run.out, "error: open 'none.bmp'\nerror: read shape bitmap 'none.bmp'\n");
    EXPECT_EQ(run.status, 1);
}
