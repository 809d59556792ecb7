// Tile sheets through "-s" of the built tool, from our writer and from real
// ones, and a real reader of what we write. The world disk holds tile i mod
// 256 at byte i, which puts tile 16 * (y mod 16) + x mod 16 at map position
// (x, y): the map shows the sheet's whole tiles 16 times across and down.
#include <cstring>

#include "bmp_fixtures.h"

using namespace bmp_test;
using test_support::run_program;

namespace {

const char* const convert = "/usr/bin/convert";
const std::string run_line = "error: read shape bitmap 'sheet.bmp'\n";

read_outcome read_file_bytes(const std::filesystem::path& path) {
    const std::string text = test_support::read_file(path);
    return read_bytes(bytes(text.begin(), text.end()));
}

// Runs qarvex on dir/sheet.bmp, which prints out; a good run's map has the
// sheet's bit count (by its pixel and palette sizes), palette and tiles.
void expect_sheet_run(const test_support::temp_dir& dir, const std::string& out) {
    bytes world(65536);
    for (std::size_t i = 0; i < world.size(); ++i)
        world[i] = static_cast<std::uint8_t>(i);
    test_support::write_file(dir / "world.dsk", world);
    std::filesystem::remove(dir / "map.bmp");
    const auto run = test_support::run_qarvex(
        {"-s", "sheet.bmp", "-d2", "world.dsk", "-o", "map.bmp"}, dir.path);
    EXPECT_EQ(run.out + run.err, out);
    EXPECT_EQ(run.status, out.empty() ? 0 : 1);
    EXPECT_EQ(std::filesystem::exists(dir / "map.bmp"), out.empty());
    if (!out.empty())
        return;
    const read_outcome sheet = read_file_bytes(dir / "sheet.bmp");
    const read_outcome map = read_file_bytes(dir / "map.bmp");
    const std::size_t row = sheet.pixels.size() / sheet.header.height;
    const std::size_t used = sheet.header.height / 16 * 16;
    EXPECT_EQ(map.header.width, 16 * sheet.header.width);
    ASSERT_EQ(map.pixels.size(), 16 * row * 16 * used);
    EXPECT_EQ(map.palette, sheet.palette);
    std::size_t wrong = 0;
    for (std::size_t y = 0; y < 16 * used; ++y)
        for (std::size_t k = 0; k < 16; ++k)
            wrong += std::memcmp(&map.pixels[(16 * y + k) * row], &sheet.pixels[y % used * row],
                                 row) != 0;
    EXPECT_EQ(wrong, 0u);
}

} // namespace

TEST(shape_sheet, sizes_give_the_map_or_their_refusal) {
    const std::string small = "error: shape bitmap is too small\n" + run_line;
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
        {15, 256, 8, small},
        {256, 15, 8, small},
        {450, 512, 8, "error: illegal shape bitmap size\n" + run_line},
        {4096, 4096, 1, "error: tiles of 256 x 256 pixels make the map larger than 4 GiB\n"},
        {0, 0, 8, "error: open 'sheet.bmp'\n" + run_line}, // no file
    };
    for (const row& x : rows) {
        SCOPED_TRACE(std::to_string(x.w) + " x " + std::to_string(x.h));
        test_support::temp_dir dir;
        bytes pixels(std::size_t{x.w} * x.h * ((x.bits + 7) / 8));
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
        if (x.w > 0)
            test_support::write_file(
                dir / "sheet.bmp",
                write_bytes(x.w, x.h, x.bits, f_palette(x.bits).data(), pixels.data()));
        expect_sheet_run(dir, x.out);
    }
}

TEST(real_writers, imagemagick_reads_every_bit_count_we_write) {
    if (!std::filesystem::exists(convert))
        GTEST_SKIP() << "ImageMagick not installed; skipping";
    std::string expected = "6 5\n"; // then red, green, blue of each pixel
    for (const char* c = f_picture; *c != '\0'; ++c)
        expected += std::string(*c == '#' ? "\xFF\0\0" : "\0\0\xFF", 3);
    for (std::uint16_t bits : {1, 4, 8, 16, 24, 32}) {
        test_support::temp_dir dir;
        test_support::write_file(dir / "f.bmp", f_file(bits));
        EXPECT_EQ(
            run_program(convert, {"f.bmp", "-print", "%w %h\n", "-depth", "8", "rgb:-"}, dir.path)
                .out,
            expected)
            << bits << " bits";
    }
}

// Sheets of 2 x 2 tiles from 32 x 32 pixels of 128 colours, written by
// ImageMagick and by Pillow. ImageMagick's default BMP (a 124-byte header)
// and its run-length files are refused by the header rules.
TEST(real_writers, their_sheets_load_or_are_refused) {
    const std::string python = "/usr/bin/python3";
    test_support::temp_dir dir;
    if (!std::filesystem::exists(convert) ||
        run_program(python, {"-c", "import PIL"}, dir.path).status != 0)
        GTEST_SKIP() << "ImageMagick or Pillow not installed; skipping";
    std::string source = "P6\n32 32\n255\n";
    for (int i = 0; i < 32 * 32; ++i) {
        const int c = i % 32 / 2 * 8 + i / 128;
        source += {static_cast<char>(c * 37), static_cast<char>(c * 91), static_cast<char>(c * 13)};
    }
    test_support::write_file(dir / "source.ppm", source);
    const std::string pil = "from PIL import Image; im = Image.open('source.ppm'); im";
    const std::string refused = "error: read_bitmap() - can't read bitmap header\n"
                                "error: read 'sheet.bmp'\n" +
                                run_line;
    struct row {
        std::string program;
        std::vector<std::string> args;
        char bits;
        std::string out;
    };
    const row rows[] = {
        {convert, {"source.ppm", "-type", "bilevel", "-compress", "none", "BMP3:sheet.bmp"}, 1, ""},
        {convert, {"source.ppm", "-colors", "16", "-compress", "none", "BMP3:sheet.bmp"}, 4, ""},
        {convert, {"source.ppm", "-type", "palette", "-compress", "none", "BMP3:sheet.bmp"}, 8, ""},
        {convert,
         {"source.ppm", "-type", "truecolor", "-compress", "none", "BMP3:sheet.bmp"},
         24,
         ""},
        {python, {"-c", pil + ".convert('1').save('sheet.bmp')"}, 1, ""},
        {python, {"-c", pil + ".convert('P').save('sheet.bmp')"}, 8, ""},
        {python, {"-c", pil + ".save('sheet.bmp')"}, 24, ""},
        {convert,
         {"source.ppm", "sheet.bmp"},
         24,
         "error: check_bitmap_header() - not supported header type - support only Windows V3\n" +
             refused},
        {convert,
         {"source.ppm", "-type", "palette", "BMP3:sheet.bmp"},
         8,
         "error: check_bitmap_header() - not support compression\n" + refused},
    };
    for (const row& x : rows) {
        SCOPED_TRACE(x.args[x.args.size() - 2]);
        ASSERT_EQ(run_program(x.program, x.args, dir.path).status, 0);
        EXPECT_EQ(test_support::read_file(dir / "sheet.bmp").at(28), x.bits);
        expect_sheet_run(dir, x.out);
    }
}
