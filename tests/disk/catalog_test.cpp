// The catalog walk: chains over several sectors and placed anywhere, link
// limits, every loop position in both modes, and the 30-byte name key.
#include <array>
#include <cstring>

#include "disk/disk_fixture.h"

TEST_F(DiskTest, CatalogOverSeveralSectorsAnywhere) {
    built_disk built;
    start_disk(&built);
    place_catalog(&built, {{17, 15}, {34, 2}, {1, 0}});
    for (int i = 0; i < 17; ++i)
        ASSERT_EQ(add_file(&built, "FILE" + std::to_string(i), 0x00, counting_bytes(10)), 0);
    ASSERT_EQ(open_built(built), 0);
    ASSERT_EQ(catalog_length(), 3);
    EXPECT_EQ(disk.catalog->next->entries[6].name[4], '1' | 0x80); // FILE13
    EXPECT_EQ(disk.catalog->next->next->entries[0].name[5], '4' | 0x80);
    for (int i = 0; i < 17; ++i)
        EXPECT_NE(find_file_entry(&disk, ("FILE" + std::to_string(i)).c_str()), nullptr);
    EXPECT_EQ(disk.vtoc.volume, 254);
    EXPECT_EQ(disk.vtoc.bytes_per_sector, 256);
}

TEST_F(DiskTest, CatalogLinkLimits) {
    struct link_case {
        built_sector link;
        int result;
    };
    const link_case cases[] = {
        {{0, 5}, 0}, {{0x31, 0}, -1}, {{0x32, 0}, -1}, {{17, 16}, -1}, {{34, 15}, 0}};
    for (const link_case& c : cases) {
        built_disk built;
        start_disk(&built);
        put_link(&built, {17, 14}, c.link);
        EXPECT_EQ(open_built(built), c.result) << c.link.track << "/" << c.link.sector;
        EXPECT_EQ(out, c.result == 0 ? "" : "can't get catalog '" + path() + "'\n");
    }
    EXPECT_EQ(catalog_length(), 3); // 17/15, 17/14 and 34/15, an empty sector ending it
}

TEST_F(DiskTest, EveryLoopPositionBothModes) {
    // The formatted chain 17/15 ... 17/1; sector number k links back to j. A
    // first sector linking to itself is read twice; its entries are found in
    // the first copy.
    for (int k = 15; k >= 1; --k) {
        for (int j = 15; j >= k; --j) {
            built_disk built;
            start_disk(&built);
            put_link(&built, {17, k}, {17, j});
            add_file(&built, "HELLO", 0x02, basic_file_contents(counting_bytes(40)));
            const std::string where = std::to_string(k) + "->" + std::to_string(j);
            EXPECT_EQ(open_built(built, 1, 0), -1) << where;
            EXPECT_EQ(disk.catalog, nullptr) << where;
            ASSERT_EQ(open_built(built, 1, 1), 0) << where;
            const bool first_to_itself = k == 15 && j == 15;
            EXPECT_EQ(catalog_length(), first_to_itself ? 2 : 16 - k) << where;
            EXPECT_EQ(find_file_entry(&disk, "HELLO"), &disk.catalog->entries[0]) << where;
            const catalog_sector* last = disk.catalog;
            while (last->next != nullptr)
                last = last->next;
            EXPECT_EQ(last->next_track, 0);
            EXPECT_EQ(last->next_sector, 0);
        }
    }
}

TEST_F(DiskTest, NameKeyBytes) {
    built_disk built;
    start_disk(&built);
    const std::string long_name = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123"; // 30 characters
    for (const std::string& name : {std::string("HELLO"), std::string("S\x01HP0"), long_name})
        ASSERT_EQ(add_file(&built, name, 0x04, binary_file_contents(0, {1})), 0);
    ASSERT_EQ(open_built(built), 0);
    std::array<std::uint8_t, 30> hello{};
    hello.fill(0xA0);
    std::memcpy(hello.data(), "\xC8\xC5\xCC\xCC\xCF", 5);
    std::array<std::uint8_t, 30> shape = hello;
    std::memcpy(shape.data(), "\xD3\x81\xC8\xD0\xB0", 5);
    ASSERT_NE(find_file_entry(&disk, "HELLO"), nullptr);
    EXPECT_EQ(find_file_entry(&disk, "HELLO")->name, hello);
    ASSERT_NE(find_file_entry(&disk, "S\x01HP0"), nullptr);
    EXPECT_EQ(find_file_entry(&disk, "S\x01HP0")->name, shape);
    EXPECT_EQ(find_file_entry(&disk, "hello"), nullptr);
    EXPECT_EQ(find_file_entry(&disk, "HELL"), nullptr);
    EXPECT_NE(find_file_entry(&disk, (long_name + "IGNORED").c_str()), nullptr);
}
