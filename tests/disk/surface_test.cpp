// Disk images other than raw ones: every format decodes to the sectors it was made
// from, real files as floptool reads them and to a line when cut; damage gives lines.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <tuple>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#else
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

#include "disk/disk_fixture.h"
#include "disk/image_load.h"
#include "surfacebuild.h"

namespace {

using bytes = std::vector<std::uint8_t>;

// Converts in to out with floptool flopconvert, formats naming both: what it
// wrote, or "" when it failed.
std::string floptool(const std::string& formats, const std::string& in, const std::string& out) {
    std::filesystem::remove(out); // floptool writes no file that exists
    const std::string command = "floptool flopconvert " + formats + " " +
                                test_support::shell_quote(in) + " " +
                                test_support::shell_quote(out) + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0 ? test_support::read_file(out) : "";
}

constexpr const char* find_floptool = "command -v floptool >/dev/null 2>&1";

} // namespace

TEST_F(DiskTest, EveryFormatDecodesToItsSectorsWhateverTheOrderAsked) {
    const bytes image = image_bytes(&sample, 1);
    // surface_options: WOZ version, flux tracks, tracks with data (none: all), damage.
    bytes by_blocks = two_img_file(image_bytes(&sample, 2), 1);
    std::fill_n(by_blocks.begin() + 28, 4, 0); // no data length: 512-byte blocks say it
    // What, the file, the order of the image in memory, and the formats floptool converts it with.
    const std::tuple<const char*, bytes, int, const char*> kinds[] = {
        {"NIB", nibble_file(image, nib_track_bytes), 1, "a2_nib a2_16sect_dos"},
        {"NB2", nibble_file(image, nb2_track_bytes), 1, nullptr},
        {"WOZ 1", woz_file(image, {1, {}, {}, {}}), 1, "woz a2_16sect_dos"},
        {"WOZ 2 with flux", woz_file(image, {2, {0, 17, 18, 34}, {}, {}}), 1, "woz a2_16sect_dos"},
        {"2IMG of ProDOS order, sized by blocks", by_blocks, 2, nullptr},
        {"2IMG of nibbles", two_img_file(nibble_file(image, nib_track_bytes), 2), 1, nullptr},
    };
    const bool referee = std::system(find_floptool) == 0;
    for (const auto& [name, file, order, formats] : kinds) {
        for (const int asked : {1, 2, 0}) { // --do and --po change nothing
            ASSERT_EQ(open_bytes(file, asked), 0) << name << " " << asked << out;
            EXPECT_EQ(out, "") << name;
            EXPECT_EQ(disk.order, order) << name;
            EXPECT_TRUE(bytes(disk.data, disk.data + disk.size) == image_bytes(&sample, order))
                << name << " " << asked;
            EXPECT_EQ(read_world(asked), 0) << name;
            EXPECT_TRUE(std::equal(got.begin(), got.end(), image.begin())) << name;
        }
        if (referee && formats != nullptr) {
            EXPECT_TRUE(floptool(formats, path(), (dir / "floptool.do").string()) ==
                        std::string(image.begin(), image.end()))
                << name << ": floptool reads our file otherwise";
        }
    }
    if (!referee)
        GTEST_SKIP() << "floptool not on PATH; our files were not checked against it";
}

