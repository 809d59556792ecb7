// Loading images: the sector maps and address rule, the size rule, the
// failures of the open, order detection and the release of the record.
#include <cstdlib>
#include <cstring>

#include "disk/disk_fixture.h"
#include "disk/disk_internal.h"

TEST(SectorMap, ProdosMapIsSelfInversePermutationKeepingEnds) {
    for (int s = 0; s < 16; ++s) {
        EXPECT_EQ(dos_sector_map[s], s);
        EXPECT_EQ(prodos_sector_map[prodos_sector_map[s]], s);
        EXPECT_EQ(prodos_sector_map[s], (s == 0 || s == 15) ? s : 15 - s);
    }
    disk_image d{};
    d.size = 143360 + 100;
    d.sector_map = &dos_sector_map;
    EXPECT_EQ(locate_sector(&d, 1, 1), 4352);
    EXPECT_EQ(locate_sector(&d, 17, 0), 69632);
    EXPECT_EQ(locate_sector(&d, 17, 15), 73472);
    EXPECT_EQ(locate_sector(&d, 35, 0), -1); // 100 bytes of track 35 are not a sector
    EXPECT_EQ(locate_sector(&d, 1, 16), -1);
    d.sector_map = &prodos_sector_map;
    EXPECT_EQ(locate_sector(&d, 1, 1), 7680);
    EXPECT_EQ(locate_sector(&d, 17, 15), 73472);
}

TEST_F(DiskTest, SizeRuleAndOpenFailures) {
    built_disk built;
    start_disk(&built);
    std::vector<std::uint8_t> image = image_bytes(&built, 1);
    EXPECT_EQ(open_bytes({image.begin(), image.begin() + 73727}), -1);
    EXPECT_EQ(out, "disk image size error\ncan't get catalog '" + path() + "'\n");
    EXPECT_EQ(open_bytes({image.begin(), image.begin() + 73728}), 0);
    EXPECT_EQ(disk.tracks, 18);
    EXPECT_EQ(catalog_length(), 15);
    image.resize(143360 + 100, 0x55);
    EXPECT_EQ(open_bytes(image), 0);
    EXPECT_EQ(disk.tracks, 35);
    EXPECT_EQ(out, "");
    EXPECT_EQ(open_bytes({}), -1);
    EXPECT_EQ(out, "read error '" + path() + "'\n");

    release_disk_image(&disk, 0);
    const std::string missing = (dir / "missing.dsk").string();
    testing::internal::CaptureStdout();
    EXPECT_EQ(open_disk_image(&disk, missing.c_str(), 2, 0), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "open error '" + missing + "'\n");
    disk_image expected{};
    std::memset(&expected, 0, sizeof expected);
    expected.order = 2;
    expected.sector_map = &dos_sector_map;
    EXPECT_EQ(std::memcmp(&disk, &expected, sizeof disk), 0);
}

TEST_F(DiskTest, ReleaseLeavesZeroRecordOrFreesIt) {
    built_disk built;
    start_disk(&built);
    ASSERT_EQ(add_file(&built, "A", 0x04, binary_file_contents(0x800, counting_bytes(600))), 0);
    ASSERT_EQ(open_built(built), 0);
    release_disk_image(&disk, 0);
    const disk_image zero = [] {
        disk_image z;
        std::memset(&z, 0, sizeof z);
        return z;
    }();
    EXPECT_EQ(std::memcmp(&disk, &zero, sizeof disk), 0);
    release_disk_image(&disk, 0);
    auto* heap = static_cast<disk_image*>(std::calloc(1, sizeof(disk_image)));
    ASSERT_EQ(open_disk_image(heap, path().c_str(), 1, 0), 0);
    release_disk_image(heap, 1); // the sanitizer run checks that nothing leaks
}

TEST_F(DiskTest, OrderDetectionAndOrderGivenAsIs) {
    // Catalog 17/15 -> 17/14; logical 17/1, outside the chain, links to a bad
    // track, so reading a ProDOS-order image with the DOS map fails.
    built_disk built;
    start_disk(&built);
    place_catalog(&built, {{17, 15}, {17, 14}});
    put_link(&built, {17, 1}, {0x40, 0});
    ASSERT_EQ(add_file(&built, "F", 0x00, counting_bytes(300)), 0);
    EXPECT_EQ(open_bytes(image_bytes(&built, 1), 0), 0);
    EXPECT_EQ(disk.order, 1);
    EXPECT_EQ(open_bytes(image_bytes(&built, 2), 7), 0);
    EXPECT_EQ(disk.order, 2);
    EXPECT_EQ(disk.sector_map, &prodos_sector_map);
    EXPECT_NE(find_file_entry(&disk, "F"), nullptr);
    EXPECT_EQ(open_bytes(image_bytes(&built, 1), 2), -1);
    EXPECT_EQ(out, "can't get catalog '" + path() + "'\n");
    put_link(&built, {17, 15}, {0x40, 0});
    EXPECT_EQ(open_bytes(image_bytes(&built, 1), 0), -1);
    EXPECT_EQ(out, "can't get catalog '" + path() + "'\n");
    EXPECT_EQ(disk.order, 0);
    EXPECT_EQ(disk.sector_map, &dos_sector_map);
}
