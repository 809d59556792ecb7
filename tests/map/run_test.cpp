// The whole run, by the built qarvex, from disks made by our own builder: the
// map lands where it should in the BMP in both sector orders, every failing
// stage says what it must and ends with status 1, and the demo disks draw.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "diskbuild.h"
#include "disk/disk.h"
#include "support/run_tool.h"

namespace {

using test_support::read_file;
using test_support::run_qarvex;
using test_support::temp_dir;

const std::string shape0 = "S\x01HP0";
const std::string shape1 = "S\x01HP1";

// Shape files where tile 1 has line 0 fully lit and tile 2 line 15; every
// other tile is dark.
std::vector<std::uint8_t> shape_file() {
    std::vector<std::uint8_t> file(4096, 0);
    file[0 * 256 + 1] = 0x7F;
    file[15 * 256 + 2] = 0x7F;
    return file;
}

built_disk program_disk(bool with0 = true, bool with1 = true, std::size_t size1 = 4096) {
    built_disk disk{};
    start_disk(&disk);
    if (with0) add_file(&disk, shape0, 0x04, binary_file_contents(0x6000, shape_file()));
    std::vector<std::uint8_t> file1 = shape_file();
    file1.resize(size1);
    if (with1) add_file(&disk, shape1, 0x04, binary_file_contents(0x6000, file1));
    return disk;
}

// Map byte 0, at (0, 0), shows tile 1; map byte 65,535, at (255, 255), tile 2.
built_disk world_disk() {
    built_disk disk{};
    start_disk(&disk);
    std::vector<std::uint8_t> map(65536, 0);
    map[0] = 1;
    map[65535] = 2;
    put_raw(&disk, 0, map);
    return disk;
}

void save_both(const temp_dir& dir, int order) {
    const built_disk program = program_disk();
    const built_disk world = world_disk();
    ASSERT_EQ(save_disk(&program, (dir / "KQboot.dsk").string(), order), 0);
    ASSERT_EQ(save_disk(&world, (dir / "kqvellmara.dsk").string(), order), 0);
}

constexpr std::size_t bmp_data_offset = 14 + 40 + 16 * 4;
constexpr std::size_t bmp_row_bytes = 7168 / 2;
constexpr std::size_t bmp_size = bmp_data_offset + bmp_row_bytes * 8192;

// A lit run of 28 samples from a column that is a multiple of 4 comes out
// green at its left end, white inside and violet at its right end; 4 bits a
// pixel, the left pixel in the high nibble.
const std::string lit_tile_row = "\xCF" + std::string(12, '\xFF') + "\xF3";

// Bytes of picture row y (0 = top) from column byte `from`, as stored in the
// bottom-up BMP file.
std::string picture_bytes(const std::string& bmp, int y, std::size_t from, std::size_t count) {
    return bmp.substr(bmp_data_offset + (8191 - y) * bmp_row_bytes + from, count);
}

void expect_known_rows(const std::string& bmp) {
    ASSERT_EQ(bmp.size(), bmp_size);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    for (int y : {0, 1}) {  // tile 1, line 0, at the top left
        EXPECT_EQ(picture_bytes(bmp, y, 0, 14), lit_tile_row) << "row " << y;
        EXPECT_EQ(picture_bytes(bmp, y, 14, 14), std::string(14, '\0'));
    }
    EXPECT_EQ(picture_bytes(bmp, 2, 0, 14), std::string(14, '\0'));
    for (int y : {8190, 8191}) {  // tile 2, line 15, at the bottom right
        EXPECT_EQ(picture_bytes(bmp, y, bmp_row_bytes - 14, 14), lit_tile_row) << "row " << y;
        EXPECT_EQ(picture_bytes(bmp, y, bmp_row_bytes - 28, 14), std::string(14, '\0'));
    }
}

// The lines a run prints when the program disk fails, after the disk layer's own.
std::string shapes_failed(const std::string& lines) {
    return lines + "error: read shapes from disk image\n";
}

}  // namespace

TEST(run, default_disks_in_either_order_give_the_map_at_known_places) {
    temp_dir dos;
    save_both(dos, 1);
    const auto first = run_qarvex({}, dos.path);
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.out, "");
    EXPECT_EQ(first.err, "");
    const std::string dos_bmp = read_file(dos / "kq.Vellmarra.bmp");
    expect_known_rows(dos_bmp);

    temp_dir prodos;
    save_both(prodos, 2);
    const auto second = run_qarvex({"--po", "-o", "map.bmp"}, prodos.path);
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.out, "");
    EXPECT_TRUE(read_file(prodos / "map.bmp") == dos_bmp);
}

