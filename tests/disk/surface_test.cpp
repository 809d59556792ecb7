// Disk images other than raw ones: every format decodes to the sectors it was
// made from (each track's ring ending inside a sector), the real files decode
// as floptool reads them, and damaged files give their lines.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "disk/disk_fixture.h"
#include "surfacebuild.h"

namespace {

using bytes = std::vector<std::uint8_t>;

bytes cut(const bytes& b, std::size_t at) {
    return {b.begin(), b.begin() + static_cast<std::ptrdiff_t>(at)};
}

std::size_t find_chunk(const bytes& woz, const char* id) {
    return static_cast<std::size_t>(std::search(woz.begin(), woz.end(), id, id + 4) - woz.begin());
}

// Runs floptool with its arguments (paths quoted); whether it succeeded.
bool floptool(const std::string& arguments) {
    return std::system(("floptool flopconvert " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

bool has_floptool() {
    return std::system("command -v floptool >/dev/null 2>&1") == 0;
}

} // namespace

TEST_F(DiskTest, EveryFormatDecodesToItsSectorsWhateverTheOrderAsked) {
    const bytes image = image_bytes(&sample, 1);
    surface_options woz1;
    woz1.woz_version = 1;
    surface_options flux;
    flux.flux_tracks = {0, 17, 18, 34};
    const auto zero_length = [](bytes two_img) { // then 512-byte blocks say it
        std::fill_n(two_img.begin() + 28, 4, 0);
        return two_img;
    };
    const struct {
        const char* name;
        bytes file;
        int order;               // of the image in memory
        const char* floptool_as; // the format floptool reads it as, if it does
    } kinds[] = {
        {"NIB", nibble_file(image, nib_track_bytes), 1, "a2_nib"},
        {"NB2", nibble_file(image, nb2_track_bytes), 1, nullptr},
        {"WOZ 1", woz_file(image, woz1), 1, "woz"},
        {"WOZ 2", woz_file(image), 1, "woz"},
        {"WOZ 2 with flux tracks", woz_file(image, flux), 1, "woz"},
        {"2IMG of DOS order", two_img_file(image, 0), 1, nullptr},
        {"2IMG of ProDOS order, sized by blocks",
         zero_length(two_img_file(image_bytes(&sample, 2), 1)), 2, nullptr},
        {"2IMG of nibbles", two_img_file(nibble_file(image, nib_track_bytes), 2), 1, nullptr},
    };
    // A raw image of a NIB's size without an address field stays a raw image.
    bytes raw = image;
    raw.resize(35 * nib_track_bytes, 0x96);
    ASSERT_EQ(open_bytes(raw), 0);
    EXPECT_TRUE(disk.decoded == nullptr && bytes(disk.data, disk.data + disk.size) == raw);

    const bool referee = has_floptool();
    for (const auto& kind : kinds) {
        for (const int order : {1, 2, 0}) { // --do and --po change nothing
            ASSERT_EQ(open_bytes(kind.file, order), 0) << kind.name << " " << order << out;
            EXPECT_EQ(out, "") << kind.name;
            EXPECT_EQ(disk.order, kind.order) << kind.name;
            EXPECT_TRUE(bytes(disk.data, disk.data + disk.size) == image_bytes(&sample, kind.order))
                << kind.name << " " << order;
            bytes world(65536);
            EXPECT_EQ(read_disk_raw(path().c_str(), order, world.data(), 65536), 0) << kind.name;
            EXPECT_TRUE(std::equal(world.begin(), world.end(), image.begin())) << kind.name;
        }
        const std::string converted = (dir / "floptool.do").string();
        if (referee && kind.floptool_as != nullptr) {
            std::filesystem::remove(converted); // floptool writes no file that exists
            ASSERT_TRUE(floptool(std::string(kind.floptool_as) + " a2_16sect_dos " +
                                 test_support::shell_quote(path()) + " " +
                                 test_support::shell_quote(converted)))
                << kind.name;
            EXPECT_TRUE(test_support::read_file(converted) ==
                        std::string(image.begin(), image.end()))
                << kind.name << ": floptool reads our file otherwise";
        }
    }
    if (!referee)
        GTEST_SKIP() << "floptool not on PATH; our files were not checked against it";
}

TEST_F(DiskTest, RealFilesDecodeAsFloptoolReadsThem) {
    const auto formats = std::filesystem::path(QARVEX_REAL_DISKS).parent_path() / "disk-formats";
    if (!std::filesystem::is_directory(formats))
        GTEST_SKIP() << "disk format fixtures not found at " << formats << "; skipping";
    const auto fixture = [&](const char* name) { return (formats / name).string(); };
    const auto open_fixture = [&](const std::string& file, int order) {
        release_disk_image(&disk, 0);
        return capture([&] { return open_disk_image(&disk, file.c_str(), order, 0); });
    };

    // floptool reads neither NB2 files nor 2IMG files of 5.25-inch disks: the
    // NB2 System Master is checked against what its README says (every sector
    // decodes; its VTOC and catalog), the 2IMG disk against its data bytes.
    ASSERT_EQ(open_fixture(fixture("dos33-master.nb2"), 2), 0);
    ASSERT_NE(disk.decoded, nullptr);
    EXPECT_EQ(std::count(disk.decoded->state.begin(), disk.decoded->state.end(), sector_good), 560);
    EXPECT_EQ(disk.vtoc.catalog_track * 0x100 + disk.vtoc.catalog_sector, 0x110F);
    EXPECT_EQ(disk.vtoc.release * 0x100 + disk.vtoc.volume, 0x3FE);
    EXPECT_EQ(disk.vtoc.pairs_per_list * 0x10000 + disk.vtoc.tracks_per_disk * 0x100 +
                  disk.vtoc.sectors_per_track,
              122 * 0x10000 + 35 * 0x100 + 16);
    std::vector<std::string> names;
    for (const catalog_sector* c = disk.catalog; c != nullptr; c = c->next)
        for (const file_entry& e : c->entries)
            if (e.sectors != 0)
                names.push_back(std::string(e.name.begin(), e.name.end()) + " " +
                                std::to_string(e.type) + " " + std::to_string(e.sectors));
    ASSERT_EQ(names.size(), 27u);
    const auto named = [](const char* name, int type, int sectors) {
        std::string key(30, '\xA0');
        for (std::size_t i = 0; name[i] != '\0'; ++i)
            key[i] = static_cast<char>(name[i] | 0x80);
        return key + " " + std::to_string(type) + " " + std::to_string(sectors);
    };
    EXPECT_EQ(names[0], named("HELLO", 0x82, 6));
    EXPECT_EQ(names[4], named("APPLEVISION", 0x81, 26));
    EXPECT_EQ(names[26], named("RETRIEVE TEXT", 0x82, 3));

    const std::string two_img = test_support::read_file(fixture("dos33-disk.2mg"));
    ASSERT_EQ(open_fixture(fixture("dos33-disk.2mg"), 2), 0);
    EXPECT_EQ(disk.order, 1);
    EXPECT_TRUE(two_img.substr(64) == std::string(disk.data, disk.data + disk.size));

    if (!has_floptool())
        GTEST_SKIP() << "floptool not on PATH; skipping the WOZ files";
    // The WOZ System Master, and floptool's WOZ of our sample disk.
    const std::string referee = (dir / "referee.do").string();
    const std::string ours = (dir / "ours.woz").string();
    ASSERT_EQ(save_disk(&sample, path(), 1), 0);
    ASSERT_TRUE(floptool("a2_16sect_dos woz " + test_support::shell_quote(path()) + " " +
                         test_support::shell_quote(ours)));
    ASSERT_TRUE(floptool("auto a2_16sect_dos " +
                         test_support::shell_quote(fixture("dos33master_2.woz")) + " " +
                         test_support::shell_quote(referee)));
    for (const auto& [woz, expected] :
         {std::pair{fixture("dos33master_2.woz"), test_support::read_file(referee)},
          std::pair{ours, test_support::read_file(path())}}) {
        ASSERT_EQ(open_fixture(woz, 1), 0) << out;
        EXPECT_TRUE(expected == std::string(disk.data, disk.data + disk.size)) << woz;
        std::string world(65536, '\0');
        EXPECT_EQ(
            read_disk_raw(woz.c_str(), 2, reinterpret_cast<std::uint8_t*>(world.data()), 65536), 0);
        EXPECT_EQ(world, expected.substr(0, 65536)) << woz;
    }
}

TEST_F(DiskTest, DamagedFilesGiveTheirLines) {
    const bytes image = image_bytes(&sample, 1);
    surface_options flux;
    flux.flux_tracks = {1};
    const bytes woz = woz_file(image, flux);
    // Where HELLO's list and the first shape file's sixth data sector are.
    ASSERT_EQ(open_bytes(image), 0);
    const ts_pair hello_list{find_file_entry(&disk, "HELLO")->ts_track,
                             find_file_entry(&disk, "HELLO")->ts_sector};
    const ts_pair shape = find_file_entry(&disk, "S\x01HP0")->ts_chain->pairs[5];
    const auto damaged = [&](std::vector<sector_damage> damage) {
        surface_options options;
        options.damage = std::move(damage);
        return nibble_file(image, nib_track_bytes, options);
    };
    const auto patched = [&](std::size_t at, std::vector<std::uint8_t> with, bool restamp) {
        bytes file = woz;
        std::copy(with.begin(), with.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
        if (restamp)
            stamp_woz_crc(&file);
        return file;
    };
    bytes bad_crc = patched(5000, {0x55}, false);
    char crc_line[80];
    std::snprintf(crc_line, sizeof crc_line, "(CRC-32 %08X, header says %08X)\n",
                  static_cast<unsigned>(crc32_of(bad_crc.data() + 12, bad_crc.size() - 12)),
                  static_cast<unsigned>(crc32_of(woz.data() + 12, woz.size() - 12)));
    const std::size_t flux_at = find_chunk(woz, "FLUX");
    const std::size_t meta_at = find_chunk(woz, "META");
    surface_options woz1;
    woz1.woz_version = 1;
    bytes woz1_past = woz_file(image, woz1);
    woz1_past[88 + 4 * 5] = 35; // track 5 from a record after the last
    stamp_woz_crc(&woz1_past);
    bytes woz1_bits = woz_file(image, woz1);
    woz1_bits[256 + 6656 * 4 + 6648] = 0xB1; // track 4: 6646 * 8 + 1 bits
    woz1_bits[256 + 6656 * 4 + 6649] = 0xCF;
    stamp_woz_crc(&woz1_bits);
    bytes two_img = two_img_file(image, 0);
    two_img[28] = 1; // 143,361 bytes of data
    surface_options world_only;
    for (int t = 0; t < 16; ++t)
        world_only.tracks.push_back(t);

    const std::string woz_error = "WOZ error '%p' ";
    const std::string list_fails = "can't get track/sector list '%p'\n";
    const std::string thirteen = "13-sector disk '%p': only 16-sector disks can be read\n";
    const struct {
        const char* name;
        bytes file;
        std::string open_out; // and the open fails when it is not ""
        std::string raw_out;  // and the raw read of tracks 0-15 fails when it is not ""
    } cases[] = {
        {"a wrong CRC", bad_crc, woz_error + crc_line, woz_error + crc_line},
        {"a cut in INFO", cut(woz, 50), woz_error + "(INFO chunk runs past the end of the file)\n",
         "="},
        {"a cut in TMAP", cut(woz, 150), woz_error + "(TMAP chunk runs past the end of the file)\n",
         "="},
        {"a cut in TRKS' header", cut(woz, 250), woz_error + "(chunk header cut short)\n", "="},
        {"a cut in TRKS", cut(woz, 9000),
         woz_error + "(TRKS chunk runs past the end of the file)\n", "="},
        {"a cut in FLUX", cut(woz, flux_at + 100),
         woz_error + "(FLUX chunk runs past the end of the file)\n", "="},
        {"a cut in META", cut(woz, meta_at + 10),
         woz_error + "(META chunk runs past the end of the file)\n", "="},
        {"a WOZ 2 record past the end", patched(256 + 8 * 3 + 2, {0x00, 0x70}, true),
         woz_error + "(track 3 record outside the TRKS chunk)\n", "="},
        {"a WOZ 1 record past the end", woz1_past,
         woz_error + "(track 5 record outside the TRKS chunk)\n", "="},
        {"too many bits", patched(256 + 8 * 2 + 4, {0xFF, 0xFF, 0x00}, true),
         woz_error + "(track 2: 65535 bits in 13 blocks)\n", "="},
        {"too many WOZ 1 bits", woz1_bits,
         woz_error + "(track 4: 53169 bits in a record of 6646 bytes)\n", "="},
        {"a 3.5-inch disk", patched(21, {2}, true),
         "3.5-inch disk '%p': only 5.25-inch disks can be read\n", "="},
        {"2IMG data past the end", two_img,
         "2IMG error '%p' (143361 bytes of data at 64, past the end of the file)\n", "="},
        {"a 13-sector disk", damaged({{0, 0, damage_kind::thirteen_sector}}), thirteen, thirteen},
        {"a 13-sector track", damaged({{5, 0, damage_kind::thirteen_sector}}), "",
         "can't decode track/sector (05/00) of '%p': 13-sector track\n"},
        {"a bad catalog sector", damaged({{17, 15, damage_kind::bad_checksum}}),
         "can't decode track/sector (11/0F) of '%p': bad checksum\ncan't get catalog '%p'\n", ""},
        {"a missing VTOC", damaged({{17, 0, damage_kind::no_address}}),
         "can't decode track/sector (11/00) of '%p': not found\ncan't get catalog '%p'\n", ""},
        {"a missing list sector",
         damaged({{hello_list.track, hello_list.sector, damage_kind::no_address}}),
         "can't decode track/sector (12/0F) of '%p': not found\n" + list_fails, ""},
        {"a world sector", damaged({{3, 5, damage_kind::bad_byte}}), "",
         "can't decode track/sector (03/05) of '%p': bad disk byte\n"},
        {"a damaged address", damaged({{7, 2, damage_kind::bad_address}}), "",
         "can't decode track/sector (07/02) of '%p': not found\n"},
        {"no catalog track", woz_file(image, world_only),
         "can't decode track/sector (11/00) of '%p': no data for its track\ncan't get catalog "
         "'%p'\n",
         ""},
        {"unread sectors",
         damaged({{20, 3, damage_kind::bad_byte}, {30, 9, damage_kind::no_address}}), "", ""},
    };
    const auto lines = [&](std::string text, const std::string& same) {
        if (text == "=")
            text = same;
        for (std::size_t at; (at = text.find("%p")) != std::string::npos;)
            text.replace(at, 2, path());
        return text;
    };
    for (const auto& c : cases) {
        const std::string open_out = lines(c.open_out, "");
        const std::string raw_out = lines(c.raw_out, open_out);
        EXPECT_EQ(open_bytes(c.file), open_out.empty() ? 0 : -1) << c.name;
        EXPECT_EQ(out, open_out) << c.name;
        bytes world(65536);
        EXPECT_EQ(capture([&] { return read_disk_raw(path().c_str(), 1, world.data(), 65536); }),
                  raw_out.empty() ? 0 : -1)
            << c.name;
        EXPECT_EQ(out, raw_out) << c.name;
    }

    // A shape file's data sector is needed only when the file is read.
    ASSERT_EQ(open_bytes(damaged({{shape.track, shape.sector, damage_kind::bad_byte}})), 0) << out;
    EXPECT_EQ(read_file("S\x01HP0", 4096), -1);
    EXPECT_EQ(out, "can't decode track/sector (12/06) of '" + path() + "': bad disk byte\n");
    EXPECT_EQ(read_file("HELLO", 300), 300);
}

#ifdef QARVEX_DEMO
TEST(SurfaceRun, WozNibAnd2imgPairsDrawTheMapOfTheRawPair) {
    const test_support::temp_dir dir;
    ASSERT_EQ(test_support::run_program(QARVEX_DEMO, {dir.path.string()}, dir.path).status, 0);
    const auto raw = test_support::run_qarvex({"-o", "raw.bmp"}, dir.path);
    ASSERT_EQ(raw.status, 0) << raw.out;
    const auto read = [&](const char* name) {
        const std::string file = test_support::read_file(dir / name);
        return bytes(file.begin(), file.end());
    };
    const bytes program = read("KQboot.dsk");
    const bytes world = read("kqvellmara.dsk");
    surface_options flux;
    flux.flux_tracks = {3, 17};
    const struct {
        const char* name;
        bytes program, world;
        const char* order; // asked for, and not heeded
    } pairs[] = {
        {"WOZ 2", woz_file(program, flux), woz_file(world, flux), "--po"},
        {"NIB", nibble_file(program, nib_track_bytes), nibble_file(world, nib_track_bytes), "--do"},
        {"2IMG", two_img_file(program, 0), two_img_file(world, 0), "--po"},
    };
    for (const auto& pair : pairs) {
        ASSERT_EQ(save_bytes(pair.program, (dir / "program").string()), 0);
        ASSERT_EQ(save_bytes(pair.world, (dir / "world").string()), 0);
        const auto run = test_support::run_qarvex(
            {pair.order, "-d1", "program", "-d2", "world", "-o", "map.bmp", "--overwrite"},
            dir.path);
        EXPECT_EQ(run.status, raw.status) << pair.name;
        EXPECT_EQ(run.out, raw.out) << pair.name;
        EXPECT_TRUE(test_support::read_file(dir / "map.bmp") ==
                    test_support::read_file(dir / "raw.bmp"))
            << pair.name;
    }
}
#endif
