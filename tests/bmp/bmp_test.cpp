// BMP files in memory, tile sheets through the built tool, real BMP tools.
#include <gtest/gtest.h>

#include <cstdlib>
#include <numeric>
#include <tuple>

#include "bmp/bmp.h"
#include "support/run_tool.h"

namespace {

using bytes = std::vector<std::uint8_t>;
using test_support::run_program;
const std::string rule = "error: check_bitmap_header() - ";
const std::string header_refused = "error: read_bitmap() - can't read bitmap header\n";
const std::string sheet_refused = "error: read shape bitmap 'sheet.bmp'\n";
const std::string data0 = "warning: check_bitmap_header() - data length is 0 ... corrected: 0x";
constexpr std::uint16_t bit_counts[] = {1, 4, 8, 16, 24, 32};

// The letter F (no symmetry), red on blue: index 1 (at 1 bit nonzero), X1R5G5B5 or BGR.
bytes f_pixels(int bits) {
    const std::uint32_t red = bits == 1 ? 0x10 : bits <= 8 ? 1 : bits == 16 ? 0x7C00 : 0xFF0000;
    const std::uint32_t blue = bits <= 8 ? 0 : bits == 16 ? 0x001F : 0x0000FF;
    const std::uint32_t high = bits == 4 ? 0xF0 : 0; // a 4-bit pixel keeps its low 4 bits
    bytes pixels;
    for (const char c : std::string("#####.#.....####..#.....#....."))
        for (int k = 0; k < (bits + 7) / 8; ++k)
            pixels.push_back(static_cast<std::uint8_t>(((c == '#' ? red : blue) | high) >> 8 * k));
    return pixels;
}

std::vector<std::uint32_t> f_palette(int bits) {
    std::vector<std::uint32_t> palette(std::size_t{1} << (bits <= 8 ? bits : 1));
    for (std::uint32_t i = 0; i < palette.size(); ++i)
        palette[i] = i == 0 ? 0x0000FF : i == 1 ? 0xFF0000 : 0x01010101 * i;
    return palette;
}

bytes noise(std::uint32_t w, std::uint32_t h, int bits) {
    const unsigned mask = bits == 1 ? 1 : bits == 4 ? 15 : 255;
    bytes pixels(std::size_t{w} * h * ((bits + 7) / 8));
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint8_t>((i * 2654435761u >> 24) & mask);
    return pixels;
}

// The bytes from offset on of a temporary file that write_bitmap filled.
bytes write_bytes(std::uint32_t w, std::uint32_t h, std::uint16_t bits,
                  const std::uint32_t* palette, const std::uint8_t* pixels, long offset = 0) {
    bitmap_header header{};
    create_bitmap_header(&header, w, h, bits);
    std::FILE* f = std::tmpfile();
    EXPECT_EQ(write_bitmap(f, &header, palette, pixels), 0) << bits << " bits";
    bytes file;
    std::fseek(f, offset, SEEK_SET);
    for (int c; (c = std::fgetc(f)) != EOF;)
        file.push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
    return file;
}

bytes f_file(std::uint16_t bits, long offset = 0) {
    return write_bytes(6, 5, bits, f_palette(bits).data(), f_pixels(bits).data(), offset);
}

struct read_outcome {
    int result = 0;
    int checked = 0; // read_bitmap_header's result on the same bytes
    std::string out;
    bool allocated = false; // a buffer was placed in a slot
    bitmap_header header{};
    std::vector<std::uint32_t> palette;
    bytes pixels;
};

template <typename file_bytes> read_outcome read_bytes(const file_bytes& file) {
    std::FILE* f = std::tmpfile();
    std::fwrite(file.data(), 1, file.size(), f);
    std::rewind(f);
    read_outcome r;
    std::uint32_t* palette = nullptr;
    std::uint8_t* pixels = nullptr;
    testing::internal::CaptureStdout();
    r.result = read_bitmap(f, &r.header, &palette, &pixels);
    r.out = testing::internal::GetCapturedStdout();
    r.allocated = palette != nullptr || pixels != nullptr;
    const std::size_t bits = r.header.bit_count;
    if (r.result == 0 && bits <= 8)
        r.palette.assign(palette, palette + (1u << bits));
    if (r.result == 0)
        r.pixels.assign(pixels, pixels + (bits + 7) / 8 * r.header.width * r.header.height);
    std::free(palette);
    std::free(pixels);
    std::rewind(f);
    bitmap_header header{};
    testing::internal::CaptureStdout();
    r.checked = read_bitmap_header(f, &header);
    testing::internal::GetCapturedStdout();
    std::fclose(f);
    return r;
}

// Runs qarvex on dir/sheet.bmp; tile i mod 256 at world byte i tiles the map with the sheet.
void expect_sheet_run(const test_support::temp_dir& dir, const std::string& out) {
    bytes world(65536);
    std::iota(world.begin(), world.end(), 0);
    test_support::write_file(dir / "world.dsk", world);
    const auto run = test_support::run_qarvex(
        {"-s", "sheet.bmp", "-d2", "world.dsk", "-o", "map.bmp", "--overwrite"}, dir.path);
    EXPECT_EQ(run.out + run.err, out);
    EXPECT_EQ(run.status, out.empty() ? 0 : 1);
    if (!out.empty())
        return;
    const read_outcome sheet = read_bytes(test_support::read_file(dir / "sheet.bmp"));
    const read_outcome map = read_bytes(test_support::read_file(dir / "map.bmp"));
    const std::size_t row = sheet.pixels.size() / sheet.header.height;
    const std::size_t used = sheet.header.height / 16 * 16;
    bytes expected; // map row y / 16 is 16 copies of sheet row y / 16 mod used
    for (std::size_t y = 0; y < 256 * used; ++y) {
        const std::uint8_t* from = &sheet.pixels[y / 16 % used * row];
        expected.insert(expected.end(), from, from + row);
    }
    EXPECT_TRUE(map.pixels == expected);
    EXPECT_EQ(map.palette, sheet.palette);
}

} // namespace