TEST_F(DiskTest, RealFilesGiveALineForEveryCutAndDecodeAsFloptoolReadsThem) {
    const auto formats = std::filesystem::path(QARVEX_REAL_DISKS).parent_path() / "disk-formats";
    if (!std::filesystem::is_directory(formats))
        GTEST_SKIP() << "disk format fixtures not found at " << formats
                     << " (beside the CMake cache variable QARVEX_REAL_DISKS); skipping";
    // Each cut at every byte (the bytes past the cut made unreadable under
    // AddressSanitizer) gives a layout and a decoded surface, or a line.
    std::vector<std::uint8_t> image(35 * 4096), states(35 * 16);
    for (const char* name : {"dos33master_2.woz", "dos33-master.nb2", "dos33-disk.2mg"}) {
        const std::string file = test_support::read_file(formats / name);
        bytes copy(file.begin(), file.end());
        std::size_t silent = 0, decoded = 0;
        testing::internal::CaptureStdout();
        for (std::size_t n = file.size() + 1; n-- > 0;) {
            if (n < file.size())
                ASAN_POISON_MEMORY_REGION(copy.data() + n, 1);
            const long before = std::ftell(stdout);
            image_layout layout;
            int result = read_image_layout(copy.data(), n, "cut", &layout);
            if (result == 0 && layout.kind == image_kind::surface) {
                result = decode_surface(copy.data(), &layout.surface, "cut", image.data(),
                                        states.data());
                decoded += result == 0 ? 1 : 0;
            }
            silent += result < 0 && std::ftell(stdout) == before ? 1 : 0;
        }
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(silent, 0u) << name;
        EXPECT_EQ(decoded, std::string(name).find("2mg") == std::string::npos ? 1u : 0u) << name;
    }

    const auto open_fixture = [&](const std::filesystem::path& file) {
        release_disk_image(&disk, 0);
        return capture([&] { return open_disk_image(&disk, file.string().c_str(), 2, 0); });
    };

    // floptool reads neither NB2 nor 5.25-inch 2IMG files: the NB2 System Master is
    // checked against its README (every sector, VTOC, catalog), the 2IMG by its data.
    ASSERT_EQ(open_fixture(formats / "dos33-master.nb2"), 0);
    EXPECT_EQ(std::count(disk.decoded->state.begin(), disk.decoded->state.end(), sector_good), 560);
    EXPECT_EQ(disk.vtoc.release * 0x100 + disk.vtoc.volume, 0x3FE);
    EXPECT_EQ(disk.vtoc.pairs_per_list * 0x100 + disk.vtoc.tracks_per_disk, 122 * 0x100 + 35);
    const file_entry& last = disk.catalog->next->next->next->entries[5]; // the 27th file
    EXPECT_EQ(find_file_entry(&disk, "RETRIEVE TEXT"), &last);
    EXPECT_EQ(last.type * 0x100 + last.sectors, 0x8203);

    const std::string two_img = test_support::read_file(formats / "dos33-disk.2mg");
    ASSERT_EQ(open_fixture(formats / "dos33-disk.2mg"), 0);
    EXPECT_EQ(disk.order, 1);
    EXPECT_TRUE(two_img.substr(64) == std::string(disk.data, disk.data + disk.size));

    if (std::system(find_floptool) != 0)
        GTEST_SKIP() << "floptool not on PATH; skipping the WOZ files";
    // The WOZ System Master, and floptool's WOZ of our sample disk.
    const std::string master = (formats / "dos33master_2.woz").string();
    const std::string ours = (dir / "ours.woz").string();
    const std::string referee =
        floptool("auto a2_16sect_dos", master, (dir / "master.do").string());
    ASSERT_EQ(save_disk(&sample, path(), 1), 0);
    ASSERT_NE(floptool("a2_16sect_dos woz", path(), ours), "");
    const std::string built = test_support::read_file(path());
    for (const auto& [woz, expected] : {std::pair{master, referee}, std::pair{ours, built}}) {
        ASSERT_EQ(open_fixture(woz), 0) << out;
        EXPECT_TRUE(expected == std::string(disk.data, disk.data + disk.size)) << woz;
    }
}

