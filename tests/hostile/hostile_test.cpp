// Hostile inputs through the built tool under a memory limit: T/S list chains
// through every sector or looping, pairs off the image, BMP headers of huge or
// negative sizes. Each ends with its lines and status 1; an old map stays as it was.
#include <cstdint>
#include <utility>

#include "bmp/bmp.h"
#include "diskbuild.h"
#include "support/run_tool.h"

namespace {

using bytes = std::vector<std::uint8_t>;

// The 54 header bytes with these fields, the others as a writer sets them
// ("BM" goes in as 0x4D42, whose upper half the file length overwrites).
bytes bmp_header(std::uint32_t file_length, std::uint32_t offset, std::uint32_t width,
                 std::uint32_t height, std::uint16_t bits, std::uint32_t data_length) {
    bytes out(54, 0);
    const std::uint32_t planes_and_bits = 1u | std::uint32_t{bits} << 16;
    const std::pair<int, std::uint32_t> fields[] = {
        {0, 0x4D42}, {2, file_length}, {10, offset},          {14, 40},
        {18, width}, {22, height},     {26, planes_and_bits}, {34, data_length}};
    for (const auto& [at, value] : fields)
        put_le32(&out[at], value);
    return out;
}

// What qarvex prints in sector order 1 or 2 over an old map with
// "--overwrite", in 256 MiB of address space where a buffer sized from a
// hostile file fails the run (not under AddressSanitizer, which reserves far more).
std::string run_over_old_map(const test_support::temp_dir& dir, int order,
                             std::vector<std::string> args, const std::string& feed = "") {
    test_support::write_file(dir / "map.bmp", "old map");
    std::string script = feed + "exec \"$0\" \"$@\"";
#if !defined(__SANITIZE_ADDRESS__)
    script = "ulimit -v 262144; " + script;
#endif
    args.insert(args.end(), {order == 2 ? "--po" : "--do", "-o", "map.bmp", "--overwrite"});
    const auto result = test_support::run_qarvex(args, dir.path, nullptr, script);
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(test_support::read_file(dir / "map.bmp") == "old map"); // no dump of a map
    return result.out + result.err;
}

const std::string shape0 = "S\x01HP0";
const std::string shape1 = "S\x01HP1";

// Two shape files of 4096 bytes; with lists_everywhere, shape file 0 (first
// entry of 17/15) has its T/S lists on every sector of tracks 1 to 34 but the
// catalog track, in order: 528 (a link to track 0 ends a chain). Their pairs,
// all zero, name 0/0, which holds a binary file of 4096 bytes.
built_disk program_disk(bool lists_everywhere) {
    built_disk disk{};
    start_disk(&disk);
    add_file(&disk, shape0, 0x04, binary_file_contents(0x6000, bytes(4096, 0x2A)));
    add_file(&disk, shape1, 0x04, binary_file_contents(0x6000, bytes(4096, 0x55)));
    if (!lists_everywhere)
        return disk;
    built_sector last = {1, 0};
    for (int t = 1; t <= 34; ++t)
        for (int s = 0; s < 16 && t != 17; ++s) {
            put_link(&disk, last, {t, s});
            last = {t, s};
        }
    put_sector_byte(&disk, 0, 0, 3, 0x10);
    put_sector_byte(&disk, 17, 15, 0x0B, 1);
    put_sector_byte(&disk, 17, 15, 0x0C, 0);
    return disk;
}

} // namespace

TEST(HostileDisks, ListChainsAndPairsOffTheDisk) {
    const std::string no_shapes = "error: read shapes from disk image\n";
    const std::string no_list = "can't get track/sector list 'KQboot.dsk'\n";
    const std::string no_file0 = no_list + "error: can't get file 'KQboot.dsk/" + shape0 + "'\n";
    // The links of the lists through every sector overwrote shape file 1's
    // header; the world disk is absent.
    const std::string shapes_read = "file size mismatch '" + shape1 +
                                    "' 4109 != 4096\n"
                                    "error: open 'kqvellmara.dsk'\n"
                                    "error: read image file 'kqvellmara.dsk'\n";
    std::pair<built_disk, std::string> cases[] = {
        {program_disk(true), shapes_read},
        // Linked back to its start, 560 lists (the image's sectors) are read first.
        {program_disk(true), "track/sector list too long (03/00)\n" + no_file0 + no_shapes},
        {program_disk(false), "illegal track/sector list[00:05] (40/03)\n"
                              "error: read file 'KQboot.dsk/" +
                                  shape1 + "'\n" + no_shapes},
        // Seven more entries in 17/14 start on the same chain: each chain is
        // within its own bound, only the bound on the lists of the disk stops them.
        {program_disk(true), "track/sector list too long (0A/0D)\n" + no_list + shapes_read},
    };
    put_link(&cases[1].first, {34, 15}, {1, 0});
    put_last_pair(&cases[2].first, 0, 5, {0x40, 3});
    const auto entry0 = cases[3].first.bytes.begin() + (17 * 16 + 15) * 256 + 0x0B;
    for (int e = 0; e < 7; ++e)
        put_raw(&cases[3].first, (17 * 16 + 14) * 256 + 0x0B + 35 * e, bytes(entry0, entry0 + 35));
    for (int order : {1, 2})
        for (auto& [disk, lines] : cases) {
            test_support::temp_dir dir;
            save_disk(&disk, (dir / "KQboot.dsk").string(), order);
            EXPECT_EQ(run_over_old_map(dir, order, {}), lines) << "order " << order;
        }
}

