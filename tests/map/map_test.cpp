// Tile shapes, the map laid out from a sheet of 1 x 1 pixel tiles, and the
// whole run of the built qarvex on disks of our own builder.
#include "map/map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "bmp/bmp.h"
#include "diskbuild.h"
#include "support/run_tool.h"

using namespace test_support;
using bytes = std::vector<std::uint8_t>;

// The 256 x 256 picture shows the number of the tile drawn at every place.
static bytes compose(const bytes& map, std::uint32_t gate_set, int balloon) {
    bytes tiles(256), pixels(65536, 0xEE);
    std::iota(tiles.begin(), tiles.end(), std::uint8_t{0});
    shape_sheet sheet{1, 1, 16, 16, 8, 1, tiles.data(), nullptr};
    image_info picture{256, 256, 8, 65536, pixels.data(), nullptr};
    compose_map(&picture, &sheet, map.data(), gate_set, balloon);
    return pixels;
}

const std::string shape0 = "S\x01HP0";
const std::string shape1 = "S\x01HP1";
constexpr std::size_t bmp_size = 14 + 40 + 16 * 4 + std::size_t{7168 / 2} * 8192;

// One image serves as both disks: the map on tracks 0 to 15, the shape files
// from track 18 on. Tile 1 (line 0 lit) is at (0, 0) and (16, 0), tile 2 (line
// 15 lit) at (255, 255). File 1 is cut to size1; a file named otherwise is missing.
static bytes both_disks(int order, const std::string& name0 = shape0,
                        const std::string& name1 = shape1, int size1 = 4096) {
    bytes map(65536, 0);
    map[0] = map[256] = 1; // sector 0 stays in place in both orders, sector 1 moves
    map[65535] = 2;
    bytes file(4096, 0);
    file[1] = file[15 * 256 + 2] = 0x7F;
    built_disk disk{};
    start_disk(&disk);
    put_raw(&disk, 0, map);
    add_file(&disk, name0, 0x04, binary_file_contents(0x6000, file));
    file.resize(size1);
    add_file(&disk, name1, 0x04, binary_file_contents(0x6000, file));
    return image_bytes(&disk, order);
}

// 28 bytes (two tiles) from byte `from` of picture row y (0 = top, stored last).
static std::string picture_bytes(const std::string& bmp, int y, std::size_t from) {
    return bmp.substr(bmp_size - (y + 1) * std::size_t{3584} + from, 28);
}

TEST(tile_shapes, bytes_give_their_pixel_runs_and_tiles_69_to_71_follow_tile_68) {
    // Offset in file 0 then file 1, first pixel in the 448 x 512 sheet, byte, pixels.
    const std::tuple<int, int, std::uint8_t, std::string> cases[] = {
        {0, 0, 0x01, "11000000000000"},                                  // tile 0, line 0, left
        {4096 + 4095, 510 * 448 + 434, 0x40, "00000000000011"},          // tile 255, line 15, right
        {17, 32 * 448 + 28, 0x81, "*1100000000000"},                     // tile 17, line 0, left
        {4096 + 9 * 256 + 207, 402 * 448 + 434, 0xC0, "*0000000000001"}, // tile 207, line 9
        {9 * 256 + 200, 402 * 448 + 224, 0x80, "*0000000000000"},        // tile 200, line 9
        {9 * 256 + 200, 402 * 448 + 224, 0xD5, "*1100110011001"},
    };
    for (const auto& [offset, first, byte, pixels] : cases) {
        bytes files(8192, 0), sheet(448 * 512, 0);
        files[offset] = byte;
        decode_shapes(sheet.data(), files.data());
        std::string shown;
        for (int i = first; i < first + 14; ++i)
            shown += sheet[i] == 255 ? '*' : static_cast<char>('0' + sheet[i]);
        EXPECT_EQ(shown, pixels) << offset;
        // Nothing else is lit: not the odd row below, not the next half.
        const auto dark = std::count(pixels.begin(), pixels.end(), '0');
        EXPECT_EQ(std::count(sheet.begin(), sheet.end(), 0), 448 * 512 - 14 + dark) << offset;
    }

    // Tiles 69 to 71 are rebuilt from tile 68 whatever the files held there.
    bytes file0(4096, 0x3C), file1(4096, 0xE7);
    for (int p = 0; p < 16; ++p) {                                 // tile 68, line p
        file0[p * 256 + 68] = static_cast<std::uint8_t>(0x80 | p); // both halves stored delayed
        file1[p * 256 + 68] = static_cast<std::uint8_t>(0xA0 + p);
    }
    patch_shape_tiles(file0.data(), file1.data());
    for (int p = 0; p < 16; ++p) {
        const int a = p, b = 0x20 + p;
        const int halves[6][2] = {{0x3C, 0xE7},         {a, b}, {b | 0x80, a | 0x80},
                                  {a | 0x80, b | 0x80}, {b, a}, {0x3C, 0xE7}}; // tiles 67 to 72
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ(file0[p * 256 + 67 + k], halves[k][0]) << "line " << p << " tile " << 67 + k;
            EXPECT_EQ(file1[p * 256 + 67 + k], halves[k][1]) << "line " << p << " tile " << 67 + k;
        }
    }
}

