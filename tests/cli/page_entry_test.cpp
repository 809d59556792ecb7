// The functions the page's worker calls, run natively on the demo disks.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/run_tool.h"

extern "C" {
int web_read_world_map(const char* path, int order, std::uint8_t* world_map);
int web_is_program_disk(const char* path, int order);
int web_make_demo(const char* program_path, const char* world_path, int order);
}

TEST(PageEntry, DemoDisksAreMadeToldApartAndRead) {
    const test_support::temp_dir dir;
    const std::string program = (dir / "p").string(), world = (dir / "w").string();
    std::vector<std::uint8_t> map(65536);
    testing::internal::CaptureStdout();
    for (const int order : {1, 2}) {
        ASSERT_EQ(web_make_demo(program.c_str(), world.c_str(), order), 0);
        EXPECT_EQ(web_is_program_disk(program.c_str(), order), 1);
        EXPECT_EQ(web_is_program_disk(world.c_str(), order), 0);
        EXPECT_EQ(web_read_world_map(world.c_str(), order, map.data()), 0);
    }
    EXPECT_EQ(web_read_world_map("", 1, map.data()), -1);
    EXPECT_EQ(web_make_demo("", world.c_str(), 1), -1);
    testing::internal::GetCapturedStdout();
}