TEST_F(DiskTest, DamagedFilesGiveTheirLines) {
    const bytes image = image_bytes(&sample, 1);
    const bytes woz = woz_file(image, {2, {1}, {}, {}}); // track 1 as flux
    const bytes woz1 = woz_file(image, {1, {}, {}, {}});
    const auto damaged = [&](int track, int sector, damage_kind kind) {
        return nibble_file(image, nib_track_bytes, {2, {}, {}, {{track, sector, kind}}});
    };
    const auto patched = [](bytes file, std::size_t at, const bytes& with) {
        std::copy(with.begin(), with.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
        if (file[0] == 'W')
            stamp_woz_crc(&file); // a WOZ file's CRC made right again
        return file;
    };
    const auto cut = [&](const char* id, std::size_t into) {
        const auto at = std::search(woz.begin(), woz.end(), id, id + 4) - woz.begin();
        return bytes(woz.begin(), woz.begin() + at + static_cast<std::ptrdiff_t>(into));
    };
    bytes bad_crc = woz;
    bad_crc[8] ^= 1; // the CRC in the header one bit off
    char crc_line[80];
    const auto crc = static_cast<unsigned>(crc32_of(woz.data() + 12, woz.size() - 12));
    std::snprintf(crc_line, sizeof crc_line, "(CRC-32 %08X, header says %08X)\n", crc, crc ^ 1);
    bytes no_crc = woz, lone_b5 = nibble_file(image, nib_track_bytes), mark = {0xD5, 0xAA, 0x96};
    std::fill_n(no_crc.begin() + 8, 4, 0);
    std::search(lone_b5.begin() + 4 * nib_track_bytes, lone_b5.end(), mark.begin(), mark.end())[2] =
        0xB5; // the first address mark of track 4
    const bytes two_img = two_img_file(image, 0);
    bytes raw = image, marked_end; // the second's first ring ends in an address mark
    raw.resize(35 * nib_track_bytes, 0x96);
    marked_end = patched(raw, nib_track_bytes - 3, {0xD5, 0xAA, 0x96});
    bytes with_chunk = woz, odd_chunk = woz; // the second's name has unprintable letters
    with_chunk.insert(with_chunk.end(), {'X', 'T', 'R', 'A', 0, 0, 0, 0});
    odd_chunk.insert(odd_chunk.end(), {' ', '~', 0x7F, 0x1F, 1, 0, 0, 0});
    stamp_woz_crc(&with_chunk);
    stamp_woz_crc(&odd_chunk);
    const std::string two_img_error = "2IMG error '" + path() + "' ";
    const std::string woz_error = "WOZ error '" + path() + "' ";
    const auto lost = [&](const char* where, const char* why) {
        return "can't decode track/sector (" + std::string(where) + ") of '" + path() + "': " + why;
    };
    const std::string no_catalog = "can't get catalog '" + path() + "'\n";
    struct damage_case {
        std::string name;
        bytes file;
        std::string open_out;      // and the open fails when it is not ""
        std::string raw_out = "="; // the raw read of tracks 0-15 fails when not ""; "=": as open
    };
    std::vector<damage_case> cases = {
        {"a wrong CRC", bad_crc, woz_error + crc_line},
        {"a cut in TRKS' header", cut("TRKS", 2), woz_error + "(chunk header cut short)\n"},
        {"an empty chunk last", with_chunk, "", ""},
        {"a chunk of an odd name cut", odd_chunk,
         woz_error + "( ~?? chunk runs past the end of the file)\n"},
        {"a WOZ 1 record of no bits", patched(woz1, 256 + 6656 * 4 + 6648, {0, 0}), "",
         lost("04/00", "no data for its track\n")},
        {"no more than a WOZ signature", bytes(woz.begin(), woz.begin() + 8),
         woz_error + "(header cut short)\n"},
        {"a WOZ 2 record past the end", patched(woz, 256 + 8 * 3 + 2, {0x00, 0x70}),
         woz_error + "(track 3 record outside the TRKS chunk)\n"},
        {"a WOZ 1 record past the end", patched(woz1, 88 + 4 * 5, {35}),
         woz_error + "(track 5 record outside the TRKS chunk)\n"},
        {"too many bits", patched(woz, 256 + 8 * 2 + 4, {0xFF, 0xFF, 0x00}),
         woz_error + "(track 2: 65535 bits in 13 blocks)\n"},
        {"too many WOZ 1 bits", patched(woz1, 256 + 6656 * 4 + 6648, {0xB1, 0xCF}),
         woz_error + "(track 4: 53169 bits in a record of 6646 bytes)\n"},
        {"2IMG data ending inside track 15", patched(two_img, 28, {0x00, 0xFF, 0}),
         "disk image size error\n" + no_catalog, "error: read '" + path() + "'\n"},
        {"flux with no bit timing", patched(woz, 20 + 39, {0}),
         woz_error + "(INFO bit timing 0)\n"},
        {"a 3.5-inch disk", patched(woz, 21, {2}),
         "3.5-inch disk '" + path() + "': only 5.25-inch disks can be read\n"},
        {"2IMG data past the end", patched(two_img, 28, {1}),
         two_img_error + "(143361 bytes of data at 64, past the end of the file)\n"},
        {"a 13-sector disk", damaged(0, 0, damage_kind::thirteen_sector),
         "13-sector disk '" + path() + "': only 16-sector disks can be read\n"},
        {"a 13-sector track", damaged(5, 0, damage_kind::thirteen_sector), "",
         lost("05/00", "13-sector track\n")},
        {"a bad catalog sector", damaged(17, 15, damage_kind::bad_checksum),
         lost("11/0F", "bad checksum\n") + no_catalog, ""},
        {"a damaged VTOC address", damaged(17, 0, damage_kind::bad_address),
         lost("11/00", "not found\n") + no_catalog, ""},
        {"a missing list sector (HELLO's)", damaged(0x12, 0x0F, damage_kind::no_address),
         lost("12/0F", "not found\ncan't get track/sector list '") + path() + "'\n", ""},
        {"a world sector", damaged(3, 5, damage_kind::bad_byte), "",
         lost("03/05", "bad disk byte\n")},
        {"an address naming sector 16 or more", damaged(3, 0, damage_kind::high_sector), "",
         lost("03/00", "not found\n")},
        {"data for track 0 only", woz_file(image, {2, {}, {0}, {}}),
         lost("11/00", "no data for its track\n") + no_catalog,
         lost("01/00", "no data for its track\n")},
        {"an unread sector", damaged(20, 3, damage_kind::bad_byte), "", ""},
        {"the first sector damaged", damaged(0, 0, damage_kind::bad_checksum), "",
         lost("00/00", "bad checksum\n")},
        {"2IMG of DOS order without a data length (no bytes overlap the comment about them)",
         patched(two_img, 20, {0x18, 1, 0, 0, 64, 0, 0, 0, 0, 0, 0, 0, 60, 0, 0, 0, 10}),
         "disk image size error\n" + no_catalog, "error: read '" + path() + "'\n"},
        {"a missing data field", damaged(3, 5, damage_kind::no_data_field), "",
         lost("03/05", "no data field\n")},
        {"one 13-sector address on a 16-sector track", lone_b5, "", lost("04/05", "not found\n")},
        {"a WOZ 2 track of no blocks", patched(woz, 256 + 8 * 5 + 2, {0, 0}), "",
         lost("05/00", "no data for its track\n")},
        {"a WOZ 2 track of no bits", patched(woz, 256 + 8 * 5 + 4, {0, 0, 0, 0}), "",
         lost("05/00", "no data for its track\n")},
        {"flux filling its blocks",
         patched(woz, 256 + 8 + 4, {0, static_cast<std::uint8_t>(woz[256 + 10] * 2), 0, 0}), "",
         ""},
        {"a CRC of 0: not computed", no_crc, "", ""},
        {"a raw image of a NIB's size without an address field", raw, "", ""},
        {"a NIB whose first ring ends in an address mark", marked_end,
         lost("11/00", "not found\n") + no_catalog, lost("00/00", "not found\n")},
        {"2IMG of nibbles not 35 tracks", two_img_file(bytes(6656), 2),
         two_img_error + "(6656 bytes of nibbles, not 35 tracks)\n"},
        {"2IMG data inside its header", patched(two_img, 24, {63}),
         two_img_error + "(data at 63, inside the 64-byte header)\n"},
        {"2IMG data over its comment", patched(two_img, 32, {0x3F, 0x30, 2, 0, 1}),
         two_img_error + "(143360 bytes of data at 64 overlap the comment)\n"},
        {"2IMG data over its creator data", patched(two_img, 40, {63, 0, 0, 0, 2}),
         two_img_error + "(143360 bytes of data at 64 overlap the creator data)\n"},
        {"2IMG comment of no bytes in the data, creator data at offset 0 (none)",
         patched(two_img, 32, {100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), "", ""},
        {"2IMG comment and creator data beside the data",
         patched(patched(two_img, 32, {0x40, 0x30, 2, 0, 1}), 40, {63, 0, 0, 0, 1}), "", ""},
    };
    for (const std::string id : {"INFO", "TMAP", "TRKS", "FLUX", "META"}) {
        cases.push_back({"a cut in " + id, cut(id.c_str(), 10),
                         woz_error + "(" + id + " chunk runs past the end of the file)\n"});
        bytes unnamed = woz; // renamed: a chunk of no known kind
        unnamed[cut(id.c_str(), 0).size()] = 'x';
        stamp_woz_crc(&unnamed);
        cases.push_back(
            {"no " + id, unnamed, id == "META" ? "" : woz_error + "(no " + id + " chunk)\n"});
    }
    for (const auto& c : cases) {
        const std::string& raw_out = c.raw_out == "=" ? c.open_out : c.raw_out;
        EXPECT_EQ(open_bytes(c.file), c.open_out.empty() ? 0 : -1) << c.name;
        EXPECT_EQ(out, c.open_out) << c.name;
        EXPECT_EQ(read_world(1), raw_out.empty() ? 0 : -1) << c.name;
        EXPECT_EQ(out, raw_out) << c.name;
    }

    // A shape file's data sector (its sixth) is needed only when the file is read.
    ASSERT_EQ(open_bytes(damaged(0x12, 0x06, damage_kind::bad_byte)), 0) << out;
    EXPECT_EQ(read_file("S\x01HP0", 4096), -1);
    EXPECT_EQ(out, lost("12/06", "bad disk byte\n"));
    EXPECT_EQ(read_file("HELLO", 300), 300);
}

#ifdef QARVEX_DEMO
TEST(SurfaceRun, WozNibAnd2imgPairsDrawTheMapOfTheRawPair) {
    const test_support::temp_dir dir;
    ASSERT_EQ(test_support::run_program(QARVEX_DEMO, {dir.path.string()}, dir.path).status, 0);
    const auto raw = test_support::run_qarvex({"-o", "raw.bmp"}, dir.path);
    ASSERT_EQ(raw.status, 0) << raw.out;
    const std::string program = test_support::read_file(dir / "KQboot.dsk"),
                      world = test_support::read_file(dir / "kqvellmara.dsk");
    // What, how it is made from a raw image, and the order asked for (heeded by raw images
    // only). ProDOS-order images come through pipes, both disks: read whole and reordered.
    const std::tuple<const char*, bytes (*)(const bytes&), const char*> formats[] = {
        {"WOZ 2", [](const bytes& b) { return woz_file(b); }, "--po"},
        {"NIB", [](const bytes& b) { return nibble_file(b, nib_track_bytes); }, "--do"},
        {"2IMG", [](const bytes& b) { return two_img_file(b, 0); }, "--po"},
        {"ProDOS order from pipes",
         [](const bytes& b) {
             built_disk d{};
             d.bytes = b;
             return image_bytes(&d, 2);
         },
         "--po"},
    };
    for (const auto& [name, make, order] : formats) {
        for (const auto& [dsk, to] : {std::pair{&program, "program"}, {&world, "world"}})
            ASSERT_EQ(save_bytes(make({dsk->begin(), dsk->end()}), (dir / to).string()), 0);
        const bool piped = std::string(name).find("pipes") != std::string::npos;
        const auto run = test_support::run_qarvex(
            {order, "-d1", piped ? "/dev/stdin" : "program", "-d2", piped ? "/dev/fd/3" : "world",
             "-o", "map.bmp", "--overwrite"},
            dir.path, nullptr,
            piped ? "cat world | { exec 3<&0; cat program | exec \"$0\" \"$@\"; }" : "");
        EXPECT_EQ(run.status, raw.status) << name;
        EXPECT_EQ(run.out, raw.out) << name;
        EXPECT_TRUE(test_support::read_file(dir / "map.bmp") ==
                    test_support::read_file(dir / "raw.bmp"))
            << name;
    }
}
#endif