TEST(compose_map, map_bytes_land_at_their_places_and_gates_and_balloon_only_where_asked) {
    const int landings[][3] = {{0, 0, 0},        {16, 0, 1},        {256, 16, 0},
                               {4096, 0, 16},    {36432, 224, 133}, {65065, 233, 242},
                               {65535, 255, 255}}; // map byte, x, y
    bytes sparse(65536, 0);
    for (int k = 0; k < 7; ++k)
        sparse[landings[k][0]] = static_cast<std::uint8_t>(10 + k);
    const bytes drawn = compose(sparse, 0, 0);
    for (const auto& [byte, x, y] : landings)
        EXPECT_EQ(drawn[y * 256 + x], sparse[byte]) << byte;
    // Every other place shows tile 0: the whole picture is drawn.
    EXPECT_EQ(std::count(drawn.begin(), drawn.end(), 0), 65536 - 7);

    // The places that show another tile than the map's, as y * 256 + x.
    const auto changed = [&](std::uint32_t gate_set, int balloon) {
        const bytes with = compose(sparse, gate_set, balloon);
        std::vector<int> places;
        for (int place = 0; place < 65536; ++place)
            if (with[place] != drawn[place])
                places.push_back(place * 1000 + with[place]); // and the tile drawn there
        return places;
    };
    // Each phase alone moves one place to the gate tile, bits above 7 or not; the eight
    // are apart and together "-g". Phase 1 is at (224, 133), 3 at (38, 224); the balloon.
    std::vector<int> all_gates;
    for (int k = 0; k < 8; ++k) {
        const std::vector<int> gate = changed(1u << k, 0);
        ASSERT_EQ(gate.size(), 1u) << "phase " << k + 1;
        EXPECT_EQ(gate[0] % 1000, 67) << "phase " << k + 1;
        EXPECT_EQ(changed((1u << k) | 0xFFFFFF00u, 0), gate) << "phase " << k + 1;
        all_gates.push_back(gate[0]);
    }
    std::sort(all_gates.begin(), all_gates.end()); // one place each, so the eight are apart
    EXPECT_EQ(changed(255, 0), all_gates);
    EXPECT_EQ(changed(1, 0), std::vector<int>{(133 * 256 + 224) * 1000 + 67});
    EXPECT_EQ(changed(4, 0), std::vector<int>{(224 * 256 + 38) * 1000 + 67});
    EXPECT_EQ(changed(0, 1), std::vector<int>{(242 * 256 + 233) * 1000 + 24});
}

// One image in ProDOS order as both disks (the demo test compares the orders),
// in each colour mode: plain and blurred at 4 bits a pixel, NTSC at 24.
TEST(run, disks_give_the_map_at_known_places_in_each_colour_mode) {
    temp_dir dir;
    write_file(dir / "p", both_disks(2));
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.end(), {"--po", "-d1", "p", "-d2", "p", "-o", "m.bmp", "--overwrite"});
        const auto result = run_qarvex(args, dir.path);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, "");
        return read_file(dir / "m.bmp");
    };
    const std::string bmp = run({});
    ASSERT_EQ(bmp.size(), bmp_size);
    // A lit line is green at its left end, white inside and violet at its right.
    const std::string lit = "\xCF" + std::string(12, '\xFF') + "\xF3";
    const std::string dark(14, '\0');
    for (int y : {0, 1, 8190, 8191}) // the top left corner, the bottom right
        EXPECT_EQ(picture_bytes(bmp, y, y < 2 ? 0 : 3556), y < 2 ? lit + dark : dark + lit) << y;
    // Blurred and decoded, the lit line at the top left reaches round the ring
    // to the last columns: the top row's first 6 and last 6 bytes.
    for (const auto& [blur, row, ends] :
         {std::tuple{1, std::size_t{3584},
                     std::string("\xDF\xFF\xFF\xFF\xFF\xFF\0\0\0\0\0\x0C", 12)},
          std::tuple{2, std::size_t{3 * 7168},
                     std::string("c\xB0\x93\x9D\xEA\xE2\x0C\x1E\0\x08\x36\0", 12)}}) {
        const std::string map = run(std::vector<std::string>(blur, "-B"));
        ASSERT_EQ(map.size(), row * 8192 + (blur == 1 ? 118 : 54));
        EXPECT_EQ(map.substr(map.size() - row, 6) + map.substr(map.size() - 6), ends) << blur;
    }
}

