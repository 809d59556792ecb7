// The reader: round trips of every bit count, each header rule with its
// line, the pixel and palette slots, and sweeps over cut and flipped files.
#include "bmp_fixtures.h"

using namespace bmp_test;

namespace {

void patch(bytes* file, std::size_t at, int size, std::uint32_t value) {
    for (int k = 0; k < size; ++k)
        (*file)[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(value >> (8 * k));
}

} // namespace

TEST(bitmap_read, round_trips_every_bit_count_and_width) {
    for (std::uint16_t bits : {1, 4, 8, 16, 24, 32}) {
        for (std::uint32_t w : {1u, 2u, 3u, 5u, 7u, 8u, 9u, 17u, 70001u}) {
            const std::uint32_t h = w > 100 ? 1 : w % 4; // heights 0 to 3
            bytes pixels(std::size_t{w} * h * ((bits + 7) / 8));
            for (std::size_t i = 0; i < pixels.size(); ++i)
                pixels[i] = static_cast<std::uint8_t>(i * 7919 >> 3);
            const auto palette = f_palette(bits);
            bytes file;
            ASSERT_EQ(
                write_bytes(w, h, bits, bits <= 8 ? palette.data() : nullptr, pixels.data(), &file),
                0);
            const read_outcome r = read_bytes(file);
            ASSERT_EQ(r.result, 0) << bits << " bits, width " << w << ": " << r.out;
            // A picture of no rows has data length 0, which the check corrects aloud.
            EXPECT_EQ(r.out, h == 0 ? "warning: check_bitmap_header() - data length is 0 ... "
                                      "corrected: 0x0\n"
                                    : "");
            for (auto& p : pixels)
                p = bits == 1 ? p != 0 : bits == 4 ? p & 15 : p;
            EXPECT_EQ(r.pixels, pixels) << bits << " bits, width " << w;
            if (bits <= 8) {
                EXPECT_EQ(r.palette, palette);
            }
        }
    }
}

TEST(bitmap_read, header_rules_print_their_line) {
    const std::string refused = "error: read_bitmap() - can't read bitmap header\n";
    const std::string rule = "error: check_bitmap_header() - ";
    const std::string data0 = "warning: check_bitmap_header() - data length is 0 ... corrected: 0x";
    const std::string file0 = "warning: check_bitmap_header() - file length is 0\n";
    struct edit {
        std::size_t at;
        int size;
        std::uint32_t value;
    };
    struct row {
        std::vector<edit> edits;
        int result;
        std::string out;
    };
    const std::string header_type = rule + "not supported header type - support only Windows V3\n";
    const row rows[] = {
        {{}, 0, ""},
        {{{14, 4, 12}}, -1, header_type + refused},
        {{{14, 4, 108}}, -1, header_type + refused},
        {{{14, 4, 124}}, -1, header_type + refused},
        {{{26, 2, 2}}, -1, refused},
        {{{0, 2, 0x424D}}, -1, refused}, // "MB"
        {{{30, 4, 3}}, -1, rule + "not support compression\n" + refused},
        {{{30, 4, 1}}, -1, rule + "not support compression\n" + refused},
        {{{28, 2, 2}}, -1, rule + "unknown bit count\n" + refused},
        {{{10, 4, 0x76}, {46, 4, 16}}, -1, rule + "offset size 0x76 != 0x436\n" + refused},
        {{{34, 4, 0x10}}, -1, rule + "data length 0x10 != 0x28\n" + refused},
        {{{34, 4, 0}}, 0, data0 + "28\n"},
        {{{2, 4, 0}}, 0, file0},
        {{{2, 4, 0}, {34, 4, 0}}, 0, data0 + "28\n" + file0},
        {{{2, 4, 0x1000}}, 0, "warning: check_bitmap_header() - file length 0x1000 > 0x45E\n"},
        {{{2, 4, 0x400}}, -1, rule + "file length 0x400 < 0x45E\n" + refused},
        // Sizes the format's rules let through on wrapped 32-bit numbers.
        {{{22, 4, 0xFFFFFFFB}}, -1, rule + "data length 0x28 != 0xFFFFFFD8\n" + refused},
        {{{22, 4, 0xFFFFFFFB}, {2, 4, 0}, {34, 4, 0}},
         -1,
         data0 + "FFFFFFD8\n" + file0 + rule + "top-down bitmap not supported\n" + refused},
        {{{18, 4, 0x10000}, {22, 4, 0x10000}, {2, 4, 0}, {34, 4, 0}},
         -1,
         data0 + "0\n" + file0 + rule + "bitmap size too large\n" + refused},
        {{{28, 2, 32}, {10, 4, 54}, {18, 4, 0x40000001}, {22, 4, 1}, {34, 4, 4}, {2, 4, 58}},
         -1,
         rule + "bitmap size too large\n" + refused},
        {{{18, 4, 0x80000000}, {22, 4, 0}, {34, 4, 0}, {2, 4, 0}},
         -1,
         data0 + "0\n" + file0 + rule + "bitmap size too large\n" + refused},
    };
    for (const row& x : rows) {
        bytes file = f_file(8);
        for (const edit& e : x.edits)
            patch(&file, e.at, e.size, e.value);
        const read_outcome r = read_bytes(file);
        EXPECT_EQ(r.result, x.result) << x.out;
        EXPECT_EQ(r.out, x.out);
        // Nothing is sized from a refused header.
        EXPECT_EQ(r.allocated, x.result == 0) << x.out;
        EXPECT_EQ(r.pixels, x.result == 0 ? f_pixels(8) : bytes()) << x.out;
    }
}

TEST(bitmap_read, slots_are_filled_in_place_or_left_out) {
    const bytes file = f_file(4);
    std::FILE* f = std::tmpfile();
    std::fwrite(file.data(), 1, file.size(), f);
    bitmap_header header{};
    std::rewind(f);
    EXPECT_EQ(read_bitmap(f, &header, nullptr, nullptr), -3);
    bytes pixels(30, 0xAA);
    std::uint8_t* slot = pixels.data();
    std::rewind(f);
    EXPECT_EQ(read_bitmap(f, &header, nullptr, &slot), 0); // palette stepped over
    EXPECT_EQ(slot, pixels.data());
    EXPECT_EQ(pixels, f_pixels(4));
    std::uint32_t entry = 0;
    EXPECT_EQ(read_palette(f, &entry, 0), -1);
    EXPECT_EQ(read_palette(f, &entry, 257), -1);
    EXPECT_EQ(write_palette(f, &entry, 0), -1);
    std::fclose(f);
}

TEST(bitmap_read, every_cut_of_a_file_is_refused_with_its_line) {
    const bytes file = f_file(8);
    for (std::size_t cut = 0; cut <= file.size(); ++cut) {
        const read_outcome r =
            read_bytes(bytes(file.begin(), file.begin() + static_cast<long>(cut)));
        const char* line = cut == file.size() ? ""
                           : cut < 54         ? "error: read_bitmap() - can't read bitmap header\n"
                           : cut < 1078       ? "error: read_bitmap() - can't read palette\n"
                                              : "error: read_bitmap() - can't read bitmap data\n";
        EXPECT_EQ(r.out, line) << "cut at " << cut;
        EXPECT_EQ(r.result, cut == file.size() ? 0 : -1) << "cut at " << cut;
    }
}

TEST(bitmap_read, flipped_header_bits_break_nothing) {
    for (std::uint16_t bits : {1, 4, 24}) {
        const bytes file = f_file(bits);
        for (std::size_t bit = 0; bit < 54 * 8; ++bit) {
            bytes flipped = file;
            flipped[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
            const read_outcome r = read_bytes(flipped);
            EXPECT_TRUE(r.result == 0 || r.result == -1) << "bit " << bit;
        }
    }
}
