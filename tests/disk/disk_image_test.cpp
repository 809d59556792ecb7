// Opening images and releasing them, the catalog walk's link limits and loops,
// and the sector orders: detection and the raw read.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numeric>

#include "disk/disk_fixture.h"

TEST_F(DiskTest, SizeRuleOpenFailuresAndRelease) {
    std::vector<std::uint8_t> image = image_bytes(&sample, 1);
    EXPECT_EQ(open_bytes({image.begin(), image.begin() + 73727}), -1);
    EXPECT_EQ(out, "disk image size error\ncan't get catalog '" + path() + "'\n");
    EXPECT_EQ(open_bytes({}), -1);
    EXPECT_EQ(out, "read error '" + path() + "'\n");
    EXPECT_EQ(open_bytes({image.begin(), image.begin() + 73728}), 0);
    EXPECT_EQ(out, "illegal track/sector (12/0F)\ncan't get track/sector list '" + path() + "'\n");
    image.resize(143360 + 100, 0x55);
    EXPECT_EQ(open_bytes(image), 0);
    EXPECT_EQ(out, "");

    static const disk_image zero{}; // padding included
    release_disk_image(&disk, 0);
    EXPECT_EQ(std::memcmp(&disk, &zero, sizeof disk), 0);
    release_disk_image(&disk, 0); // harmless on the empty record
    EXPECT_EQ(capture([&] { return open_disk_image(&disk, "", 1, 0); }), -1);
    EXPECT_EQ(out, "open error ''\n");
    auto* heap = static_cast<disk_image*>(std::calloc(1, sizeof(disk_image)));
    ASSERT_EQ(open_disk_image(heap, path().c_str(), 1, 0), 0);
    release_disk_image(heap, 1); // the sanitizer run checks that nothing leaks

    // A file larger than any disk's image is refused unread; a directory can't be sized.
    std::filesystem::resize_file(path(), 2147483647);
    EXPECT_EQ(read_world(1), -1);
    EXPECT_EQ(out,
              "disk image too large '" + path() + "' (2147483647 bytes, more than 41944576)\n");
    std::filesystem::resize_file(path(), 41944576);
    EXPECT_EQ(read_world(1), 0);
    EXPECT_EQ(capture([&] { return open_disk_image(&disk, dir.path.c_str(), 1, 0); }), -1);
    EXPECT_EQ(out, "seek error '" + dir.path.string() + "' (SEEK_END)\n");
}

TEST_F(DiskTest, EveryBitOfTheCatalogSectorFlippedGivesALineOrTheCatalog) {
    std::vector<std::uint8_t> image = image_bytes(&sample, 1);
    int silent = 0;
    for (int bit = 0; bit < 256 * 8; ++bit) {
        const auto at = static_cast<std::size_t>((17 * 16 + 15) * 256 + bit / 8);
        const auto flip = [&] { image[at] = static_cast<std::uint8_t>(image[at] ^ 1 << bit % 8); };
        flip();
        silent += open_bytes(image) < 0 && out.empty() ? 1 : 0;
        flip();
    }
    EXPECT_EQ(silent, 0);
}