TEST(bitmap, writes_golden_bytes_and_reads_them_back) {
    // No palette given: zero entries. Pixels above 15 keep only their low 4 bits.
    EXPECT_EQ(write_bytes(6, 5, 4, nullptr, f_pixels(4).data()),
              test_support::from_hex(
                  "424D 8A000000 00000000 76000000 28000000 06000000 05000000 0100 0400"
                  "00000000 14000000 00000000 00000000 00000000 00000000" +
                  std::string(128, '0') + "10000000 10000000 11110000 10000000 11111000"));
    // The bottom row ("#.....") first; each row filled to 4 bytes.
    EXPECT_EQ(f_file(1, 62),
              test_support::from_hex("80000000 80000000 F0000000 80000000 F8000000"));
    // Other bit counts, and palettes of 0 or 257 entries, are refused and write nothing.
    std::FILE* f = std::tmpfile();
    const std::vector<std::uint32_t> palette(257);
    for (const int bits : {0, 2, 12}) {
        bitmap_header header{};
        EXPECT_EQ(create_bitmap_header(&header, 6, 5, static_cast<std::uint16_t>(bits)), -1);
        EXPECT_EQ(write_bitmap(f, &header, palette.data(), f_pixels(8).data()), -1) << bits;
    }
    EXPECT_EQ(write_palette(f, palette.data(), 0), -1);
    EXPECT_EQ(write_palette(f, palette.data(), 257), -1);
    EXPECT_EQ(read_palette(f, nullptr, 0) + read_palette(f, nullptr, 257), -2);
    EXPECT_EQ(std::ftell(f), 0);
    EXPECT_EQ(write_palette(f, palette.data(), 1) + write_palette(f, palette.data(), 256), 0);
    EXPECT_EQ(std::ftell(f), 1028);
    std::fclose(f);
    // A stream with no room for the header, for the palette, or for the rows.
    for (const auto& [room, part] :
         {std::pair{50, "bitmap header"}, {100, "palette"}, {130, "bitmap data"}}) {
        std::vector<char> space(static_cast<std::size_t>(room));
        std::FILE* small = fmemopen(space.data(), space.size(), "wb");
        std::setvbuf(small, nullptr, _IONBF, 0);
        bitmap_header header{};
        create_bitmap_header(&header, 6, 5, 4);
        testing::internal::CaptureStdout();
        EXPECT_EQ(write_bitmap(small, &header, f_palette(4).data(), f_pixels(4).data()), -1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "error: write_bitmap() - can't write " + std::string(part) + "\n");
        std::fclose(small);
    }
    // Round trips: widths that end a byte and a row at every place, and height 0.
    for (const std::uint16_t bits : bit_counts)
        for (std::uint32_t w : {1u, 2u, 3u, 5u, 7u, 8u, 9u, 17u, 140001u}) {
            const std::uint32_t h = w > 100 ? 1 : w % 4;
            const bytes sent = noise(w, h, bits);
            const auto r = read_bytes(write_bytes(w, h, bits, f_palette(bits).data(), sent.data()));
            EXPECT_EQ(r.out, h == 0 ? data0 + "0\n" : "");
            EXPECT_EQ(r.pixels, sent) << bits << " bits, width " << w;
            EXPECT_EQ(r.palette, bits <= 8 ? f_palette(bits) : std::vector<std::uint32_t>());
        }
}

