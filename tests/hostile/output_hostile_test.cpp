// The output file under hostile conditions: standard input closed at the
// overwrite question, an output that can't be opened (read-only, a directory,
// a path through a plain file), a full device after a yes. Each ends with
// its lines and status 1, and no existing file changes unless the user said
// yes or gave "--overwrite".
#include <sys/stat.h>
#include <unistd.h>

#include "hostile_fixture.h"

using namespace hostile;

namespace {

const std::vector<std::string> draw = {"-s", "sheet.bmp", "-o", "map.bmp"};
const std::string old_map = "old map";

std::vector<std::string> with(std::vector<std::string> args, const std::string& extra) {
    args.push_back(extra);
    return args;
}

}  // namespace

TEST(HostileOutput, StandardInputClosedAtTheQuestionIsANo) {
    tool_dir run;
    test_support::write_file(run.dir / "map.bmp", old_map);
    const auto result = run_with_stdin_closed(draw, run.dir.path);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "'map.bmp' already exists\noverwrite ? (Y or N): "
                          "error: write bitmap file 'map.bmp'\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(test_support::read_file(run.dir / "map.bmp"), old_map);
    // Without an existing file nothing is asked and the map is written.
    std::filesystem::remove(run.dir / "map.bmp");
    EXPECT_EQ(run_with_stdin_closed(draw, run.dir.path).status, 0);
}

TEST(HostileOutput, AReadOnlyFileIsLeftAsItWas) {
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root, which opens a read-only file for writing anyway; "
                        "the paths that even root can't open are tested beside this";
    tool_dir run;
    test_support::write_file(run.dir / "map.bmp", old_map);
    ::chmod(run.path("map.bmp").c_str(), 0444);
    const auto result = run.run(with(draw, "--overwrite"));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "error: open 'map.bmp'\nerror: write bitmap file 'map.bmp'\n");
    EXPECT_EQ(test_support::read_file(run.dir / "map.bmp"), old_map);
}

TEST(HostileOutput, PathsThatCannotBeOpenedEvenByRoot) {
    {
        // A plain file used as a folder: the path counts as free, the open fails.
        tool_dir run;
        test_support::write_file(run.dir / "plain.txt", old_map);
        const auto result = run.run({"-s", "sheet.bmp", "-o", "plain.txt/map.bmp"});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "error: open 'plain.txt/map.bmp'\n"
                              "error: write bitmap file 'plain.txt/map.bmp'\n");
        EXPECT_EQ(test_support::read_file(run.dir / "plain.txt"), old_map);
    }
    {
        // A directory with "--overwrite": no question, the open fails, the
        // directory and what it holds stay.
        tool_dir run;
        std::filesystem::create_directory(run.dir / "map.bmp");
        test_support::write_file(run.dir / "map.bmp" / "inside", old_map);
        const auto result = run.run(with(draw, "--overwrite"));
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "error: open 'map.bmp'\nerror: write bitmap file 'map.bmp'\n");
        EXPECT_EQ(test_support::read_file(run.dir / "map.bmp" / "inside"), old_map);
    }
}

TEST(HostileOutput, AFullDeviceAfterAYesFailsWithItsLines) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here; skipping";
    tool_dir run;
    const std::string yes = "y\n";
    const auto result = run.run({"-s", "sheet.bmp", "-o", "/dev/full"}, &yes);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "'/dev/full' already exists\noverwrite ? (Y or N): "
                          "error: write_bitmap() - can't write bitmap data\n"
                          "error: write bitmap '/dev/full'\n"
                          "error: write bitmap file '/dev/full'\n");
}