// A pipe giving more than any disk image holds is refused once it has; one
// giving exactly that much is read.
TEST(HostileDisks, APipeLongerThanAnyDiskIsRefused) {
    test_support::temp_dir dir;
    EXPECT_EQ(run_over_old_map(dir, 2, {"-d1", "/dev/stdin"}, "head -c 41944577 /dev/zero | "),
              "disk image too large '/dev/stdin' (more than 41944576 bytes)\n"
              "error: read disk image '/dev/stdin'\nerror: read shapes from disk image\n");
    EXPECT_EQ(run_over_old_map(dir, 2, {"-d1", "/dev/stdin"}, "head -c 41944576 /dev/zero | "),
              "file not found 'S\x01HP0'\nerror: can't get file '/dev/stdin/S\x01HP0'\n"
              "error: read shapes from disk image\n");
}

// Each is refused before a buffer is sized from it: under the run's memory
// limit no row or pixel buffer of a GiB or more may be asked for.
TEST(HostileSheets, HugeAndNegativeSizesAreRefusedWithTheirLines) {
    const std::string rule = "error: check_bitmap_header() - ";
    const std::string data0 = "warning: check_bitmap_header() - data length is 0 ... corrected: 0x";
    const std::string file0 = "warning: check_bitmap_header() - file length is 0\n";
    const std::string shape_refused = "error: read shape bitmap 'sheet.bmp'\n";
    const std::string sheet_refused = "error: read 'sheet.bmp'\n" + shape_refused;
    const std::string refused = "error: read_bitmap() - can't read bitmap header\n" + sheet_refused;
    const std::uint32_t minus_16 = 0xFFFFFFF0u;
    bytes short_file = bmp_header(0, 1078, 65535, 65535, 8, 0); // 4 GiB of pixels claimed
    short_file.resize(1078 + 100, 0);
    const std::pair<bytes, std::string> cases[] = {
        // Both lengths 0, so that the format's own rules let a top-down picture through.
        {bmp_header(0, 54, 16, minus_16, 24, 0),
         data0 + "FFFFFD00\n" + file0 + rule + "top-down bitmap not supported\n" + refused},
        {bmp_header(54 + 16 * 48, 54, 16, minus_16, 24, 16 * 48),
         rule + "data length 0x300 != 0xFFFFFD00\n" + refused},
        {bmp_header(0, 54, minus_16, 16, 24, 0),
         data0 + "FFFFFD00\n" + file0 + rule + "bitmap size too large\n" + refused},
        // A data length that wraps to 0; a row longer than an int.
        {bmp_header(0, 1078, 65536, 65536, 8, 0),
         data0 + "0\n" + file0 + rule + "bitmap size too large\n" + refused},
        {bmp_header(0, 54, 0x40000000, 1, 32, 0),
         data0 + "0\n" + file0 + rule + "bitmap size too large\n" + refused},
        // Wider than an int; pixels of 4 GiB in memory, though their rows take 512 MiB.
        {bmp_header(0, 62, 0x80000000u, 1, 1, 0),
         data0 + "10000000\n" + file0 + rule + "bitmap size too large\n" + refused},
        {bmp_header(0, 62, 65536, 65536, 1, 0),
         data0 + "20000000\n" + file0 + rule + "bitmap size too large\n" + refused},
        // The widest picture, one row of 256 MiB, is not refused as too large.
        {bmp_header(0, 62, 0x7FFFFFFF, 1, 1, 0), data0 + "10000000\n" + file0 +
                                                     "error: read_bitmap() - can't read palette\n" +
                                                     sheet_refused},
        // Pixels of just under 4 GiB, which their offset takes past it.
        {bmp_header(0, 1078, 85932, 49981, 8, 0),
         data0 + "FFFFFFFC\n" + file0 + rule + "bitmap size too large\n" + refused},
        {bmp_header(0x100, 54, 4096, 4096, 24, 0x3000000),
         rule + "file length 0x100 < 0x3000036\n" + refused},
        {short_file, data0 + "FFFF0000\n" + file0 +
                         "error: read_bitmap() - can't read bitmap data\n" + sheet_refused},
        // No rows, each of 2 GiB.
        {bmp_header(0, 54, 0x1FFFFFFF, 0, 32, 0),
         data0 + "0\n" + file0 + "error: shape bitmap is too small\n" + shape_refused},
    };
    for (const auto& [sheet, lines] : cases) {
        test_support::temp_dir dir;
        test_support::write_file(dir / "sheet.bmp", sheet);
        EXPECT_EQ(run_over_old_map(dir, 1, {"-s", "sheet.bmp"}), lines);
    }
#if !defined(__SANITIZE_ADDRESS__)
    // A sheet within every rule whose 256 MiB of pixels the run can't hold.
    test_support::temp_dir dir;
    test_support::write_file(dir / "sheet.bmp", bmp_header(0, 1078, 16384, 16384, 8, 0));
    std::filesystem::resize_file(dir / "sheet.bmp", 1078 + (1u << 28));
    EXPECT_EQ(run_over_old_map(dir, 1, {"-s", "sheet.bmp"}),
              data0 + "10000000\n" + file0 + "error: memory exhaust!\n" + sheet_refused);
#endif
}
