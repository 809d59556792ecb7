// Reading files: the name key, header lengths by type, the sector budget, the
// size warning, deleted and missing files, pairs and lists off the image; and
// real disks: the DOS 3.3 System Master in both orders, and a ProDOS disk.
#include <tuple>

#include "disk/disk_fixture.h"

TEST_F(DiskTest, FilesByKeyTypeLengthAndBudget) {
    ASSERT_EQ(open_bytes(image_bytes(&sample, 2), 2), 0);
    EXPECT_EQ(find_file_entry(&disk, "EIGHT"), &disk.catalog->next->entries[0]);
    EXPECT_EQ(find_file_entry(&disk, "hello"), nullptr);
    EXPECT_EQ(find_file_entry(&disk, "S\x01HP0                         more"),
              find_file_entry(&disk, "S\x01HP0")); // compared on the first 30 characters

    const struct {
        const char* name;
        int size;
        int result, length;              // of read_disk_file and get_disk_file_size
        std::vector<std::uint8_t> bytes; // then zeros up to size, then 0xEE untouched
        std::string out;
    } reads[] = {
        {"S\x01HP0", 4096, 4096, 4096, counting_bytes(4096, 2), ""},
        {"S\x01HP0", 253, 253, 4096, counting_bytes(253, 2), // one byte from its second sector
         "file size mismatch 'S\x01HP0' 4096 != 253\n"},
        {"TEXT", 5000, 4096, 16 * 256, counting_bytes(4096, 3), ""},
        {"REL", 0x110, 0x110, 0x110, counting_bytes(0x110, 4), ""},
        {"BIG", 33278, 33278, 33278, counting_bytes(33278, 5), ""},
        {"SEVEN", 9, 1, 1, {7}, "file size mismatch 'SEVEN' 1 != 9\n"},
        {"GONE", 9, -1, -1, {}, ""},
        {"NONE", 0, -1, -1, {}, "file not found 'NONE'\n"}, // writes nothing
    };
    for (const auto& r : reads) {
        EXPECT_EQ(read_file(r.name, r.size), r.result) << r.name;
        EXPECT_EQ(out, r.out) << r.name;
        std::vector<std::uint8_t> expected = r.bytes;
        expected.resize(static_cast<std::size_t>(r.size), 0);
        expected.push_back(0xEE);
        EXPECT_TRUE(got == expected) << r.name << " " << r.size;
        EXPECT_EQ(get_disk_file_size(&disk, r.name, nullptr), r.length) << r.name;
    }
    int sectors = 0;
    EXPECT_EQ(get_disk_file_size(&disk, "S\x01HP0", &sectors), 4096);
    EXPECT_EQ(sectors, 17); // 18 with its T/S list
    // Files of one data sector; one at 0/0 is read like any other.
    EXPECT_EQ(read_file("SEVEN", 1) * 0x100 + got[0], 0x107);
    built_disk first_sector = sample;
    put_last_pair(&first_sector, 0, 0, {0, 0}); // EIGHT's data sector
    ASSERT_EQ(open_bytes(image_bytes(&first_sector, 1)), 0);
    EXPECT_EQ(get_disk_file_size(&disk, "EIGHT", nullptr), 256);
    EXPECT_EQ(read_file("EIGHT", 256), 256);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 256, sample.bytes.begin()));
}

TEST_F(DiskTest, BrokenListsWarnOrStopTheRest) {
    built_disk built;
    start_disk(&built);
    ASSERT_EQ(add_file(&built, "BIG", 0x00, counting_bytes(130 * 256, 1)), 0); // 132 sectors
    put_last_pair(&built, 0, 3, {0x40, 2});
    put_last_pair(&built, 1, 9, {17, 16});   // 132nd pair of the chain: checked
    put_last_pair(&built, 1, 10, {0x40, 0}); // beyond the sector count: not checked
    ASSERT_EQ(add_file(&built, "BAD", 0x00, counting_bytes(9, 2)), 0);
    const built_sector bad = built.last_ts_lists[0];
    ASSERT_EQ(add_file(&built, "LATER", 0x00, counting_bytes(9, 3)), 0);
    put_link(&built, bad, {0x23, 0x0F}); // a second list outside the image
    ASSERT_EQ(open_bytes(built.bytes), 0);
    EXPECT_EQ(out, "illegal track/sector list[00:03] (40/02)\n"
                   "illegal track/sector list[7A:09] (11/10)\n"
                   "illegal track/sector (23/0F)\ncan't get track/sector list '" +
                       path() + "'\n");
    EXPECT_EQ(read_file("BIG", 130 * 256), 3 * 256); // stops before the pair outside the image
    for (const char* name : {"BAD", "LATER"}) {
        EXPECT_EQ(read_file(name, 9), -1) << name;
        EXPECT_EQ(out, "") << name;
    }
}

