// Chains on a hostile program disk: T/S list chains that run through every
// sector of the disk or loop back into themselves, catalog loops at every
// position in every order the tool can be given, and pairs outside the image,
// each followed from the disk layer up to the run's last line.
#include <cstdio>

#include "disk/disk.h"
#include "hostile_fixture.h"

using namespace hostile;

namespace {

struct opened {
    int result;
    std::string out;
    std::string file_out;  // what reading shape file 0 printed
    int file_result;
};

// Opens the image from a file in dir and reads shape file 0 when it opens.
opened open_and_read(const test_support::temp_dir& dir, const bytes& image, int order,
                     int cut_loops = 0) {
    const std::string path = (dir / "disk.dsk").string();
    test_support::write_file(dir / "disk.dsk", image);
    disk_image disk{};
    opened o{};
    testing::internal::CaptureStdout();
    o.result = open_disk_image(&disk, path.c_str(), order, cut_loops);
    o.out = testing::internal::GetCapturedStdout();
    if (o.result == 0) {
        bytes buffer(4096);
        testing::internal::CaptureStdout();
        o.file_result = read_disk_file(&disk, shape0.c_str(), buffer.data(), 4096);
        o.file_out = testing::internal::GetCapturedStdout();
    }
    release_disk_image(&disk, 0);
    return o;
}

// Every sector of tracks 1 to 34 but the catalog track 17, tracks in order
// and sectors 0 to 15 within each: 528 sectors. (A link to track 0 ends a
// chain, so track 0 can't be on one.)
std::vector<built_sector> every_sector_chain() {
    std::vector<built_sector> chain;
    for (int t = 1; t <= 34; ++t)
        for (int s = 0; s < 16 && t != 17; ++s) chain.push_back({t, s});
    return chain;
}

// The good program disk with shape file 0's T/S list chain replaced by one
// through every sector off the catalog track. Their data pairs are the zero
// bytes of those sectors, naming track 0 sector 0, which records a binary
// file of 4096 bytes.
built_disk disk_with_list_through_every_sector() {
    built_disk disk = program_disk();
    const std::vector<built_sector> chain = every_sector_chain();
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) put_link(&disk, chain[i], chain[i + 1]);
    put_sector_byte(&disk, 0, 0, 3, 0x10);
    // Shape file 0 is the first entry of catalog sector 17/15.
    put_sector_byte(&disk, 17, 15, 0x0B, 1);
    put_sector_byte(&disk, 17, 15, 0x0C, 0);
    return disk;
}

}  // namespace

TEST(ListChains, AChainThroughEverySectorIsReadAndOneLoopingBackIsCut) {
    test_support::temp_dir dir;
    built_disk disk = disk_with_list_through_every_sector();
    for (int order : {1, 2, 0}) {
        const opened o = open_and_read(dir, image_bytes(&disk, order == 2 ? 2 : 1), order);
        ASSERT_EQ(o.result, 0) << order;
        EXPECT_EQ(o.out, "") << order;  // 528 lists, all inside the image
        EXPECT_EQ(o.file_result, 4096) << order;
        EXPECT_EQ(o.file_out, "") << order;
    }
    // The chain's end, 34/15, now leads back to its start: 560 lists, as many
    // as the image has sectors, are read before it counts as a loop.
    put_link(&disk, {34, 15}, {1, 0});
    const std::string path = (dir / "disk.dsk").string();
    for (int order : {1, 2}) {
        const opened o = open_and_read(dir, image_bytes(&disk, order), order);
        ASSERT_EQ(o.result, 0) << order;
        EXPECT_EQ(o.out, "track/sector list too long (03/00)\ncan't get track/sector list '" +
                             path + "'\n")
            << order;
        EXPECT_EQ(o.file_result, -1);
        EXPECT_EQ(o.file_out, "");
    }
}

