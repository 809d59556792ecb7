// The command line as a user meets it: the built tool run in a directory of
// its own, with every parsing outcome checked for its exact output, an empty
// standard error and its exit status.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_tool.h"

namespace {

using test_support::run_qarvex;
using test_support::temp_dir;

const char* const usage_text =
    "usage: qarvex [options]\n"
    "option:\n"
    "        -d1|--disk1|--program-disk   DISK-IMG\n"
    "                                specify program disk\n"
    "                                read 'KQboot.dsk' if not specified\n"
    "        -d2|--disk2|--vellmarra-disk DISK-IMG\n"
    "                                specify vellmarra disk\n"
    "                                read 'kqvellmara.dsk' if not specified\n"
    "        --do|--po               specify sector order of disk image\n"
    "                                    --do    DOS 3.3 order (default)\n"
    "                                    --po    ProDOS order\n"
    "        -B|--blur               blur graphics\n"
    "        -s|--shape SHAPE-BMP    read shape data from specified file\n"
    "        -o|--output OUTPUT-BMP  write bitmap to specified file\n"
    "        -g|--gates              draw all moon gates\n"
    "        -p|--phase NUM          draw moon gate of specified phase (1-8)\n"
    "        -b|--baloon             draw baloon\n"
    "           --overwrite          overwrite output file\n"
    "        -?|--help               print usage\n";

// Runs the tool and checks that it ended with status 1, printed exactly
// `expected` and nothing on standard error.
void expect_refused(const std::vector<std::string>& args, const std::string& expected) {
    temp_dir dir;
    const auto result = run_qarvex(args, dir.path);
    EXPECT_EQ(result.status, 1) << args.back();
    EXPECT_EQ(result.out, expected) << args.back();
    EXPECT_EQ(result.err, "");
}

TEST(CommandLine, HelpPrintsTheUsageTextAndEndsTheRun) {
    expect_refused({"-?"}, usage_text);
    expect_refused({"--help"}, usage_text);
    // Options before it are parsed but nothing is read.
    expect_refused({"--po", "-o", "out.bmp", "-B", "-?"}, usage_text);
    // An unknown option before it ends the run first.
    expect_refused({"--bogus", "--help"}, "error: unknown option '--bogus'\n");
    // Options are compared whole and case-sensitively.
    expect_refused({"-HELP"}, "error: unknown option '-HELP'\n");
    expect_refused({"--help=1"}, "error: unknown option '--help=1'\n");
    expect_refused({"-"}, "error: unknown option '-'\n");
}

TEST(CommandLine, AMissingValueIsReported) {
    expect_refused({"-d1"}, "error: no disk image name\n");
    expect_refused({"--program-disk"}, "error: no disk image name\n");
    expect_refused({"--vellmarra-disk"}, "error: no disk image name\n");
    expect_refused({"-s"}, "error: no bitmap name\n");
    expect_refused({"-B", "-o"}, "error: no output name\n");
    expect_refused({"-p"}, "error: no phase value\n");
}

TEST(CommandLine, PhaseValuesMustBeWholeNumbersFromOneToEight) {
    for (const char* bad : {"0", "9", "08", "3x", "-1", "", "0x", "4294967295", "1.0", "three"}) {
        expect_refused({"-p", bad}, std::string("error: illegal phase value: ") + bad + "\n");
    }
    // Values that are taken: the run goes on to the program disk, which is
    // missing here.
    for (const char* good : {"1", "8", "010", "0x3", "0X8", " 3", "+2"}) {
        temp_dir dir;
        const auto result = run_qarvex({"-p", good}, dir.path);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out.find("illegal phase value"), std::string::npos) << good;
        EXPECT_NE(result.out.find("error: read shapes from disk image\n"), std::string::npos)
            << good;
    }
}

TEST(CommandLine, ValuesAreTakenUnchangedAndPlainWordsAreSkipped) {
    temp_dir dir;
    // "-d1 -B" names a program disk called "-B"; "map" is not an option and
    // the run goes on with it ignored.
    const auto result = run_qarvex({"map", "-d1", "-B", ""}, dir.path);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out.rfind("error: illegal parameter 'map'\n", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("open error '-B'\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("error: illegal parameter ''\n"), std::string::npos);
    EXPECT_NE(result.out.find("error: read disk image '-B'\n"), std::string::npos);
    EXPECT_TRUE(result.out.ends_with("error: read shapes from disk image\n")) << result.out;
    EXPECT_EQ(result.err, "");
}

TEST(CommandLine, NoArgumentsReadsTheDefaultDisks) {
    temp_dir dir;
    const auto result = run_qarvex({}, dir.path);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "open error 'KQboot.dsk'\n"
                          "error: read disk image 'KQboot.dsk'\n"
                          "error: read shapes from disk image\n");
    EXPECT_EQ(result.err, "");
}

} // namespace
