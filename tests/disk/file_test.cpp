// Reading files: header lengths by type, the sector budget, the size warning,
// deleted files, T/S lists and pairs outside the image, looping list chains.
#include "disk/disk_fixture.h"

TEST_F(DiskTest, BinaryFileOf4096BytesOver18Sectors) {
    built_disk built;
    start_disk(&built);
    const std::vector<std::uint8_t> data = counting_bytes(4096);
    ASSERT_EQ(add_file(&built, "SHP", 0x84, binary_file_contents(0x4000, data)), 0); // locked
    ASSERT_EQ(open_built(built, 2), 0);
    ASSERT_EQ(find_file_entry(&disk, "SHP")->sectors, 18);
    int rc = 0;
    std::vector<std::uint8_t> got = read_file("SHP", 4096, &rc);
    EXPECT_EQ(rc, 4096);
    EXPECT_EQ(out, "");
    EXPECT_TRUE(std::equal(data.begin(), data.end(), got.begin()));
    EXPECT_EQ(got[4096], 0xEE);
    got = read_file("SHP", 2048, &rc);
    EXPECT_EQ(rc, 2048);
    EXPECT_EQ(out, "file size mismatch 'SHP' 4096 != 2048\n");
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 2048, got.begin()));
    EXPECT_EQ(got[2048], 0xEE);
    int sectors = 0;
    EXPECT_EQ(get_disk_file_size(&disk, "SHP", &sectors), 4096);
    EXPECT_EQ(sectors, 17);
    got = read_file("NOPE", 10, &rc);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(out, "file not found 'NOPE'\n");
    EXPECT_EQ(got[0], 0xEE);
}

TEST_F(DiskTest, HeaderLengthsBudgetAndSeveralLists) {
    built_disk built;
    start_disk(&built);
    const std::vector<std::uint8_t> text = counting_bytes(4096 + 300);
    ASSERT_EQ(add_file(&built, "TEXT", 0x00, text), 0);
    put_last_sectors(&built, 17); // one list and 16 data sectors: the budget ends the read
    std::vector<std::uint8_t> relocatable = {0, 0, 0x10, 0x01, 0, 0}; // length 0x110
    const std::vector<std::uint8_t> body = counting_bytes(0x110, 3);
    relocatable.insert(relocatable.end(), body.begin(), body.end());
    ASSERT_EQ(add_file(&built, "REL", 0x10, relocatable), 0);
    const std::vector<std::uint8_t> big = counting_bytes(130 * 256 - 2, 5); // two T/S lists
    ASSERT_EQ(add_file(&built, "BIG", 0x01, basic_file_contents(big)), 0);
    ASSERT_EQ(open_built(built), 0);
    int rc = 0;
    std::vector<std::uint8_t> got = read_file("TEXT", 5000, &rc);
    EXPECT_EQ(rc, 4096);
    EXPECT_EQ(out, "");
    EXPECT_TRUE(std::equal(text.begin(), text.begin() + 4096, got.begin()));
    EXPECT_EQ(got[4096], 0);
    EXPECT_EQ(get_disk_file_size(&disk, "TEXT", nullptr), 16 * 256);
    got = read_file("REL", 0x110, &rc);
    EXPECT_EQ(rc, 0x110);
    EXPECT_TRUE(std::equal(body.begin(), body.end(), got.begin()));
    got = read_file("BIG", static_cast<int>(big.size()), &rc);
    EXPECT_EQ(rc, static_cast<int>(big.size()));
    EXPECT_TRUE(std::equal(big.begin(), big.end(), got.begin()));
    got = read_file("BIG", 0, &rc);
    EXPECT_EQ(rc, 0);
}

TEST_F(DiskTest, DeletedFilesAndListOutsideImage) {
    built_disk built;
    start_disk(&built);
    ASSERT_EQ(add_file(&built, "GONE", 0x04, binary_file_contents(0, counting_bytes(9))), 0);
    delete_last_file(&built);
    ASSERT_EQ(add_file(&built, "GOOD", 0x00, counting_bytes(9)), 0);
    ASSERT_EQ(add_file(&built, "BAD", 0x00, counting_bytes(9)), 0);
    put_raw(&built,
            built.last_entry.track * 4096u + built.last_entry.sector * 256u +
                built.last_entry_offset,
            {0x23, 0x0F});
    ASSERT_EQ(add_file(&built, "LATER", 0x00, counting_bytes(9)), 0);
    ASSERT_EQ(open_built(built), 0);
    EXPECT_EQ(out, "illegal track/sector (23/0F)\ncan't get track/sector list '" + path() + "'\n");
    int rc = 0;
    for (const char* name : {"GONE", "BAD", "LATER"}) {
        read_file(name, 9, &rc);
        EXPECT_EQ(rc, -1) << name;
        EXPECT_EQ(out, "") << name;
        EXPECT_EQ(get_disk_file_size(&disk, name, nullptr), -1) << name;
    }
    read_file("GOOD", 9, &rc);
    EXPECT_EQ(rc, 9);
}

TEST_F(DiskTest, PairsOutsideImageWarnOnlyWithinSectorCount) {
    built_disk built;
    start_disk(&built);
    ASSERT_EQ(add_file(&built, "BIG", 0x00, counting_bytes(130 * 256)), 0); // 132 sectors
    put_last_pair(&built, 0, 3, {0x40, 2});
    put_last_pair(&built, 1, 9, {17, 16});   // 132nd pair of the chain: checked
    put_last_pair(&built, 1, 10, {0x40, 0}); // beyond the sector count: not checked
    ASSERT_EQ(open_built(built), 0);
    EXPECT_EQ(
        out,
        "illegal track/sector list[00:03] (40/02)\nillegal track/sector list[7A:09] (11/10)\n");
    int rc = 0;
    read_file("BIG", 130 * 256, &rc);
    EXPECT_EQ(rc, 3 * 256); // the read stops before the pair outside the image
}

TEST_F(DiskTest, LoopingListChainIsCut) {
    built_disk built;
    start_disk(&built);
    ASSERT_EQ(add_file(&built, "LOOP", 0x00, counting_bytes(300)), 0);
    put_link(&built, built.last_ts_lists[0], built.last_ts_lists[0]);
    ASSERT_EQ(add_file(&built, "AFTER", 0x00, counting_bytes(300)), 0);
    ASSERT_EQ(open_built(built), 0);
    EXPECT_EQ(out,
              "track/sector list too long (12/0F)\ncan't get track/sector list '" + path() + "'\n");
    int rc = 0;
    read_file("LOOP", 300, &rc);
    EXPECT_EQ(rc, -1);
}
