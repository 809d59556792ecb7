// Tile sheets whose BMP headers give huge or negative sizes, through the
// tool: each is refused before anything is sized from it, with its line and
// the run's, and no output file appears.
#include "hostile_fixture.h"

using namespace hostile;

namespace {

const std::string rule = "error: check_bitmap_header() - ";
const std::string refused = "error: read_bitmap() - can't read bitmap header\n"
                            "error: read 'sheet.bmp'\n"
                            "error: read shape bitmap 'sheet.bmp'\n";
const std::string data0 = "warning: check_bitmap_header() - data length is 0 ... corrected: 0x";
const std::string file0 = "warning: check_bitmap_header() - file length is 0\n";

test_support::tool_result run_sheet(const bytes& sheet) {
    tool_dir run;
    test_support::write_file(run.dir / "sheet.bmp", sheet);
    auto result = run.run({"-s", "sheet.bmp", "-o", "map.bmp"});
    EXPECT_FALSE(std::filesystem::exists(run.dir / "map.bmp"));
    return result;
}

}  // namespace

TEST(HostileSheets, NegativeAndHugeSizesAreRefusedWithTheirLines) {
    struct sheet_case {
        const char* what;
        bytes header;
        std::string lines;
    };
    const std::uint32_t minus_16 = 0xFFFFFFF0u;
    const sheet_case cases[] = {
        // Top-down: a negative height, with both length fields 0 so that the
        // format's own rules let it through.
        {"negative height", bmp_header(0, 54, 16, minus_16, 24, 0),
         data0 + "FFFFFD00\n" + file0 + rule + "top-down bitmap not supported\n" + refused},
        {"negative height, lengths given", bmp_header(54 + 16 * 48, 54, 16, minus_16, 24, 16 * 48),
         rule + "data length 0x300 != 0xFFFFFD00\n" + refused},
        {"negative width", bmp_header(0, 54, minus_16, 16, 24, 0),
         data0 + "FFFFFD00\n" + file0 + rule + "bitmap size too large\n" + refused},
        // 65536 x 65536 at 8 bits: the data length wraps to 0 in 32 bits.
        {"4 GiB of pixels", bmp_header(0, 1078, 65536, 65536, 8, 0),
         data0 + "0\n" + file0 + rule + "bitmap size too large\n" + refused},
        {"a row longer than an int", bmp_header(0, 54, 0x40000000, 1, 32, 0),
         data0 + "0\n" + file0 + rule + "bitmap size too large\n" + refused},
        {"file length below header and data", bmp_header(0x100, 54, 4096, 4096, 24, 0x3000000),
         rule + "file length 0x100 < 0x3000036\n" + refused},
        {"every field at its top", bmp_header(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 32, 0xFFFFFFFF),
         rule + "offset size 0xFFFFFFFF != 0x36\n" + refused},
    };
    for (const sheet_case& c : cases) {
        const auto result = run_sheet(c.header);
        EXPECT_EQ(result.status, 1) << c.what;
        EXPECT_EQ(result.out, c.lines) << c.what;
        EXPECT_EQ(result.err, "") << c.what;
    }
}

// A header that claims 4 GiB of pixels in a file of a few bytes is refused
// before the pixel buffer is sized: under a limit of 1 GiB of memory the
// short file's own line comes, not "error: memory exhaust!".
TEST(HostileSheets, AShortFileClaimingHugeRowsIsRefusedBeforeItsBuffersAreSized) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "a virtual memory limit can't be set under AddressSanitizer; skipping";
#endif
    tool_dir run;
    bytes sheet = bmp_header(0, 1078, 65535, 65535, 8, 0);
    sheet.resize(1078 + 100, 0);
    test_support::write_file(run.dir / "sheet.bmp", sheet);
    const std::string command = "ulimit -v 1048576; cd " + test_support::shell_quote(run.dir.path.string()) +
                                " && " + test_support::shell_quote(QARVEX_BINARY) +
                                " -s sheet.bmp -o map.bmp </dev/null >out.txt 2>&1";
    const int raw = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1);
    EXPECT_EQ(test_support::read_file(run.dir / "out.txt"),
              data0 + "FFFF0000\n" + file0 + "error: read_bitmap() - can't read bitmap data\n"
              "error: read 'sheet.bmp'\nerror: read shape bitmap 'sheet.bmp'\n");
}

// A picture of no rows but rows of 2 GiB each: nothing is to be read, and
// under a limit of 1 GiB of memory no row buffer may be sized for it; the
// sheet is then refused for its size.
TEST(HostileSheets, APictureWithoutRowsSizesNoRowBuffer) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "a virtual memory limit can't be set under AddressSanitizer; skipping";
#endif
    tool_dir run;
    test_support::write_file(run.dir / "sheet.bmp", bmp_header(0, 54, 0x1FFFFFFF, 0, 32, 0));
    const std::string command = "ulimit -v 1048576; cd " + test_support::shell_quote(run.dir.path.string()) +
                                " && " + test_support::shell_quote(QARVEX_BINARY) +
                                " -s sheet.bmp -o map.bmp </dev/null >out.txt 2>&1";
    const int raw = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1);
    EXPECT_EQ(test_support::read_file(run.dir / "out.txt"),
              data0 + "0\n" + file0 + "error: shape bitmap is too small\n"
              "error: read shape bitmap 'sheet.bmp'\n");
}
