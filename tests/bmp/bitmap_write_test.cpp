// The writer: header fields for every bit count, golden bytes of the F,
// packing at the edges, and writes that fail.
#include "bmp_fixtures.h"

using namespace bmp_test;

TEST(bitmap_write, header_fields_for_every_bit_count) {
    struct row {
        std::uint16_t bits;
        std::uint32_t w, h, offset, data;
    };
    const row rows[] = {
        {1, 10, 3, 62, 12}, {4, 5, 2, 118, 8},  {8, 3, 2, 1078, 8}, {16, 3, 1, 54, 8},
        {24, 1, 4, 54, 16}, {32, 3, 2, 54, 24}, {8, 5, 0, 1078, 0}, {4, 7168, 8192, 118, 29360128}};
    for (const row& r : rows) {
        bitmap_header h{};
        ASSERT_EQ(create_bitmap_header(&h, r.w, r.h, r.bits), 0);
        EXPECT_EQ(h.data_offset, r.offset) << r.bits << " bits, width " << r.w;
        EXPECT_EQ(h.data_length, r.data) << r.bits << " bits, width " << r.w;
        EXPECT_EQ(h.file_length, r.offset + r.data);
        EXPECT_EQ(bitmap_row_size(r.w, r.bits) * static_cast<int>(r.h), static_cast<int>(r.data));
    }
    for (std::uint16_t bits : {0, 2, 12}) { // refused silently, nothing written
        bitmap_header h{};
        EXPECT_EQ(create_bitmap_header(&h, 6, 5, bits), -1);
        EXPECT_EQ(bitmap_row_size(6, bits), -1);
        bytes file;
        std::string out;
        EXPECT_EQ(write_bytes(6, 5, bits, nullptr, f_pixels(8).data(), &file, &out), -1);
        EXPECT_EQ(file.size() + out.size(), 0u);
    }
}

TEST(bitmap_write, golden_bytes_of_the_f) {
    EXPECT_EQ(f_file(4),
              hex("424D 8A000000 00000000 76000000 28000000 06000000 05000000 0100 0400"
                  "00000000 14000000 00000000 00000000 00000000 00000000"
                  "FF000000 0000FF00 02020200 03030300 04040400 05050500 06060600 07070700"
                  "08080800 09090900 0A0A0A00 0B0B0B00 0C0C0C00 0D0D0D00 0E0E0E00 0F0F0F00"
                  "10000000 10000000 11110000 10000000 11111000"));
    // The rows of the other bit counts, bottom row ("#.....") first.
    const std::string r = "0000FF", b = "FF0000", r16 = "007C", b16 = "1F00";
    const std::string stem = r + b + b + b + b + b + "0000",
                      stem16 = r16 + b16 + b16 + b16 + b16 + b16;
    struct row {
        std::uint16_t bits;
        std::size_t offset;
        std::string rows;
    };
    const row rows[] = {
        {1, 62, "80000000 80000000 F0000000 80000000 F8000000"},
        {8, 1078,
         "0100000000000000 0100000000000000 0101010100000000 0100000000000000"
         "0101010101000000"},
        {16, 54,
         stem16 + stem16 + r16 + r16 + r16 + r16 + b16 + b16 + stem16 + r16 + r16 + r16 + r16 +
             r16 + b16},
        {24, 54,
         stem + stem + r + r + r + r + b + b + "0000" + stem + r + r + r + r + r + b + "0000"}};
    for (const row& x : rows) {
        const bytes file = f_file(x.bits);
        EXPECT_EQ(bytes(file.begin() + static_cast<long>(x.offset), file.end()), hex(x.rows))
            << x.bits;
    }
}

TEST(bitmap_write, packs_only_low_bits_and_fills_odd_widths) {
    bytes file;
    const bytes four = {0x1F, 0x2E, 0xF3}; // only the low 4 bits count
    ASSERT_EQ(write_bytes(3, 1, 4, nullptr, four.data(), &file), 0);
    EXPECT_EQ(bytes(file.begin() + 54, file.begin() + 118), bytes(64, 0)); // no palette: zeros
    EXPECT_EQ(bytes(file.begin() + 118, file.end()), hex("FE300000"));
    const bytes one = {0, 7, 255, 0, 0, 0, 0, 0, 1, 2}; // any nonzero byte is a lit bit
    ASSERT_EQ(write_bytes(10, 1, 1, nullptr, one.data(), &file), 0);
    EXPECT_EQ(bytes(file.begin() + 54, file.end()), hex("00000000 00000000 60C00000"));
    ASSERT_EQ(write_bytes(7, 0, 8, nullptr, nullptr, &file), 0); // height 0: header and palette
    EXPECT_EQ(file.size(), 1078u);
    EXPECT_EQ(file[2] | file[3] << 8, 1078);
}

TEST(bitmap_write, reports_a_full_device) {
    const bytes pixels(64 * 64, 5);
    bitmap_header header{};
    ASSERT_EQ(create_bitmap_header(&header, 64, 64, 8), 0);
    for (bool buffered : {false, true}) {
        std::FILE* full = std::fopen("/dev/full", "wb");
        if (full == nullptr)
            GTEST_SKIP() << "no /dev/full on this system; skipping";
        if (!buffered)
            std::setvbuf(full, nullptr, _IONBF, 0);
        testing::internal::CaptureStdout();
        EXPECT_EQ(write_bitmap(full, &header, nullptr, pixels.data()), -1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  buffered ? "error: write_bitmap() - can't write bitmap data\n"
                           : "error: write_bitmap() - can't write bitmap header\n");
        std::fclose(full);
    }
}