// The 8-bit F with fields changed (a refused header allocates nothing), or cut.
TEST(bitmap, damaged_files_give_their_lines) {
    // Fields changed, what the header check gives (-1 refused, else its warnings), lines.
    const std::tuple<std::vector<std::pair<int, std::uint32_t>>, int, std::string> rows[] = {
        {{{14, 12}}, -1, rule + "not supported header type - support only Windows V3\n"},
        {{{14, 108}}, -1, rule + "not supported header type - support only Windows V3\n"},
        {{{26, 2}}, -1, ""},     // planes
        {{{0, 0x424D}}, -1, ""}, // "MB"
        {{{30, 3}}, -1, rule + "not support compression\n"},
        {{{28, 2}}, -1, rule + "unknown bit count\n"},
        {{{10, 0x76}, {46, 16}}, -1, rule + "offset size 0x76 != 0x436\n"},
        {{{34, 0x10}}, -1, rule + "data length 0x10 != 0x28\n"},
        {{{34, 0}}, 1, data0 + "28\n"},
        {{{2, 0}}, 1, "warning: check_bitmap_header() - file length is 0\n"},
        {{{2, 0}, {34, 0}}, 2, data0 + "28\nwarning: check_bitmap_header() - file length is 0\n"},
        {{{2, 0x1000}}, 1, "warning: check_bitmap_header() - file length 0x1000 > 0x45E\n"},
        {{{2, 0x400}}, -1, rule + "file length 0x400 < 0x45E\n"},
    };
    for (const auto& [fields, checked, out] : rows) {
        bytes file = f_file(8);
        for (const auto& [at, value] : fields)
            put_le32(file.data() + at, value);
        const read_outcome r = read_bytes(file);
        const int result = checked < 0 ? -1 : 0;
        EXPECT_EQ(r.out, out + (result < 0 ? header_refused : ""));
        EXPECT_EQ(r.result, result) << out;
        EXPECT_EQ(r.checked, checked) << out;
        EXPECT_EQ(r.allocated, result == 0) << out;
        EXPECT_EQ(r.pixels, result == 0 ? f_pixels(8) : bytes()) << out;
    }
    const bytes file = f_file(8);
    for (long cut = 0; cut < static_cast<long>(file.size()); ++cut) {
        const read_outcome r = read_bytes(std::string(file.begin(), file.begin() + cut));
        const char* part = cut < 54 ? "bitmap header" : cut < 1078 ? "palette" : "bitmap data";
        EXPECT_EQ(r.out, "error: read_bitmap() - can't read " + std::string(part) + "\n") << cut;
        EXPECT_EQ(r.result, -1) << "cut at " << cut;
    }
}

TEST(shape_sheet, sizes_give_the_map_or_their_refusal) {
    const std::tuple<std::uint32_t, std::uint32_t, std::uint16_t, std::string> rows[] = {
        {448, 512, 4, ""}, // the program disk's tile size: a 7168 x 8192 map
        {256, 256, 24, ""},
        {448, 520, 4, ""}, // the bottom 8 rows are never used
        {15, 256, 8, "error: shape bitmap is too small\n" + sheet_refused},
        {256, 15, 8, "error: shape bitmap is too small\n" + sheet_refused},
        {450, 512, 8, "error: illegal shape bitmap size\n" + sheet_refused},
        {4096, 4096, 1, "error: tiles of 256 x 256 pixels make the map larger than 4 GiB\n"},
    };
    test_support::temp_dir dir;
    for (const auto& [w, h, bits, out] : rows) {
        test_support::write_file(dir / "sheet.bmp", write_bytes(w, h, bits, f_palette(bits).data(),
                                                                noise(w, h, bits).data()));
        expect_sheet_run(dir, out);
    }
    std::filesystem::remove(dir / "sheet.bmp");
    expect_sheet_run(dir, "error: open 'sheet.bmp'\n" + sheet_refused);
}

// ImageMagick reads the F at every bit count; its and Pillow's sheets load.
TEST(real_writers, agree_with_our_files) {
    const std::string convert = "/usr/bin/convert", python = "/usr/bin/python3";
    test_support::temp_dir dir;
    if (!std::filesystem::exists(convert) ||
        run_program(python, {"-c", "import PIL"}, dir.path).status != 0)
        GTEST_SKIP() << "ImageMagick or Pillow not installed; skipping";
    const bytes f = f_pixels(24);
    for (const std::uint16_t bits : bit_counts) {
        test_support::write_file(dir / "f.bmp", f_file(bits));
        const auto seen = run_program(convert, {"f.bmp", "-depth", "8", "bgr:-"}, dir.path);
        EXPECT_EQ(bytes(seen.out.begin(), seen.out.end()), f) << bits << " bits";
    }
    run_program(convert, {"rose:", "-resize", "32x32!", "-colors", "128", "source.ppm"}, dir.path);
    const std::string pil = "from PIL import Image; im = Image.open('source.ppm'); im";
    const std::vector<std::string> sheets[] = {
        {convert, "source.ppm", "-type", "bilevel", "-compress", "none", "BMP3:sheet.bmp"},
        {convert, "source.ppm", "-colors", "16", "-compress", "none", "BMP3:sheet.bmp"},
        {convert, "source.ppm", "-type", "palette", "-compress", "none", "BMP3:sheet.bmp"},
        {convert, "source.ppm", "-type", "truecolor", "-compress", "none", "BMP3:sheet.bmp"},
        {python, "-c", pil + ".convert('P').save('sheet.bmp')"},
    };
    for (const auto& c : sheets) {
        SCOPED_TRACE(c.back());
        ASSERT_EQ(run_program(c[0], {c.begin() + 1, c.end()}, dir.path).status, 0);
        expect_sheet_run(dir, "");
    }
}