TEST(run, every_failing_stage_says_so_and_ends_with_status_1) {
    const std::string no_shapes = "error: read shapes from disk image\n";
    const std::string no_disk = "error: read disk image 'p'\n" + no_shapes;
    const auto no_file = [](const std::string& name) {
        return "file not found '" + name + "'\nerror: can't get file 'p/" + name + "'\n";
    };
    const bytes good = both_disks(1);
    bytes bad_catalog = good;
    bad_catalog[17 * 4096 + 15 * 256 + 1] = 0x32; // the first catalog sector links off the disk
    const std::tuple<bytes, bytes, std::string> failures[] = {
        {{}, good, "open error 'p'\n" + no_disk}, // no program disk at all
        {bytes(good.begin(), good.begin() + 73727), good,
         "disk image size error\ncan't get catalog 'p'\n" + no_disk},
        {bad_catalog, good, "can't get catalog 'p'\n" + no_disk},
        {both_disks(1, "S\x01HP2"), good, no_file(shape0) + no_shapes},
        {both_disks(1, shape0, "S\x01HP2"), good, no_file(shape1) + no_shapes},
        {both_disks(1, shape0, shape1, 0), good,
         "file size mismatch '" + shape1 + "' 0 != 4096\nerror: read file 'p/" + shape1 + "'\n" +
             no_shapes},
        {good, bytes(65535, 0), "error: read 'w'\nerror: read image file 'w'\n"},
    };
    for (const auto& [program, world, lines] : failures) {
        temp_dir dir;
        if (!program.empty())
            write_file(dir / "p", program);
        write_file(dir / "w", world);
        const auto run = run_qarvex({"-d1", "p", "-d2", "w"}, dir.path);
        EXPECT_EQ(run.status, 1) << lines;
        EXPECT_EQ(run.out, lines);
        EXPECT_FALSE(std::filesystem::exists(dir / "kq.Vellmarra.bmp")) << lines;
    }
}

// The options through the whole run on a sheet of 1 x 1 tiles at 8 bits (tile t as
// index t, never coloured) and a world of tile 0: the map as the composition draws it.
TEST(run, gate_and_balloon_options_draw_their_tiles_and_no_others) {
    temp_dir dir;
    bytes tiles(256);
    std::iota(tiles.begin(), tiles.end(), std::uint8_t{0});
    bitmap_header header{};
    ASSERT_EQ(create_bitmap_header(&header, 16, 16, 8), 0);
    std::FILE* sheet = std::fopen((dir / "s.bmp").string().c_str(), "wb");
    EXPECT_EQ(write_bitmap(sheet, &header, nullptr, tiles.data()), 0);
    std::fclose(sheet);
    write_file(dir / "w", bytes(65536, 0));
    const std::tuple<std::vector<std::string>, std::uint32_t, int> requests[] = {
        {{"-g", "-b", "-B", "-B"}, 255, 1}, // never coloured
        {{"-p", "3"}, 4, 0},
        {{"--phase", "8", "-p", "1"}, 0x81, 0},
        {{"--baloon"}, 0, 1},
    };
    for (const auto& [options, gate_set, balloon] : requests) {
        std::vector<std::string> args = {"-s", "s.bmp", "-d2", "w", "-o", "m.bmp", "--overwrite"};
        args.insert(args.end(), options.begin(), options.end());
        ASSERT_EQ(run_qarvex(args, dir.path).status, 0) << options[0];
        const std::string bmp = read_file(dir / "m.bmp");
        ASSERT_EQ(bmp.size(), 1078u + 65536);
        const bytes expected = compose(bytes(65536, 0), gate_set, balloon);
        for (int place = 0; place < 65536; ++place) // pixel rows bottom-up
            ASSERT_EQ(bmp[1078 + (255 - place / 256) * 256 + place % 256], expected[place])
                << options[0] << " at " << place % 256 << ", " << place / 256;
    }
}
