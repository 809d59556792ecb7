// The test disk builder: its formatted disk and its files, byte by byte.
#include <gtest/gtest.h>

#include <vector>

#include "diskbuild.h"

namespace {

std::size_t at(int track, int sector, int byte) {
    return static_cast<std::size_t>(track * 4096 + sector * 256 + byte);
}

} // namespace

TEST(DiskBuild, FormatsVtocAndCatalogChain) {
    built_disk disk;
    start_disk(&disk);
    ASSERT_EQ(disk.bytes.size(), 143360u);
    const std::vector<std::uint8_t> vtoc(disk.bytes.begin() + at(17, 0, 0),
                                         disk.bytes.begin() + at(17, 0, 0x38));
    const std::vector<std::uint8_t> expected_head = {0, 17, 15, 3, 0, 0, 254};
    EXPECT_EQ(std::vector<std::uint8_t>(vtoc.begin(), vtoc.begin() + 7), expected_head);
    EXPECT_EQ(vtoc[0x27], 122);
    EXPECT_EQ(vtoc[0x34], 35);
    EXPECT_EQ(vtoc[0x35], 16);
    EXPECT_EQ(vtoc[0x36], 0);
    EXPECT_EQ(vtoc[0x37], 1);
    for (int s = 15; s >= 1; --s) {
        EXPECT_EQ(disk.bytes[at(17, s, 1)], s > 1 ? 17 : 0) << s;
        EXPECT_EQ(disk.bytes[at(17, s, 2)], s > 1 ? s - 1 : 0) << s;
    }
}

TEST(DiskBuild, AddsFileWithListsAndWritesBothOrders) {
    built_disk disk;
    start_disk(&disk);
    std::vector<std::uint8_t> data(130 * 256 - 4);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + 1);
    ASSERT_EQ(add_file(&disk, "BIG", 0x84, binary_file_contents(0x2000, data)), 0);
    ASSERT_EQ(disk.last_ts_lists.size(), 2u);
    ASSERT_EQ(disk.last_data.size(), 130u);
    EXPECT_EQ(disk.last_ts_lists[0].track, 18);
    EXPECT_EQ(disk.last_ts_lists[0].sector, 15);
    for (const auto& s : disk.last_data)
        EXPECT_GE(s.track, 18);
    const std::size_t entry = at(17, 15, 0x0B);
    EXPECT_EQ(disk.bytes[entry + 0], 18);
    EXPECT_EQ(disk.bytes[entry + 1], 15);
    EXPECT_EQ(disk.bytes[entry + 2], 0x84);
    EXPECT_EQ(disk.bytes[entry + 3], 0xC2); // 'B' | 0x80
    EXPECT_EQ(disk.bytes[entry + 6], 0xA0);
    EXPECT_EQ(disk.bytes[entry + 33], 132);
    const built_sector second = disk.last_ts_lists[1];
    EXPECT_EQ(disk.bytes[at(18, 15, 1)], second.track);
    EXPECT_EQ(disk.bytes[at(18, 15, 2)], second.sector);
    EXPECT_EQ(disk.bytes[at(second.track, second.sector, 5)], 122);
    const built_sector first_data = disk.last_data[0];
    EXPECT_EQ(disk.bytes[at(first_data.track, first_data.sector, 2)], (data.size() & 0xFF));
    EXPECT_EQ(disk.bytes[at(first_data.track, first_data.sector, 4)], data[0]);

    const std::vector<std::uint8_t> dos = image_bytes(&disk, 1);
    const std::vector<std::uint8_t> prodos = image_bytes(&disk, 2);
    EXPECT_EQ(dos, disk.bytes);
    ASSERT_EQ(prodos.size(), dos.size());
    for (int s = 0; s < 16; ++s) {
        const int position = (s == 0 || s == 15) ? s : 15 - s;
        EXPECT_TRUE(std::equal(dos.begin() + at(18, s, 0), dos.begin() + at(18, s, 256),
                               prodos.begin() + at(18, position, 0)))
            << s;
    }
}

TEST(DiskBuild, RefusesWhenDiskOrCatalogIsFull) {
    built_disk disk;
    start_disk(&disk);
    EXPECT_EQ(add_file(&disk, "HUGE", 0x00, std::vector<std::uint8_t>(300 * 256)), -1);
    built_disk names;
    start_disk(&names);
    int added = 0;
    while (add_file(&names, "F" + std::to_string(added), 0x00, {1}) == 0)
        ++added;
    EXPECT_EQ(added, 105); // 15 catalog sectors of 7 entries
}