TEST(run, every_failing_stage_says_so_and_ends_with_status_1) {
    struct failure {
        const char* what;
        std::vector<std::uint8_t> program;  // empty: no program disk at all
        std::string lines;
    };
    const built_disk good = program_disk();
    const std::vector<std::uint8_t> good_bytes = image_bytes(&good, 1);
    built_disk bad_catalog = program_disk();
    put_link(&bad_catalog, built_sector{17, 15}, built_sector{0x32, 0});
    const built_disk without0 = program_disk(false, true);
    const built_disk without1 = program_disk(true, false);
    const built_disk short1 = program_disk(true, true, 2048);
    const std::vector<failure> failures = {
        {"missing", {}, shapes_failed("open error 'KQboot.dsk'\nerror: read disk image 'KQboot.dsk'\n")},
        {"too small",
         std::vector<std::uint8_t>(good_bytes.begin(), good_bytes.begin() + 73727),
         shapes_failed("disk image size error\ncan't get catalog 'KQboot.dsk'\n"
                       "error: read disk image 'KQboot.dsk'\n")},
        {"bad catalog", image_bytes(&bad_catalog, 1),
         shapes_failed("can't get catalog 'KQboot.dsk'\nerror: read disk image 'KQboot.dsk'\n")},
        {"no file 0", image_bytes(&without0, 1),
         shapes_failed("file not found '" + shape0 + "'\nerror: can't get file 'KQboot.dsk/" +
                       shape0 + "'\n")},
        {"no file 1", image_bytes(&without1, 1),
         shapes_failed("file not found '" + shape1 + "'\nerror: can't get file 'KQboot.dsk/" +
                       shape1 + "'\n")},
        {"short file 1", image_bytes(&short1, 1),
         shapes_failed("file size mismatch '" + shape1 + "' 2048 != 4096\n"
                       "error: read file 'KQboot.dsk/" + shape1 + "'\n")},
    };
    const built_disk world = world_disk();
    for (const failure& f : failures) {
        temp_dir dir;
        if (!f.program.empty()) test_support::write_file(dir / "KQboot.dsk", f.program);
        save_disk(&world, (dir / "kqvellmara.dsk").string(), 1);
        const auto result = run_qarvex({}, dir.path);
        EXPECT_EQ(result.status, 1) << f.what;
        EXPECT_EQ(result.out, f.lines) << f.what;
        EXPECT_FALSE(std::filesystem::exists(dir / "kq.Vellmarra.bmp")) << f.what;
    }

    // A world disk one byte short of the map, in both orders.
    for (const char* order : {"--do", "--po"}) {
        temp_dir dir;
        save_disk(&good, (dir / "KQboot.dsk").string(), order[2] == 'p' ? 2 : 1);
        test_support::write_file(dir / "kqvellmara.dsk", std::string(65535, '\0'));
        const auto result = run_qarvex({order}, dir.path);
        EXPECT_EQ(result.status, 1) << order;
        EXPECT_EQ(result.out,
                  "error: read 'kqvellmara.dsk'\nerror: read image file 'kqvellmara.dsk'\n")
            << order;
    }
}

TEST(run, a_declined_overwrite_leaves_the_old_file) {
    temp_dir dir;
    save_both(dir, 1);
    test_support::write_file(dir / "kq.Vellmarra.bmp", std::string("old picture"));
    const std::string answer = "n\n";
    const auto result = run_qarvex({}, dir.path, &answer);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "'kq.Vellmarra.bmp' already exists\noverwrite ? (Y or N): "
                          "error: write bitmap file 'kq.Vellmarra.bmp'\n");
    EXPECT_EQ(read_file(dir / "kq.Vellmarra.bmp"), "old picture");
}

#ifdef QARVEX_DEMO
TEST(run, demo_disks_open_and_their_map_draws) {
    for (int order : {1, 2}) {
        temp_dir dir;
        const auto made = test_support::run_program(
            QARVEX_DEMO, {order == 2 ? "--po" : "--do", "--seed", "7", dir.path.string()},
            dir.path);
        ASSERT_EQ(made.status, 0) << made.out;

        disk_image disk{};
        const std::string program = (dir / "KQboot.dsk").string();
        ASSERT_EQ(open_disk_image(&disk, program.c_str(), order, 0), 0);
        std::vector<std::uint8_t> file(4096);
        EXPECT_EQ(read_disk_file(&disk, shape0.c_str(), file.data(), 4096), 4096);
        EXPECT_EQ(read_disk_file(&disk, shape1.c_str(), file.data(), 4096), 4096);
        release_disk_image(&disk, 0);
        std::vector<std::uint8_t> map(65536);
        const std::string world = (dir / "kqvellmara.dsk").string();
        EXPECT_EQ(read_disk_raw(world.c_str(), order, map.data(), 65536), 0);

        const auto drawn = run_qarvex({order == 2 ? "--po" : "--do", "-g", "-b"}, dir.path);
        EXPECT_EQ(drawn.status, 0) << drawn.out;
        EXPECT_EQ(std::filesystem::file_size(dir / "kq.Vellmarra.bmp"), bmp_size);
    }
}
#endif
