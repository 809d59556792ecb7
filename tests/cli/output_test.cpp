// The output file and its overwrite question, end to end. Most runs draw a
// 16 x 16 tile sheet of 1 x 1 tiles over a raw world map: a 256 x 256 picture,
// small enough to run many times. Stop signals and runs at once use the 176 MB
// NTSC map of the demo disks, whose write lasts long enough to be hit. After
// every run the output holds the old file byte for byte or the whole new
// picture, and nothing else is left beside it.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bmp/bmp.h"
#include "support/run_tool.h"

namespace {

namespace fs = std::filesystem;
using test_support::read_file;
using test_support::run_program;
using test_support::run_qarvex;
using test_support::shell_quote;
using test_support::temp_dir;
using test_support::write_file;

// A 16 x 16 24-bit sheet: tile t is one pixel of blue 7, green 255 - t, red t.
void write_tiny_sheet(const fs::path& path) {
    std::vector<std::uint8_t> pixels;
    for (int t = 0; t < 256; ++t) {
        pixels.insert(pixels.end(),
                      {7, static_cast<std::uint8_t>(255 - t), static_cast<std::uint8_t>(t)});
    }
    bitmap_header header{};
    ASSERT_EQ(create_bitmap_header(&header, 16, 16, 24), 0);
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(write_bitmap(file, &header, nullptr, pixels.data()), 0);
    std::fclose(file);
}

// A folder with the sheet, a world map of tile 5 everywhere, and the
// arguments that draw it into out.bmp.
struct tiny_run {
    temp_dir dir;
    std::vector<std::string> args{"-s", "sheet.bmp", "-d2", "world.dsk", "-o", "out.bmp"};
    tiny_run() {
        write_tiny_sheet(dir / "sheet.bmp");
        write_file(dir / "world.dsk", std::string(65536, '\x05'));
    }
};

// The entries of a folder in name order; with_bytes adds a hash of each
// file's bytes and the target of each link.
std::string listing(const fs::path& dir, bool with_bytes = false) {
    std::set<std::string> entries;
    for (const auto& entry : fs::directory_iterator(dir)) {
        std::string line = entry.path().filename().string();
        if (with_bytes && entry.is_symlink())
            line += " -> " + fs::read_symlink(entry.path()).string();
        else if (with_bytes && entry.is_regular_file())
            line += " " + std::to_string(std::hash<std::string>{}(read_file(entry.path())));
        entries.insert(line);
    }
    std::string text;
    for (const auto& line : entries)
        text += (text.empty() ? "" : ", ") + line;
    return text;
}

const std::string old_bytes = "old contents";
const std::string question = "'out.bmp' already exists\noverwrite ? (Y or N): ";
const std::string refusal = "error: write bitmap file 'out.bmp'\n";
constexpr std::size_t picture_bytes = 54 + 256 * 256 * 3;
const std::string tile_5("\x07\xFA\x05", 3);

// Runs qarvex through /bin/sh: script ends with an exec of "$0" "$@".
test_support::tool_result run_in_shell(const std::string& script, std::vector<std::string> args,
                                       const fs::path& dir, const std::string* typed = nullptr) {
    args.insert(args.begin(), {"-c", script, QARVEX_BINARY});
    return run_program("/bin/sh", args, dir, typed);
}

TEST(OutputFile, AnExistingFileIsReplacedOnlyAfterAYes) {
    struct answer_case {
        const char* typed; // null: standard input closed
        bool replaced;
    };
    const answer_case cases[] = {
        {"n\n", false},   {"N", false},    {"", false},   {"\n\n  \n", false},   {nullptr, false},
        {"x\nY\n", true}, {"yes\n", true}, {"  y", true}, {"q\nno\ny\n", false},
    };
    for (const auto& c : cases) {
        tiny_run run;
        write_file(run.dir / "out.bmp", old_bytes);
        const std::string typed = c.typed != nullptr ? c.typed : "";
        const auto result = c.typed != nullptr
                                ? run_qarvex(run.args, run.dir.path, &typed)
                                : run_in_shell("exec \"$0\" \"$@\" <&-", run.args, run.dir.path);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(listing(run.dir.path), "out.bmp, sheet.bmp, world.dsk");
        const std::string bmp = read_file(run.dir / "out.bmp");
        if (c.replaced) {
            EXPECT_EQ(result.status, 0) << typed;
            EXPECT_EQ(result.out, question) << typed;
            ASSERT_EQ(bmp.size(), picture_bytes) << typed;
            // Tile 5 everywhere: blue 7, green 250, red 5.
            EXPECT_EQ(bmp.substr(54, 3), tile_5);
            EXPECT_EQ(bmp.substr(bmp.size() - 3), tile_5);
        } else {
            EXPECT_EQ(result.status, 1) << typed;
            EXPECT_EQ(result.out, question + refusal) << typed;
            EXPECT_EQ(bmp, old_bytes) << typed;
        }
    }
    // A fresh path is written without a question, an existing one with
    // "--overwrite" too.
    tiny_run run;
    for (int pass = 0; pass < 2; ++pass) {
        const auto result = run_qarvex(run.args, run.dir.path);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out + result.err, "");
        EXPECT_EQ(read_file(run.dir / "out.bmp").size(), picture_bytes);
        write_file(run.dir / "out.bmp", old_bytes);
        run.args.push_back("--overwrite");
    }
}

