// Agreement with real BMP writers and readers: ImageMagick reads every bit
// count we write; tile sheets written by ImageMagick and by Pillow load
// through "-s"; ImageMagick's own default and run-length files are refused
// by the header rules.
#include <sstream>

#include "bmp_fixtures.h"

using namespace bmp_test;
using test_support::run_program;

namespace {

const char* const convert = "/usr/bin/convert";

#define REQUIRE_IMAGEMAGICK()                                                                      \
    if (!std::filesystem::exists(convert))                                                         \
    GTEST_SKIP() << "ImageMagick not installed; skipping"

// A picture as ImageMagick sees it: red, green, blue bytes, and its size.
std::string convert_to_rgb(const test_support::temp_dir& dir, const std::string& name, int* w,
                           int* h) {
    run_program(convert, {name, "-depth", "8", "ppm:seen.ppm"}, dir.path);
    const std::string ppm = test_support::read_file(dir / "seen.ppm");
    std::istringstream in(ppm);
    std::string magic;
    int max = 0;
    in >> magic >> *w >> *h >> max;
    in.get();
    return in ? ppm.substr(static_cast<std::size_t>(in.tellg())) : std::string();
}

// The same as our reader sees it.
std::string our_rgb(const read_outcome& r) {
    std::string rgb;
    const std::size_t step = (r.header.bit_count + 7) / 8u;
    for (std::size_t i = 0; i + step <= r.pixels.size(); i += step) {
        const auto c = r.header.bit_count <= 8
                           ? r.palette[r.pixels[i]]
                           : static_cast<std::uint32_t>(r.pixels[i] | r.pixels[i + 1] << 8 |
                                                        r.pixels[i + 2] << 16);
        rgb += {static_cast<char>(c >> 16), static_cast<char>(c >> 8), static_cast<char>(c)};
    }
    return rgb;
}

// A 32 x 32 source picture of 128 colours: sheets of 2 x 2 tiles come from it.
void write_source(const test_support::temp_dir& dir) {
    std::string ppm = "P6\n32 32\n255\n";
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const int c = x / 2 * 8 + y / 4;
            ppm +=
                {static_cast<char>(c * 37), static_cast<char>(c * 91), static_cast<char>(c * 13)};
        }
    test_support::write_file(dir / "source.ppm", ppm);
}

} // namespace

TEST(real_writers, imagemagick_reads_every_bit_count_we_write) {
    REQUIRE_IMAGEMAGICK();
    std::string expected;
    for (const char* row : f_rows)
        for (const char* c = row; *c != '\0'; ++c)
            expected += std::string(*c == '#' ? "\xFF\0\0" : "\0\0\xFF", 3);
    for (std::uint16_t bits : {1, 4, 8, 16, 24, 32}) {
        test_support::temp_dir dir;
        test_support::write_file(dir / "f.bmp", f_file(bits));
        int w = 0, h = 0;
        EXPECT_EQ(convert_to_rgb(dir, "f.bmp", &w, &h), expected) << bits << " bits";
        EXPECT_EQ(w * 100 + h, 605) << bits << " bits";
    }
}

TEST(real_writers, imagemagick_sheets_load_or_are_refused) {
    REQUIRE_IMAGEMAGICK();
    const std::string tail =
        "error: read_bitmap() - can't read bitmap header\nerror: read 'sheet.bmp'\n"
        "error: read shape bitmap 'sheet.bmp'\n";
    struct row {
        std::vector<std::string> options;
        int bits;
        std::string out;
    };
    const row rows[] = {
        {{"-type", "bilevel", "-compress", "none", "BMP3:sheet.bmp"}, 1, ""},
        {{"-colors", "16", "-compress", "none", "BMP3:sheet.bmp"}, 4, ""},
        {{"-type", "palette", "-compress", "none", "BMP3:sheet.bmp"}, 8, ""},
        {{"-type", "truecolor", "-compress", "none", "BMP3:sheet.bmp"}, 24, ""},
        {{"sheet.bmp"},
         24, // ImageMagick's default: a 124-byte header
         "error: check_bitmap_header() - not supported header type - support only Windows V3\n" +
             tail},
        {{"-type", "palette", "BMP3:sheet.bmp"},
         8, // run-length encoded
         "error: check_bitmap_header() - not support compression\n" + tail}};
    for (const row& x : rows) {
        test_support::temp_dir dir;
        write_source(dir);
        std::vector<std::string> args = {"source.ppm"};
        args.insert(args.end(), x.options.begin(), x.options.end());
        run_program(convert, args, dir.path);
        const auto run = run_sheet(dir, "sheet.bmp");
        EXPECT_EQ(run.out, x.out);
        EXPECT_EQ(run.status, x.out.empty() ? 0 : 1);
        const std::string file = test_support::read_file(dir / "sheet.bmp");
        ASSERT_GT(file.size(), 54u);
        EXPECT_EQ(file[28], x.bits);
        if (!x.out.empty())
            continue;
        int w = 0, h = 0;
        EXPECT_EQ(our_rgb(read_file_bytes(dir / "sheet.bmp")),
                  convert_to_rgb(dir, "sheet.bmp", &w, &h));
    }
}

TEST(real_writers, pillow_sheets_load) {
    const char* const python = "/usr/bin/python3";
    test_support::temp_dir dir;
    if (run_program(python, {"-c", "import PIL"}, dir.path).status != 0)
        GTEST_SKIP() << "Pillow not installed; skipping";
    write_source(dir);
    const std::string script = "from PIL import Image\nim = Image.open('source.ppm')\n"
                               "im.save('p24.bmp'); im.convert('P').save('p8.bmp'); "
                               "im.convert('1').save('p1.bmp')\n";
    ASSERT_EQ(run_program(python, {"-c", script}, dir.path).status, 0);
    for (const char* name : {"p1.bmp", "p8.bmp", "p24.bmp"}) {
        const auto run = run_sheet(dir, name);
        EXPECT_EQ(run.out, "") << name;
        EXPECT_EQ(run.status, 0) << name;
    }
}
