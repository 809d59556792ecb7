// The writer's bytes and the reader's rules, in memory: golden bytes of the F,
// round trips of every bit count and of odd widths, each header rule with its
// lines, and files cut short or damaged.
#include "bmp_fixtures.h"

using namespace bmp_test;

namespace {

// Bytes from hex digits; blanks are skipped.
bytes hex(std::string text) {
    std::erase(text, ' ');
    bytes out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return out;
}

bytes from(const bytes& file, long offset) {
    return bytes(file.begin() + offset, file.end());
}

} // namespace

TEST(bitmap_write, golden_bytes_of_the_f_and_refused_bit_counts) {
    EXPECT_EQ(f_file(4),
              hex("424D 8A000000 00000000 76000000 28000000 06000000 05000000 0100 0400"
                  "00000000 14000000 00000000 00000000 00000000 00000000"
                  "FF000000 0000FF00 02020202 03030303 04040404 05050505 06060606 07070707"
                  "08080808 09090909 0A0A0A0A 0B0B0B0B 0C0C0C0C 0D0D0D0D 0E0E0E0E 0F0F0F0F"
                  "10000000 10000000 11110000 10000000 11111000"));
    // The bottom row ("#.....") first; each row filled to 4 bytes.
    EXPECT_EQ(from(f_file(1), 62), hex("80000000 80000000 F0000000 80000000 F8000000"));
    const std::string r = "0000FF", b = "FF0000", stem = r + b + b + b + b + b + "0000";
    EXPECT_EQ(from(f_file(24), 54), hex(stem + stem + r + r + r + r + b + b + "0000" + stem + r +
                                        r + r + r + r + b + "0000"));
    // No palette given: 16 zero entries. Only the low 4 bits of a pixel count.
    const bytes four = {0x12, 0x34, 0xF5};
    EXPECT_EQ(from(write_bytes(3, 1, 4, nullptr, four.data()), 54),
              hex(std::string(128, '0') + "24500000"));
    for (std::uint16_t bits : {0, 2, 12}) { // refused silently, nothing written
        bitmap_header header{};
        EXPECT_EQ(create_bitmap_header(&header, 6, 5, bits), -1);
        EXPECT_EQ(bitmap_row_size(6, bits), -1);
        EXPECT_EQ(write_bytes(6, 5, bits, nullptr, f_pixels(8).data(), -1), bytes());
    }
}

// Widths that leave every part of a packed byte and a row's fill, one past
// the writer's staging buffer, and height 0 (data length 0, which the check
// corrects aloud).
TEST(bitmap_read, round_trips_every_bit_count_and_width) {
    for (std::uint16_t bits : {1, 4, 8, 16, 24, 32}) {
        for (std::uint32_t w : {1u, 2u, 3u, 5u, 7u, 8u, 9u, 17u, 140001u}) {
            const std::uint32_t h = w > 100 ? 1 : w % 4;
            bytes pixels(std::size_t{w} * h * ((bits + 7) / 8)), expected;
            for (std::size_t i = 0; i < pixels.size(); ++i) {
                pixels[i] = static_cast<std::uint8_t>(i * 7919 >> 3);
                expected.push_back(bits == 1   ? pixels[i] != 0
                                   : bits == 4 ? pixels[i] & 15
                                               : pixels[i]);
            }
            const auto palette = f_palette(bits);
            const read_outcome r =
                read_bytes(write_bytes(w, h, bits, palette.data(), pixels.data()));
            EXPECT_EQ(r.out, h == 0 ? "warning: check_bitmap_header() - data length is 0 ... "
                                      "corrected: 0x0\n"
                                    : "");
            EXPECT_EQ(r.pixels, expected) << bits << " bits, width " << w;
            EXPECT_EQ(r.palette, bits <= 8 ? palette : std::vector<std::uint32_t>());
        }
    }
}

