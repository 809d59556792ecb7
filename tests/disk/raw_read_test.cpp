// The raw read of the first tracks in logical order, from files of both orders.
#include "disk/disk_fixture.h"

namespace {

int read_raw(const std::string& path, int order, std::vector<std::uint8_t>* buffer,
             std::string* out) {
    testing::internal::CaptureStdout();
    const int rc =
        read_disk_raw(path.c_str(), order, buffer->data(), static_cast<int>(buffer->size()));
    *out = testing::internal::GetCapturedStdout();
    return rc;
}

} // namespace

TEST(RawRead, BothOrdersGiveLogicalOrder) {
    test_support::temp_dir dir;
    built_disk built;
    start_disk(&built);
    put_raw(&built, 0, counting_bytes(143360));
    const std::string dsk = (dir / "w.dsk").string();
    const std::string po = (dir / "w.po").string();
    ASSERT_EQ(save_disk(&built, dsk, 1), 0);
    ASSERT_EQ(save_disk(&built, po, 2), 0);
    const std::vector<std::uint8_t> file_po = image_bytes(&built, 2);
    std::vector<std::uint8_t> a(65536), b(65536);
    std::string out;
    EXPECT_EQ(read_raw(dsk, 1, &a, &out), 0);
    EXPECT_EQ(read_raw(po, 2, &b, &out), 0);
    EXPECT_EQ(out, "");
    EXPECT_TRUE(std::equal(a.begin(), a.end(), built.bytes.begin()));
    EXPECT_EQ(a, b);
    EXPECT_TRUE(std::equal(b.begin() + 256, b.begin() + 512, file_po.begin() + 3584));
    EXPECT_TRUE(std::equal(b.begin() + 4352, b.begin() + 4608, file_po.begin() + 7680));
    std::vector<std::uint8_t> odd(1000); // a last piece of 232 bytes
    EXPECT_EQ(read_raw(po, 2, &odd, &out), 0);
    EXPECT_TRUE(std::equal(odd.begin(), odd.end(), a.begin()));
}

TEST(RawRead, ShortAndMissingFiles) {
    test_support::temp_dir dir;
    const std::vector<std::uint8_t> bytes = counting_bytes(65536);
    const std::string exact = (dir / "exact.dsk").string();
    const std::string short_file = (dir / "short.dsk").string();
    save_bytes(bytes, exact);
    save_bytes({bytes.begin(), bytes.end() - 1}, short_file);
    std::vector<std::uint8_t> buffer(65536);
    std::string out;
    for (int order : {1, 2}) {
        EXPECT_EQ(read_raw(exact, order, &buffer, &out), 0) << order;
        EXPECT_EQ(read_raw(short_file, order, &buffer, &out), -1) << order;
        EXPECT_EQ(out, "error: read '" + short_file + "'\n") << order;
        EXPECT_EQ(read_raw((dir / "none").string(), order, &buffer, &out), -1) << order;
        EXPECT_EQ(out, "error: open '" + (dir / "none").string() + "'\n") << order;
    }
}