TEST(OutputFile, PathsThatCannotBeWrittenFailWithTheirLines) {
    {
        // A directory is asked about, then refused at the open.
        tiny_run run;
        fs::create_directory(run.dir / "out.bmp");
        const std::string typed = "y\n";
        const auto result = run_qarvex(run.args, run.dir.path, &typed);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, question + "error: open 'out.bmp'\n" + refusal);
    }
    {
        tiny_run run;
        run.args[5] = "missing/out.bmp";
        const auto result = run_qarvex(run.args, run.dir.path);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out,
                  "error: open 'missing/out.bmp'\nerror: write bitmap file 'missing/out.bmp'\n");
    }
    if (fs::exists("/dev/full")) {
        // A full device takes the open but not the bytes.
        tiny_run run;
        run.args[5] = "/dev/full";
        run.args.push_back("--overwrite");
        const auto result = run_qarvex(run.args, run.dir.path);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "error: write_bitmap() - can't write bitmap data\n"
                              "error: write bitmap '/dev/full'\n"
                              "error: write bitmap file '/dev/full'\n");
    }
}

TEST(OutputFile, AReadOnlyFileIsRefusedToAnOrdinaryUser) {
    tiny_run run;
    write_file(run.dir / "out.bmp", old_bytes);
    fs::permissions(run.dir / "out.bmp", fs::perms::owner_read | fs::perms::group_read);
    // The folder is open to all: only the file's own mode stands in the way.
    fs::permissions(run.dir.path, fs::perms::all);
    std::string script = "exec \"$0\" \"$@\"";
    if (geteuid() == 0) {
        const std::string as_nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";
        if (std::system((as_nobody + " true 2>/dev/null").c_str()) != 0)
            GTEST_SKIP() << "root opens a read-only file anyway, and setpriv can't drop to "
                            "nobody here; skipping";
        script = "exec " + as_nobody + " \"$0\" \"$@\"";
    }
    const auto before = listing(run.dir.path, true);
    run.args.push_back("--overwrite");
    const auto result = run_in_shell(script, run.args, run.dir.path);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "error: open 'out.bmp'\n" + refusal);
    EXPECT_EQ(listing(run.dir.path, true), before);
}

