// The command line as a user meets it: every parsing outcome of the built tool,
// run in an empty folder, with its exact output, nothing on standard error, status 1.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_tool.h"

namespace {

const std::string usage_text =
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

// What a run that got past the options prints with no disk in the folder.
std::string no_program_disk(const std::string& name = "KQboot.dsk") {
    return "open error '" + name + "'\nerror: read disk image '" + name +
           "'\nerror: read shapes from disk image\n";
}

TEST(CommandLine, EveryOutcomeHasItsExactLines) {
    const std::string no_disk = "error: no disk image name\n";
    const std::pair<std::vector<std::string>, std::string> runs[] = {
        {{}, no_program_disk()},
        // Help ends the run: options before it are parsed, an unknown one first.
        {{"-?"}, usage_text},
        {{"--po", "-o", "out.bmp", "-B", "--help"}, usage_text},
        {{"--bogus", "--help"}, "error: unknown option '--bogus'\n"},
        // Options are compared whole and case-sensitively.
        {{"-HELP"}, "error: unknown option '-HELP'\n"},
        {{"--help=1"}, "error: unknown option '--help=1'\n"},
        {{"-"}, "error: unknown option '-'\n"},
        {{"-d1"}, no_disk},
        {{"--vellmarra-disk"}, no_disk},
        {{"-s"}, "error: no bitmap name\n"},
        {{"-B", "-o"}, "error: no output name\n"},
        {{"-p"}, "error: no phase value\n"},
        // A value is the next argument unchanged ("-B" is the program disk);
        // plain words are reported and skipped.
        {{"map", "-d1", "-B", ""},
         "error: illegal parameter 'map'\nerror: illegal parameter ''\n" + no_program_disk("-B")},
    };
    for (const auto& [args, expected] : runs) {
        test_support::temp_dir dir;
        const auto result = test_support::run_qarvex(args, dir.path);
        EXPECT_EQ(result.status, 1) << expected;
        EXPECT_EQ(result.out + result.err, expected);
    }
}

TEST(CommandLine, PhaseValuesAreWholeNumbersFromOneToEightInAnyBase) {
    test_support::temp_dir dir;
    for (const char* bad : {"0", "9", "08", "3x", "-1", "", "0x", "4294967295", "1.0", "three"})
        EXPECT_EQ(test_support::run_qarvex({"-p", bad}, dir.path).out,
                  std::string("error: illegal phase value: ") + bad + "\n");
    for (const char* good : {"1", "8", "010", "0x3", "0X8", " 3", "+2"})
        EXPECT_EQ(test_support::run_qarvex({"-p", good}, dir.path).out, no_program_disk()) << good;
}

} // namespace
