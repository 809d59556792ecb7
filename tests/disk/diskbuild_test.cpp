// The test disk builder's formatted disk, byte by byte, and its limits.
#include <gtest/gtest.h>

#include "diskbuild.h"

TEST(DiskBuild, FormatsVtocAndCatalogChainAndKnowsItsLimits) {
    built_disk disk;
    start_disk(&disk);
    ASSERT_EQ(disk.bytes.size(), 143360u);
    const std::uint8_t* vtoc = &disk.bytes[17 * 4096];
    const std::vector<std::uint8_t> head(vtoc, vtoc + 7);
    EXPECT_EQ(head, (std::vector<std::uint8_t>{0, 17, 15, 3, 0, 0, 254}));
    EXPECT_EQ(vtoc[0x27] * 0x1000000 + vtoc[0x34] * 0x10000 + vtoc[0x35] * 0x100 + vtoc[0x37],
              0x7A231001);
    for (int s = 15; s >= 1; --s) {
        EXPECT_EQ(vtoc[s * 256 + 1], s > 1 ? 17 : 0) << s;
        EXPECT_EQ(vtoc[s * 256 + 2], s > 1 ? s - 1 : 0) << s;
    }
    EXPECT_EQ(add_file(&disk, "HUGE", 0x00, std::vector<std::uint8_t>(300 * 256)), -1);
    int added = 0;
    while (add_file(&disk, "F" + std::to_string(added), 0x00, {1}) == 0)
        ++added;
    EXPECT_EQ(added, 105); // 15 catalog sectors of 7 entries
}
