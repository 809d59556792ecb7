// Images cut short at every sector boundary of the tracks that matter: track
// 17 (VTOC and catalog) and track 0 of the program disk, and tracks 0 and 15
// (the first and last of the map) of the world disk, in both sector orders,
// through the disk layer and through the tool. An output file that is already
// there stays as it was even with "--overwrite": nothing is written when a
// disk fails.
#include "disk/disk.h"
#include "hostile_fixture.h"

using namespace hostile;

namespace {

constexpr std::size_t track = 4096;
constexpr std::size_t sector = 256;

// Sector boundaries from the start of track t to its end, both included.
std::vector<std::size_t> boundaries(std::size_t t) {
    std::vector<std::size_t> sizes;
    for (std::size_t k = 0; k <= 16; ++k) sizes.push_back(t * track + k * sector);
    return sizes;
}

// What opening a program disk cut to `size` bytes prints.
std::string program_open_lines(std::size_t size, const std::string& path) {
    if (size == 0) return "read error '" + path + "'\n";
    if (size < 18 * track) return "disk image size error\ncan't get catalog '" + path + "'\n";
    // The catalog is whole; the shape files' lists on track 18 are gone.
    return "illegal track/sector (12/0F)\ncan't get track/sector list '" + path + "'\n";
}

}  // namespace

TEST(CutImages, ProgramDiskCutInTrack0Or17FailsWithItsLines) {
    test_support::temp_dir dir;
    const std::string path = (dir / "cut.dsk").string();
    const built_disk good = program_disk();
    std::vector<std::size_t> sizes = boundaries(0);
    for (std::size_t size : boundaries(17)) sizes.push_back(size);
    for (int order : {1, 2, 0}) {
        const bytes image = image_bytes(&good, order == 2 ? 2 : 1);
        for (std::size_t size : sizes) {
            test_support::write_file(dir / "cut.dsk", bytes(image.begin(), image.begin() + static_cast<long>(size)));
            disk_image disk{};
            testing::internal::CaptureStdout();
            const int result = open_disk_image(&disk, path.c_str(), order, 0);
            std::string out = testing::internal::GetCapturedStdout();
            EXPECT_EQ(result, size == 18 * track ? 0 : -1) << size << " order " << order;
            EXPECT_EQ(out, program_open_lines(size, path)) << size << " order " << order;
            if (result == 0) {
                bytes buffer(4096);
                testing::internal::CaptureStdout();
                EXPECT_EQ(read_disk_file(&disk, shape0.c_str(), buffer.data(), 4096), -1);
                EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
            }
            release_disk_image(&disk, 0);
        }
    }
}

TEST(CutImages, TheToolStopsAtACutProgramDisk) {
    const built_disk good = program_disk();
    for (const char* order : {"--do", "--po"}) {
        const bytes image = image_bytes(&good, order[2] == 'p' ? 2 : 1);
        for (std::size_t size : boundaries(17)) {
            tool_dir run;
            test_support::write_file(run.dir / "KQboot.dsk", bytes(image.begin(), image.begin() + static_cast<long>(size)));
            test_support::write_file(run.dir / "kq.Vellmarra.bmp", std::string("old map"));
            const auto result = run.run({order, "--overwrite"});
            EXPECT_EQ(result.status, 1) << size;
            const std::string tail = size == 18 * track
                                         ? "error: can't get file 'KQboot.dsk/" + shape0 + "'\n"
                                         : "error: read disk image 'KQboot.dsk'\n";
            EXPECT_EQ(result.out, shapes_failed(program_open_lines(size, "KQboot.dsk") + tail))
                << size << " " << order;
            EXPECT_EQ(test_support::read_file(run.dir / "kq.Vellmarra.bmp"), "old map");
        }
    }
}

TEST(CutImages, WorldDiskCutInTrack0Or15) {
    test_support::temp_dir dir;
    const std::string path = (dir / "world.dsk").string();
    bytes world(65536);
    for (std::size_t i = 0; i < world.size(); ++i) world[i] = static_cast<std::uint8_t>(i / 256);
    std::vector<std::size_t> sizes = boundaries(0);
    for (std::size_t size : boundaries(15)) sizes.push_back(size);
    for (int order : {1, 2}) {
        for (std::size_t size : sizes) {
            test_support::write_file(dir / "world.dsk", bytes(world.begin(), world.begin() + static_cast<long>(size)));
            bytes map(65536 + 1, 0xEE);
            testing::internal::CaptureStdout();
            const int result = read_disk_raw(path.c_str(), order, map.data(), 65536);
            const std::string out = testing::internal::GetCapturedStdout();
            EXPECT_EQ(result, size == 65536 ? 0 : -1) << size << " order " << order;
            EXPECT_EQ(out, size == 65536 ? "" : "error: read '" + path + "'\n") << size;
            EXPECT_EQ(map[65536], 0xEE);  // nothing beyond the buffer
        }
    }
}

TEST(CutImages, TheToolStopsAtACutWorldDiskAndKeepsTheOldMap) {
    for (const char* order : {"--do", "--po"}) {
        for (std::size_t t : {0u, 15u}) {
            for (std::size_t size : boundaries(t)) {
                if (size == 65536) continue;
                tool_dir run;
                test_support::write_file(run.dir / "kqvellmara.dsk", std::string(size, '\x03'));
                test_support::write_file(run.dir / "map.bmp", std::string("old map"));
                const auto result =
                    run.run({order, "-s", "sheet.bmp", "-o", "map.bmp", "--overwrite"});
                EXPECT_EQ(result.status, 1) << size;
                EXPECT_EQ(result.out, "error: read 'kqvellmara.dsk'\n"
                                      "error: read image file 'kqvellmara.dsk'\n")
                    << size << " " << order;
                EXPECT_EQ(test_support::read_file(run.dir / "map.bmp"), "old map");
            }
        }
    }
}
