// An independent tool agrees on the ProDOS sector order, and damaged images
// (every cut, every bit of a catalog sector flipped) never break the reader.
#include <cstdlib>

#include "disk/disk_fixture.h"

namespace {

const char* const names[] = {"HELLO", "S\x01HP0", "TEXT", "BIG"};

built_disk sample_disk() {
    built_disk built;
    start_disk(&built);
    put_raw(&built, 0, counting_bytes(65536, 9)); // a world map in tracks 0-15
    add_file(&built, "HELLO", 0x02, basic_file_contents(counting_bytes(300)));
    add_file(&built, "S\x01HP0", 0x84, binary_file_contents(0x4000, counting_bytes(4096, 2)));
    add_file(&built, "TEXT", 0x00, counting_bytes(1000, 4));
    add_file(&built, "BIG", 0x04, binary_file_contents(0x800, counting_bytes(130 * 256, 6)));
    return built;
}

} // namespace

TEST_F(DiskTest, FloptoolAgreesOnProdosOrder) {
    if (std::system("command -v floptool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "floptool not on PATH; skipping";
    const built_disk built = sample_disk();
    const std::string dsk = (dir / "in.dsk").string(), po = (dir / "out.po").string();
    ASSERT_EQ(save_disk(&built, dsk, 1), 0);
    const std::string command = "floptool flopconvert a2_16sect_dos a2_16sect_prodos " +
                                test_support::shell_quote(dsk) + " " +
                                test_support::shell_quote(po) + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_EQ(open_bytes(image_bytes(&built, 1), 1), 0);
    disk_image converted{};
    testing::internal::CaptureStdout();
    ASSERT_EQ(open_disk_image(&converted, po.c_str(), 2, 0), 0);
    for (const char* name : names) {
        std::vector<std::uint8_t> a(40000), b(40000);
        const int size = get_disk_file_size(&disk, name, nullptr);
        EXPECT_EQ(read_disk_file(&disk, name, a.data(), size), size) << name;
        EXPECT_EQ(read_disk_file(&converted, name, b.data(), size), size) << name;
        EXPECT_EQ(a, b) << name;
    }
    std::vector<std::uint8_t> raw_dos(65536), raw_po(65536);
    EXPECT_EQ(read_disk_raw(dsk.c_str(), 1, raw_dos.data(), 65536), 0);
    EXPECT_EQ(read_disk_raw(po.c_str(), 2, raw_po.data(), 65536), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(raw_dos, raw_po);
    const std::vector<std::uint8_t> expected = image_bytes(&built, 2);
    EXPECT_EQ(test_support::read_file(po), std::string(expected.begin(), expected.end()));
    release_disk_image(&converted, 0);
}

// Opens the image and reads every file; only the sanitizers judge the result.
int open_and_read_all(DiskTest* test, const std::vector<std::uint8_t>& image, int order,
                      int cut_loops);

TEST_F(DiskTest, EveryCutAndEveryCatalogBitFlip) {
    const built_disk built = sample_disk();
    std::vector<std::size_t> cuts;
    for (std::size_t at = 0; at <= 4096; at += 256)
        cuts.push_back(at); // track 0
    for (std::size_t at = 69632; at <= 73728; at += 256)
        cuts.push_back(at); // track 17
    for (std::size_t at = 73728; at < 143360; at += 256 * 7)
        cuts.push_back(at + 1); // odd sizes
    for (int order : {1, 2}) {
        const std::vector<std::uint8_t> image = image_bytes(&built, order);
        for (std::size_t cut : cuts) {
            const std::vector<std::uint8_t> cut_image(
                image.begin(), image.begin() + static_cast<std::ptrdiff_t>(cut));
            EXPECT_EQ(open_and_read_all(this, cut_image, order, 0) == 0, cut >= 73728) << cut;
        }
    }
    std::vector<std::uint8_t> image = image_bytes(&built, 1);
    for (std::size_t bit = 0; bit < 256 * 8; ++bit) {
        image[73472 + bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8)); // track 17 sector 15
        open_and_read_all(this, image, 1, 0);
        open_and_read_all(this, image, 0, 1);
        image[73472 + bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
    }
}

int open_and_read_all(DiskTest* test, const std::vector<std::uint8_t>& image, int order,
                      int cut_loops) {
    const int rc = test->open_bytes(image, order, cut_loops);
    std::vector<std::uint8_t> buffer(40000);
    int sectors = 0;
    testing::internal::CaptureStdout();
    for (const char* name : names) {
        EXPECT_LE(read_disk_file(&test->disk, name, buffer.data(), 40000), 40000);
        get_disk_file_size(&test->disk, name, &sectors);
    }
    testing::internal::GetCapturedStdout();
    return rc;
}