TEST_F(DiskTest, CatalogLinkLimitsAndEveryLoopPosition) {
    // The VTOC's fields at their places: a VTOC whose bytes are their own
    // offsets; so too the unused bytes of the first catalog sector and HELLO's list.
    built_disk built = sample;
    const auto own_offsets = [&](int sector, int from, int to) {
        const auto at = built.bytes.begin() + sector * 256;
        std::iota(at + from, at + to, static_cast<std::uint8_t>(from));
    };
    const std::size_t hello = (17 * 16 + 15) * 256 + 0x0B; // its entry names its list
    own_offsets(17 * 16, 0, 256);
    own_offsets(17 * 16 + 15, 3, 11);
    own_offsets(built.bytes[hello] * 16 + built.bytes[hello + 1], 3, 12);
    ASSERT_EQ(open_bytes(built.bytes), 0);
    const catalog_sector& first = *disk.catalog;
    const ts_list& l = *first.entries[0].ts_chain;
    EXPECT_EQ(
        std::vector<int>({first.reserved_03[0], first.reserved_03[7], l.reserved_03[0],
                          l.reserved_03[1], l.sector_offset, l.reserved_07[0], l.reserved_07[4]}),
        std::vector<int>({3, 10, 3, 4, 0x0605, 7, 11}));
    const vtoc& v = disk.vtoc; // each field's first and last byte
    EXPECT_EQ(
        std::vector<int>({v.reserved_00, v.catalog_track, v.catalog_sector, v.release,
                          v.reserved_04[0], v.reserved_04[1], v.volume, v.reserved_07[0],
                          v.reserved_07[31], v.pairs_per_list, v.reserved_28[0], v.reserved_28[7],
                          v.last_track, v.direction, v.reserved_32[0], v.reserved_32[1],
                          v.tracks_per_disk, v.sectors_per_track, v.bytes_per_sector}),
        std::vector<int>({0, 1, 2, 3, 4, 5, 6, 7, 0x26, 0x27, 0x28, 0x2F, 0x30, 0x31, 0x32, 0x33,
                          0x34, 0x35, 0x3736}));
    EXPECT_EQ(std::pair(v.free_bitmaps[0], v.free_bitmaps[49]),
              std::pair(0x3B3A3938u, 0xFFFEFDFCu));

    const std::pair<built_sector, int> links[] = {
        {{0, 5}, 0}, {{0x31, 0}, 0}, {{0x32, 0}, -1}, {{17, 16}, -1}};
    for (const auto& [link, result] : links) {
        start_disk(&built);
        built.bytes.resize(51 * 4096); // so that the track limit decides, not the image size
        put_link(&built, {17, 14}, link);
        EXPECT_EQ(open_bytes(built.bytes), result) << link.track << "/" << link.sector;
        EXPECT_EQ(out, result == 0 ? "" : "can't get catalog '" + path() + "'\n");
    }
    // Sector k of the chain 17/15 ... 17/1 links back to j. A first sector
    // linking to itself is read twice; its entries are found in the first copy.
    for (int k = 15; k >= 1; --k) {
        for (int j = 15; j >= k; --j) {
            start_disk(&built);
            put_link(&built, {17, k}, {17, j});
            add_file(&built, "HELLO", 0x02, basic_file_contents({1}));
            const std::string where = std::to_string(k) + "->" + std::to_string(j);
            EXPECT_EQ(open_bytes(built.bytes, 1, 0), -1) << where;
            EXPECT_EQ(disk.catalog, nullptr) << where;
            ASSERT_EQ(open_bytes(built.bytes, 1, 1), 0) << where;
            int length = 1;
            const catalog_sector* last = disk.catalog;
            for (; last->next != nullptr; last = last->next)
                ++length;
            EXPECT_EQ(length, k == 15 && j == 15 ? 2 : 16 - k) << where;
            EXPECT_EQ(last->next_track + last->next_sector, 0) << where; // the loop cut
            EXPECT_EQ(find_file_entry(&disk, "HELLO"), &disk.catalog->entries[0]) << where;
        }
    }
}

TEST_F(DiskTest, OrderDetectionAndRawReadInBothOrders) {
    EXPECT_EQ(open_bytes(image_bytes(&sample, 1), 2), -1); // the order is not corrected
    EXPECT_EQ(out, "can't get catalog '" + path() + "'\n");
    ASSERT_EQ(open_bytes(image_bytes(&sample, 2), 7), 0);
    EXPECT_EQ(disk.order, 2);

    EXPECT_EQ(read_world(2, 1000), 0); // a last piece of 232
    EXPECT_TRUE(std::equal(got.begin(), got.end(), sample.bytes.begin()));
    EXPECT_EQ(read_world(2), 0);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), sample.bytes.begin()));
    ASSERT_EQ(save_bytes({sample.bytes.begin(), sample.bytes.begin() + 65536}, path()), 0);
    EXPECT_EQ(read_world(1), 0);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), sample.bytes.begin()));
    EXPECT_EQ(capture([&] { return read_disk_raw("", 2, got.data(), 1); }), -1);
    EXPECT_EQ(out, "error: open ''\n");
}