// Each row sets 32-bit fields (at offset, to value) of the 8-bit F.
TEST(bitmap_read, header_rules_print_their_lines) {
    const std::string refused = "error: read_bitmap() - can't read bitmap header\n";
    const std::string rule = "error: check_bitmap_header() - ";
    const std::string header_type = rule + "not supported header type - support only Windows V3\n";
    const std::string data0 = "warning: check_bitmap_header() - data length is 0 ... corrected: 0x";
    const std::string file0 = "warning: check_bitmap_header() - file length is 0\n";
    struct row {
        std::vector<std::pair<int, std::uint32_t>> fields;
        int result;
        std::string out;
    };
    const row rows[] = {
        {{{14, 12}}, -1, header_type + refused},
        {{{14, 108}}, -1, header_type + refused},
        {{{14, 124}}, -1, header_type + refused},
        {{{26, 2}}, -1, refused},     // planes
        {{{0, 0x424D}}, -1, refused}, // "MB"
        {{{30, 3}}, -1, rule + "not support compression\n" + refused},
        {{{30, 1}}, -1, rule + "not support compression\n" + refused},
        {{{28, 2}}, -1, rule + "unknown bit count\n" + refused},
        {{{10, 0x76}, {46, 16}}, -1, rule + "offset size 0x76 != 0x436\n" + refused},
        {{{34, 0x10}}, -1, rule + "data length 0x10 != 0x28\n" + refused},
        {{{34, 0}}, 0, data0 + "28\n"},
        {{{2, 0}}, 0, file0},
        {{{2, 0}, {34, 0}}, 0, data0 + "28\n" + file0},
        {{{2, 0x1000}}, 0, "warning: check_bitmap_header() - file length 0x1000 > 0x45E\n"},
        {{{2, 0x400}}, -1, rule + "file length 0x400 < 0x45E\n" + refused},
        // Sizes that pass the rules above only on wrapped 32-bit numbers.
        {{{22, 0xFFFFFFFB}, {2, 0}, {34, 0}},
         -1,
         data0 + "FFFFFFD8\n" + file0 + rule + "top-down bitmap not supported\n" + refused},
        {{{18, 0x10000}, {22, 0x10000}, {2, 0}, {34, 0}},
         -1,
         data0 + "0\n" + file0 + rule + "bitmap size too large\n" + refused},
    };
    for (const row& x : rows) {
        bytes file = f_file(8);
        for (const auto& [at, value] : x.fields)
            put_le32(&file[static_cast<std::size_t>(at)], value);
        const read_outcome r = read_bytes(file);
        EXPECT_EQ(r.result, x.result) << x.out;
        EXPECT_EQ(r.out, x.out);
        EXPECT_EQ(r.allocated, x.result == 0) << x.out; // nothing sized from a refused header
        EXPECT_EQ(r.pixels, x.result == 0 ? f_pixels(8) : bytes()) << x.out;
    }
}

TEST(bitmap_read, slots_are_filled_in_place_or_left_out) {
    const bytes file = f_file(4);
    std::FILE* f = std::tmpfile();
    std::fwrite(file.data(), 1, file.size(), f);
    std::rewind(f);
    bitmap_header header{};
    EXPECT_EQ(read_bitmap(f, &header, nullptr, nullptr), -3);
    bytes pixels(30, 0xAA);
    std::uint8_t* slot = pixels.data();
    EXPECT_EQ(read_bitmap(f, &header, nullptr, &slot), 0); // the palette is stepped over
    EXPECT_EQ(slot, pixels.data());
    EXPECT_EQ(pixels, f_pixels(4));
    std::uint32_t entry = 0;
    EXPECT_EQ(read_palette(f, &entry, 257), -1);
    EXPECT_EQ(write_palette(f, &entry, 257), -1);
    std::fclose(f);
}

TEST(bitmap_read, cut_or_flipped_files_fail_with_their_line) {
    const bytes file = f_file(8);
    for (long cut = 0; cut < static_cast<long>(file.size()); ++cut) {
        const read_outcome r = read_bytes(bytes(file.begin(), file.begin() + cut));
        const std::string part = cut < 54     ? "bitmap header"
                                 : cut < 1078 ? "palette"
                                              : "bitmap data";
        EXPECT_EQ(r.out, "error: read_bitmap() - can't read " + part + "\n") << "cut at " << cut;
        EXPECT_EQ(r.result, -1) << "cut at " << cut;
    }
    // A flipped header bit: read or refused, and the sanitizers watch the buffers.
    for (std::size_t bit = 0; bit < 54 * 8; ++bit) {
        bytes flipped = f_file(4);
        flipped[bit / 8] ^= static_cast<std::uint8_t>(1u << bit % 8);
        const int result = read_bytes(flipped).result;
        EXPECT_TRUE(result == 0 || result == -1) << "bit " << bit;
    }
}