// clang-format off
constexpr std::tuple<const char*, int, int, int> system_master[] = { // name, type, sectors, length
    {"HELLO", 0x82, 3, 419},         {"APPLESOFT", 0x81, 3, 412},  {"LOADER.OBJ0", 0x84, 6, 1092},
    {"FPBASIC", 0x84, 42, 10240},    {"INTBASIC", 0x84, 42, 10240}, {"MASTER", 0x82, 3, 460},
    {"MASTER CREATE", 0x84, 9, 1791}, {"COPY", 0x81, 9, 1824},      {"COPY.OBJ0", 0x84, 3, 299},
    {"COPYA", 0x82, 9, 1834},        {"CHAIN", 0x84, 3, 453},      {"RENUMBER", 0x82, 14, 3071},
    {"FILEM", 0x82, 3, 430},         {"FID", 0x84, 20, 4687},      {"CONVERT13", 0x82, 3, 439},
    {"MUFFIN", 0x84, 27, 6397},      {"START13", 0x82, 3, 439},    {"BOOT13", 0x84, 7, 1280},
    {"SLOT#", 0x82, 4, 526}};
// clang-format on

TEST_F(DiskTest, RealSystemMasterInBothOrdersAndProdosDisk) {
    const std::filesystem::path real = QARVEX_REAL_DISKS;
    if (!std::filesystem::is_directory(real))
        GTEST_SKIP() << "real disk images not found at " << real
                     << " (the CMake cache variable QARVEX_REAL_DISKS); skipping";
    disk_image po{};
    std::string file; // of the last open
    const auto open_real = [&](disk_image* d, const char* name, int order) {
        file = (real / name).string();
        return capture([&] { return open_disk_image(d, file.c_str(), order, 0); });
    };
    ASSERT_EQ(open_real(&po, "dos33-system-master.po", 2), 0);
    ASSERT_EQ(open_real(&disk, "dos33-system-master.dsk", 0), 0);
    EXPECT_EQ(disk.order, 1); // detected
    EXPECT_EQ(disk.vtoc.volume * 0x100 + disk.vtoc.release, 0x103);
    std::size_t i = 0;
    for (const catalog_sector* c = disk.catalog; c != nullptr; c = c->next) {
        for (const file_entry& e : c->entries) {
            if (e.sectors == 0)
                continue;
            ASSERT_LT(i, std::size(system_master));
            const auto& [name, type, sectors, length] = system_master[i++];
            EXPECT_EQ(find_file_entry(&disk, name), &e) << name;
            EXPECT_EQ(e.type * 0x100 + e.sectors, type * 0x100 + sectors) << name;
            EXPECT_EQ(get_disk_file_size(&po, name, nullptr), length) << name;
            std::vector<std::uint8_t> other(static_cast<std::size_t>(length) + 1, 0xEE);
            EXPECT_EQ(read_disk_file(&po, name, other.data(), length), length) << name;
            EXPECT_EQ(read_file(name, length), length) << name;
            EXPECT_EQ(got, other) << name;
        }
    }
    EXPECT_EQ(i, std::size(system_master));
    release_disk_image(&po, 0);

    EXPECT_EQ(open_real(&po, "prodos-2.4.3.po", 1), -1);
    EXPECT_EQ(out, "can't get catalog '" + file + "'\n");
    release_disk_image(&po, 0);
}