TEST(ListChains, ALoopBackToAnEarlierListOfTheFileIsCut) {
    test_support::temp_dir dir;
    built_disk disk{};
    start_disk(&disk);
    // 250 data sectors: three T/S lists; the third links back to the second.
    ASSERT_EQ(add_file(&disk, shape0, 0x00, bytes(250 * 256, 1)), 0);
    ASSERT_EQ(disk.last_ts_lists.size(), 3u);
    put_link(&disk, disk.last_ts_lists[2], disk.last_ts_lists[1]);
    const opened o = open_and_read(dir, image_bytes(&disk, 1), 1);
    ASSERT_EQ(o.result, 0);
    EXPECT_NE(o.out.find("track/sector list too long"), std::string::npos);
    EXPECT_EQ(o.out.substr(o.out.find('\n') + 1),
              "can't get track/sector list '" + (dir / "disk.dsk").string() + "'\n");
    EXPECT_EQ(o.file_result, -1);
}

TEST(CatalogLoops, EveryLoopPositionInProdosOrderAndWhenDetecting) {
    test_support::temp_dir dir;
    for (int k = 15; k >= 1; --k) {
        for (int j = 15; j >= k; --j) {
            built_disk disk = program_disk();
            put_link(&disk, {17, k}, {17, j});
            const std::string where = std::to_string(k) + "->" + std::to_string(j);
            const std::string catalog_line = "can't get catalog '" + (dir / "disk.dsk").string() + "'\n";
            // ProDOS order as given: the loop fails the open, or is cut.
            const bytes prodos = image_bytes(&disk, 2);
            const opened failed = open_and_read(dir, prodos, 2, 0);
            EXPECT_EQ(failed.result, -1) << where;
            EXPECT_EQ(failed.out, catalog_line) << where;
            const opened cut = open_and_read(dir, prodos, 2, 1);
            EXPECT_EQ(cut.result, 0) << where;
            EXPECT_EQ(cut.file_result, 4096) << where;
            // Detecting, on a DOS-order image: with loops cut the DOS map
            // wins; failing them, the ProDOS map is tried next and reads the
            // catalog from other sectors of track 17, whatever they hold.
            const bytes dos = image_bytes(&disk, 1);
            EXPECT_EQ(open_and_read(dir, dos, 0, 1).file_result, 4096) << where;
            const opened detected = open_and_read(dir, dos, 0, 0);
            if (detected.result != 0) {
                EXPECT_EQ(detected.out, catalog_line) << where;
            }
        }
    }
}

TEST(CatalogLoops, TheToolRefusesALoopingCatalogInBothOrders) {
    for (const built_sector& loop : {built_sector{17, 15}, built_sector{17, 9}, built_sector{17, 1}}) {
        for (const char* order : {"--do", "--po"}) {
            tool_dir run;
            built_disk disk = program_disk();
            put_link(&disk, {17, loop.sector == 15 ? 15 : 1}, loop);
            save_disk(&disk, run.path("KQboot.dsk"), order[2] == 'p' ? 2 : 1);
            const auto result = run.run({order});
            EXPECT_EQ(result.status, 1);
            EXPECT_EQ(result.out, shapes_failed("can't get catalog 'KQboot.dsk'\n"
                                                "error: read disk image 'KQboot.dsk'\n"))
                << order << " " << loop.sector;
            EXPECT_EQ(result.err, "");
            EXPECT_FALSE(std::filesystem::exists(run.dir / "kq.Vellmarra.bmp"));
        }
    }
}