TEST(OutputFile, AFullDiskLeavesTheOldFile) {
    tiny_run run;
    const fs::path small = run.dir / "small";
    fs::create_directory(small);
    // Room for the old file, not for the 196,662-byte picture.
    const std::string mount = "mount -t tmpfs -o size=64k tmpfs " + shell_quote(small.string());
    if (std::system((mount + " 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "can't mount a small tmpfs here (it takes root); skipping";
    struct unmount_at_end {
        std::string command;
        ~unmount_at_end() { EXPECT_EQ(std::system(command.c_str()), 0); }
    } unmount{"umount " + shell_quote(small.string())};
    run.args = {"-s", "../sheet.bmp", "-d2", "../world.dsk", "-o", "out.bmp"};
    const std::string lines = "error: write_bitmap() - can't write bitmap data\n"
                              "error: write bitmap 'out.bmp'\n" +
                              refusal;
    for (const bool ask : {true, false}) {
        write_file(small / "out.bmp", old_bytes);
        const std::string typed = "y\n";
        if (!ask)
            run.args.push_back("--overwrite");
        const auto result = run_qarvex(run.args, small, &typed);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, (ask ? question : "") + lines);
        EXPECT_EQ(listing(small), "out.bmp");
        EXPECT_EQ(read_file(small / "out.bmp"), old_bytes);
    }
}

TEST(OutputFile, AnInputIsNeverTheOutputHoweverItIsSpelt) {
    tiny_run run;
    write_file(run.dir / "prog.dsk", std::string("program disk"));
    fs::create_directory(run.dir / "sub");
    fs::create_symlink("world.dsk", run.dir / "link.dsk");
    fs::create_hard_link(run.dir / "sheet.bmp", run.dir / "hard.bmp");
    const auto before = listing(run.dir.path, true);
    const std::pair<std::string, std::string> cases[] = {
        {"./sheet.bmp", "sheet.bmp"}, {(run.dir / "sheet.bmp").string(), "sheet.bmp"},
        {"hard.bmp", "sheet.bmp"},    {"sub/../world.dsk", "world.dsk"},
        {"link.dsk", "world.dsk"},    {"./prog.dsk", "prog.dsk"},
    };
    for (const auto& [output, input] : cases) {
        const auto result = run_qarvex(
            {"-d1", "prog.dsk", "-s", "sheet.bmp", "-d2", "world.dsk", "-o", output, "--overwrite"},
            run.dir.path);
        EXPECT_EQ(result.status, 1) << output;
        EXPECT_EQ(result.out,
                  "error: output '" + output + "' is the same file as '" + input + "'\n");
        EXPECT_EQ(listing(run.dir.path, true), before) << output;
    }
}

TEST(OutputFile, ALinkStaysALinkAndModesStayAsTheyWere) {
    tiny_run run;
    fs::create_directory(run.dir / "maps");
    write_file(run.dir / "maps" / "real.bmp", old_bytes);
    const auto odd_mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read;
    fs::permissions(run.dir / "maps" / "real.bmp", odd_mode);
    fs::create_symlink("maps/real.bmp", run.dir / "out.bmp");
    // Root gives the old file away: the new one is given to the same owner.
    EXPECT_TRUE(geteuid() != 0 ||
                chown((run.dir / "maps" / "real.bmp").c_str(), 65534, 65534) == 0);
    struct stat before {};
    struct stat after {};
    stat((run.dir / "out.bmp").c_str(), &before);
    run.args.push_back("--overwrite");
    EXPECT_EQ(run_qarvex(run.args, run.dir.path).status, 0);
    EXPECT_EQ(fs::read_symlink(run.dir / "out.bmp"), "maps/real.bmp");
    stat((run.dir / "out.bmp").c_str(), &after);
    EXPECT_NE(after.st_ino, before.st_ino); // replaced, not written over in place
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(fs::status(run.dir / "out.bmp").permissions(), odd_mode);
    EXPECT_EQ(read_file(run.dir / "out.bmp").size(), picture_bytes);
    EXPECT_EQ(listing(run.dir / "maps"), "real.bmp");
    // A new file has the usual mode under the run's umask.
    run.args[5] = "new.bmp";
    EXPECT_EQ(run_in_shell("umask 027; exec \"$0\" \"$@\"", run.args, run.dir.path).status, 0);
    EXPECT_EQ(fs::status(run.dir / "new.bmp").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(listing(run.dir.path), "maps, new.bmp, out.bmp, sheet.bmp, world.dsk");
}

TEST(OutputFile, StandardOutputTakesThePicture) {
    tiny_run run;
    // Standard output by the name whose folder no fault could write to (not
    // /dev/stdout: /dev is the machine's own). First a file, then a pipe.
    run.args[5] = "/dev/fd/1";
    run.args.push_back("--overwrite");
    const auto to_file = run_qarvex(run.args, run.dir.path);
    EXPECT_EQ(to_file.status, 0);
    EXPECT_EQ(to_file.out.size(), picture_bytes);
    const auto piped = run_in_shell("{ \"$0\" \"$@\"; echo $? >status; } | cat >piped.bmp",
                                    run.args, run.dir.path);
    EXPECT_EQ(read_file(run.dir / "status"), "0\n");
    EXPECT_EQ(read_file(run.dir / "piped.bmp"), to_file.out);
    EXPECT_EQ(listing(run.dir.path), "piped.bmp, sheet.bmp, status, world.dsk");
}

TEST(OutputFile, AnOutputNamedLikeAnOptionIsStillAName) {
    tiny_run run;
    run.args[5] = "-g";
    EXPECT_EQ(run_qarvex(run.args, run.dir.path).status, 0);
    // "-g" was the output's name, so no moon gate is drawn at phase 1's place
    // (map position 224, 133).
    const std::size_t gate_at = 54 + (255 - 133) * 768 + 224 * 3;
    EXPECT_EQ(read_file(run.dir / "-g").substr(gate_at, 3), tile_5);
}

#if defined(QARVEX_DEMO)

// The demo disks and the arguments of an NTSC run over map.bmp, all paths whole.
struct ntsc_run {
    temp_dir dir;
    fs::path map = dir / "map.bmp";
    std::vector<std::string> args{QARVEX_BINARY, "-d1", (dir / "KQboot.dsk").string(), "-d2",
                                  (dir / "kqvellmara.dsk").string()};
    ntsc_run() {
        EXPECT_EQ(run_program(QARVEX_DEMO, {dir.path.string()}, dir.path).status, 0);
        args.insert(args.end(), {"-B", "-B", "-o", map.string(), "--overwrite"});
    }
    // Starts qarvex quietly, with the stop signals at their defaults.
    pid_t start(const std::vector<std::string>& with) const {
        std::vector<char*> argv;
        for (const auto& a : with)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            std::signal(SIGINT, SIG_DFL);
            std::signal(SIGTERM, SIG_DFL);
            if (std::freopen("/dev/null", "w", stdout) != nullptr)
                execv(argv[0], argv.data());
            _exit(127);
        }
        return pid;
    }
    // Holds a run once its temporary file (or, written in place, the map) has
    // `at` bytes; false when the run ended first, *status saying how.
    bool hold_at(pid_t pid, std::uintmax_t at, int* status) const {
        while (waitpid(pid, status, WNOHANG) == 0) {
            std::error_code none;
            std::uintmax_t written = fs::file_size(map, none);
            for (const auto& entry : fs::directory_iterator(dir.path)) {
                if (entry.path().filename().string().rfind(".qarvex-", 0) == 0)
                    written = fs::file_size(entry.path(), none);
            }
            if (written != static_cast<std::uintmax_t>(-1) && written >= at) {
                kill(pid, SIGSTOP);
                EXPECT_EQ(waitpid(pid, status, WUNTRACED), pid);
                return WIFSTOPPED(*status);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return false;
    }
    bool map_is(const std::string& name) const {
        const std::string other = (dir / name).string();
        return std::system(
                   ("cmp -s " + shell_quote(map.string()) + " " + shell_quote(other)).c_str()) == 0;
    }
};

int wait_for(pid_t pid) {
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    return status;
}

TEST(OutputFile, StopSignalsDuringTheWriteLeaveTheOldMap) {
    ntsc_run run;
    auto whole = run.args;
    whole[8] = (run.dir / "whole.bmp").string();
    ASSERT_EQ(wait_for(run.start(whole)), 0);
    for (const int signal_number : {SIGINT, SIGTERM}) {
        // Early in the write (after the first 1 MiB), half-way, near its end.
        for (const std::uintmax_t at : {16, 88 << 20, 168 << 20}) {
            write_file(run.map, old_bytes);
            const pid_t pid = run.start(run.args);
            int status = 0;
            if (run.hold_at(pid, at, &status)) {
                kill(pid, signal_number);
                kill(pid, SIGCONT);
                status = wait_for(pid);
                EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << at;
            }
            EXPECT_EQ(listing(run.dir.path), "KQboot.dsk, kqvellmara.dsk, map.bmp, whole.bmp");
            EXPECT_TRUE(fs::file_size(run.map) == old_bytes.size() ? read_file(run.map) == old_bytes
                                                                   : run.map_is("whole.bmp"));
        }
    }
}

TEST(OutputFile, RunsAtOnceLeaveOneWholeMap) {
    ntsc_run run;
    auto blurred = run.args;
    blurred.erase(blurred.begin() + 6); // one "-B": the 4-bit map
    for (const auto& [with, name] :
         {std::pair{run.args, "ntsc.bmp"}, std::pair{blurred, "blurred.bmp"}}) {
        auto alone = with;
        alone[alone.size() - 2] = (run.dir / name).string();
        ASSERT_EQ(wait_for(run.start(alone)), 0);
    }
    // Started together, twice; then the 4-bit run from start to end while the
    // NTSC run is held in the middle of its write (written in place, the NTSC
    // run's last bytes would land on the 4-bit map).
    for (int round = 0; round < 3; ++round) {
        write_file(run.map, old_bytes);
        const pid_t first = run.start(run.args);
        int status = 0;
        const bool held = round == 2 && run.hold_at(first, 64 << 20, &status);
        const pid_t second = run.start(blurred);
        EXPECT_EQ(wait_for(second), 0);
        if (held)
            kill(first, SIGCONT);
        EXPECT_EQ(round < 2 || held ? wait_for(first) : status, 0);
        EXPECT_TRUE(run.map_is("ntsc.bmp") || (!held && run.map_is("blurred.bmp")));
        EXPECT_EQ(listing(run.dir.path),
                  "KQboot.dsk, blurred.bmp, kqvellmara.dsk, map.bmp, ntsc.bmp");
    }
}

#endif

} // namespace
