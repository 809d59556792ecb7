// Real DOS 3.3 disks made by nobody on this project: the System Master in both
// orders, a ProDOS disk, a disk without file system and three more.
#include <cstring>
#include <filesystem>

#include "disk/disk_fixture.h"

namespace {

struct master_file {
    const char* name;
    std::uint8_t type;
    int sectors;
    int length;
};

// clang-format off
constexpr master_file system_master[] = {
    {"HELLO", 0x82, 3, 419},         {"APPLESOFT", 0x81, 3, 412},  {"LOADER.OBJ0", 0x84, 6, 1092},
    {"FPBASIC", 0x84, 42, 10240},    {"INTBASIC", 0x84, 42, 10240}, {"MASTER", 0x82, 3, 460},
    {"MASTER CREATE", 0x84, 9, 1791}, {"COPY", 0x81, 9, 1824},      {"COPY.OBJ0", 0x84, 3, 299},
    {"COPYA", 0x82, 9, 1834},        {"CHAIN", 0x84, 3, 453},      {"RENUMBER", 0x82, 14, 3071},
    {"FILEM", 0x82, 3, 430},         {"FID", 0x84, 20, 4687},      {"CONVERT13", 0x82, 3, 439},
    {"MUFFIN", 0x84, 27, 6397},      {"START13", 0x82, 3, 439},    {"BOOT13", 0x84, 7, 1280},
    {"SLOT#", 0x82, 4, 526}};
// clang-format on

std::string real(const char* name) {
    return (test_support::real_disks() / name).string();
}

std::vector<std::uint8_t> read_whole(disk_image* disk, const master_file& f) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(f.length));
    EXPECT_EQ(read_disk_file(disk, f.name, bytes.data(), f.length), f.length) << f.name;
    return bytes;
}

} // namespace

TEST(RealDisks, SystemMasterInBothOrders) {
    REQUIRE_REAL_DISKS();
    disk_image dsk{}, po{}, detected{};
    testing::internal::CaptureStdout();
    ASSERT_EQ(open_disk_image(&dsk, real("dos33-system-master.dsk").c_str(), 1, 0), 0);
    ASSERT_EQ(open_disk_image(&po, real("dos33-system-master.po").c_str(), 2, 0), 0);
    ASSERT_EQ(open_disk_image(&detected, real("dos33-system-master.dsk").c_str(), 0, 0), 0);
    EXPECT_EQ(detected.order, 1);
    EXPECT_EQ(dsk.vtoc.volume * 0x100 + dsk.vtoc.release, 0x103);
    const file_entry* entries[19] = {};
    int used = 0;
    for (const catalog_sector* c = dsk.catalog; c != nullptr; c = c->next)
        for (const file_entry& e : c->entries)
            if (e.sectors != 0 && used < 19)
                entries[used++] = &e;
    EXPECT_EQ(used, 19);
    for (int i = 0; i < 19; ++i) {
        const master_file& f = system_master[i];
        ASSERT_EQ(find_file_entry(&dsk, f.name), entries[i]) << f.name;
        EXPECT_EQ(entries[i]->type, f.type) << f.name;
        EXPECT_EQ(entries[i]->sectors, f.sectors) << f.name;
        EXPECT_EQ(get_disk_file_size(&po, f.name, nullptr), f.length) << f.name;
        EXPECT_EQ(read_whole(&dsk, f), read_whole(&po, f)) << f.name;
    }
    const std::vector<std::uint8_t> hello = read_whole(&dsk, system_master[0]);
    std::size_t at = 0; // follow HELLO's line links, loaded at 0x0801
    for (int lines = 0; lines < 1000 && at + 2 <= hello.size(); ++lines) {
        const int link = hello[at] | (hello[at + 1] << 8);
        if (link == 0)
            break;
        at = static_cast<std::size_t>(link - 0x0801);
    }
    EXPECT_EQ(at + 2, hello.size());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    release_disk_image(&dsk, 0);
    release_disk_image(&po, 0);
    release_disk_image(&detected, 0);
}

TEST(RealDisks, OtherDisks) {
    REQUIRE_REAL_DISKS();
    disk_image disk{};
    std::uint8_t buffer[1024];
    testing::internal::CaptureStdout();
    EXPECT_EQ(open_disk_image(&disk, real("prodos-2.4.3.po").c_str(), 1, 0), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "can't get catalog '" + real("prodos-2.4.3.po") + "'\n");
    release_disk_image(&disk, 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(open_disk_image(&disk, real("no-filesystem.dsk").c_str(), 1, 0), 0);
    EXPECT_EQ(read_disk_file(&disk, "HELLO", buffer, 1), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "file not found 'HELLO'\n");
    release_disk_image(&disk, 0);
    ASSERT_EQ(open_disk_image(&disk, real("cp2-system-master-1983.po").c_str(), 2, 0), 0);
    // DOS keeps a deleted file's old T/S list track in its last name byte, so
    // no look-up by name finds it; walk the catalog instead.
    const file_entry* girl = nullptr;
    for (const catalog_sector* c = disk.catalog; c != nullptr; c = c->next)
        for (const file_entry& e : c->entries)
            if (std::memcmp(e.name.data(), "\xC7\xC9\xD2\xCC\xB2", 5) == 0)
                girl = &e;
    ASSERT_NE(girl, nullptr);
    EXPECT_EQ(girl->ts_track, 0xFF);
    EXPECT_EQ(girl->sectors, 34);
    EXPECT_EQ(girl->ts_chain, nullptr);
    EXPECT_EQ(find_file_entry(&disk, "GIRL2"), nullptr);
    release_disk_image(&disk, 0);
    ASSERT_EQ(open_disk_image(&disk, real("cp2-simple-sparse.do").c_str(), 1, 0), 0);
    ASSERT_NE(find_file_entry(&disk, "CASE TEST"), find_file_entry(&disk, "case test"));
    int offsets = 0;
    for (const ts_list* l = find_file_entry(&disk, "SPARSE-TEXT")->ts_chain; l != nullptr;
         l = l->next)
        EXPECT_EQ(l->sector_offset, 122 * offsets++);
    EXPECT_EQ(offsets, 5);
    release_disk_image(&disk, 0);
    ASSERT_EQ(open_disk_image(&disk, real("cp2-dos-forty.do").c_str(), 1, 0), 0);
    EXPECT_EQ(disk.tracks, 40);
    EXPECT_GT(get_disk_file_size(&disk, "HELLO", nullptr), 0);
    release_disk_image(&disk, 0);
}