TEST(ListChains, TheToolReportsBrokenShapeFilesAndWritesNothing) {
    struct damage {
        const char* what;
        built_disk disk;
        std::string lines;
    };
    std::vector<damage> cases;
    {
        built_disk disk = program_disk();  // shape file 1's list links to itself
        put_link(&disk, disk.last_ts_lists[0], disk.last_ts_lists[0]);
        char lines[64];
        std::snprintf(lines, sizeof lines, "track/sector list too long (%02X/%02X)\n",
                      disk.last_ts_lists[0].track, disk.last_ts_lists[0].sector);
        cases.push_back({"looping list", disk,
                         std::string(lines) + "can't get track/sector list 'KQboot.dsk'\n"
                                              "error: can't get file 'KQboot.dsk/" + shape1 + "'\n"});
    }
    {
        built_disk disk = program_disk();  // data pair 5 of shape file 1 off the disk
        put_last_pair(&disk, 0, 5, {0x40, 3});
        cases.push_back({"pair off the disk", disk,
                         "illegal track/sector list[00:05] (40/03)\n"
                         "error: read file 'KQboot.dsk/" + shape1 + "'\n"});
    }
    {
        built_disk disk = program_disk();  // first data pair names sector 16
        put_last_pair(&disk, 0, 0, {18, 16});
        cases.push_back({"sector 16", disk,
                         "illegal track/sector list[00:00] (12/10)\n"
                         "error: read file 'KQboot.dsk/" + shape1 + "'\n"});
    }
    for (const char* order : {"--do", "--po"}) {
        for (const damage& d : cases) {
            tool_dir run;
            save_disk(&d.disk, run.path("KQboot.dsk"), order[2] == 'p' ? 2 : 1);
            const auto result = run.run({order, "--overwrite"});
            EXPECT_EQ(result.status, 1) << d.what;
            EXPECT_EQ(result.out, shapes_failed(d.lines)) << d.what << " " << order;
            EXPECT_FALSE(std::filesystem::exists(run.dir / "kq.Vellmarra.bmp")) << d.what;
        }
    }
}

// A 140 KiB image whose catalog runs through every sector off track 17, each
// of its 3,703 entries with a T/S list chain through the same 528 sectors:
// every chain stays under the bound of one chain, and only the bound on the
// lists of the whole disk keeps them from making two million list records,
// half a GiB, out of one small file. Under a limit of 256 MiB the run ends
// without running out of memory.
TEST(ListChains, ListsOfEveryEntryTogetherAreBoundedByTheDisk) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "a virtual memory limit can't be set under AddressSanitizer; skipping";
#endif
    tool_dir run;
    bytes image(143360, 0);
    std::vector<built_sector> chain = {{17, 15}};
    for (const built_sector& s : every_sector_chain()) chain.push_back(s);
    image[17 * 4096 + 1] = 17;  // VTOC: catalog at 17/15
    image[17 * 4096 + 2] = 15;
    for (std::size_t i = 0; i < chain.size(); ++i) {
        std::uint8_t* sector = &image[static_cast<std::size_t>(chain[i].track * 16 + chain[i].sector) * 256];
        if (i + 1 < chain.size()) {
            sector[1] = static_cast<std::uint8_t>(chain[i + 1].track);
            sector[2] = static_cast<std::uint8_t>(chain[i + 1].sector);
        }
        for (int e = 0; e < 7; ++e) {
            std::uint8_t* entry = sector + 0x0B + 35 * e;
            entry[0] = 1;  // T/S list at 1/0, the catalog's second sector
            entry[2] = 0x04;
            for (int k = 0; k < 30; ++k) entry[3 + k] = k == 0 ? 0xC1 + e : 0xA0;
            entry[33] = 1;
        }
    }
    test_support::write_file(run.dir / "KQboot.dsk", image);
    const std::string command = "ulimit -v 262144; cd " + test_support::shell_quote(run.dir.path.string()) +
                                " && " + test_support::shell_quote(QARVEX_BINARY) +
                                " </dev/null >out.txt 2>&1";
    const int raw = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1);
    const std::string out = test_support::read_file(run.dir / "out.txt");
    EXPECT_EQ(out.find("memory exhaust!"), std::string::npos) << out;
    EXPECT_NE(out.find("error: read shapes from disk image\n"), std::string::npos) << out;
}
