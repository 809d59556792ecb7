// Reading files: the name key, header lengths by type, the sector budget, the
// size warning, deleted and missing files, and pairs and lists outside the image.
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
        {"S\x01HP0", 2048, 2048, 4096, counting_bytes(2048, 2),
         "file size mismatch 'S\x01HP0' 4096 != 2048\n"},
        {"TEXT", 5000, 4096, 16 * 256, counting_bytes(4096, 3), ""},
        {"REL", 0x110, 0x110, 0x110, counting_bytes(0x110, 4), ""},
        {"BIG", 33278, 33278, 33278, counting_bytes(33278, 5), ""},
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
