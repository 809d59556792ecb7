// The functions the page's worker calls, run natively on the demo disks.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/run_tool.h"

extern "C" {
int web_run(int argc, char** argv);
int web_read_world_map(const char* path, int order, std::uint8_t* world_map);
int web_is_program_disk(const char* path, int order);
int web_make_demo(const char* program_path, const char* world_path, int order);
}

TEST(PageEntry, DemoDisksAreMadeToldApartAndRead) {
    const test_support::temp_dir dir;
    std::vector<std::uint8_t> maps[2];
    for (const int order : {1, 2}) {
        const std::string program = (dir / "p.dsk").string(), world = (dir / "w.dsk").string();
        ASSERT_EQ(web_make_demo(program.c_str(), world.c_str(), order), 0);
        EXPECT_EQ(web_is_program_disk(program.c_str(), order), 1);
        testing::internal::CaptureStdout();
        EXPECT_EQ(web_is_program_disk(world.c_str(), order), 0);
        auto& map = maps[order - 1];
        map.resize(65536);
        EXPECT_EQ(web_read_world_map(world.c_str(), order, map.data()), 0);
        EXPECT_EQ(web_read_world_map((dir / "none").string().c_str(), order, map.data() + 1), -1);
        testing::internal::GetCapturedStdout();
        if (order == 1) { // the same world in either order, its map as the DOS-order file holds it
            EXPECT_EQ(std::string(map.begin(), map.end()),
                      test_support::read_file(world).substr(0, 65536));
        }
    }
    EXPECT_TRUE(maps[0] == maps[1]);
    char name[] = "qarvex", help[] = "--help";
    char* argv[] = {name, help, nullptr};
    testing::internal::CaptureStdout();
    EXPECT_EQ(web_run(2, argv), 1);
    EXPECT_TRUE(testing::internal::GetCapturedStdout().starts_with("usage: qarvex"));
}
