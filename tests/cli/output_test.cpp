// The output file and its overwrite question, end to end, mostly on a 16 x 16
// sheet of 1 x 1 tiles over a world of tile 5 (a 256 x 256 picture); stop signals
// and runs at once hit the long write of the demo disks' NTSC map. After each run
// the output holds the old file byte for byte or the whole new picture, alone.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <set>
#include <thread>
#include <tuple>

#include <sys/resource.h>
#include <sys/stat.h>

#include "bmp/bmp.h"
#include "support/run_tool.h"

namespace {

namespace fs = std::filesystem;
using namespace test_support;

const std::string old_bytes = "old contents";
std::string asked(const std::string& name) {
    return "'" + name + "' already exists\noverwrite ? (Y or N): ";
}
// The lines of an output that could not be opened (why, when the run knows) or
// was cut short while written.
std::string not_opened(const std::string& name, const std::string& why = "") {
    return "error: open '" + name + (why.empty() ? "'" : "' (" + why + ")") +
           "\nerror: write bitmap file '" + name + "'\n";
}
std::string not_written(const std::string& name) {
    return "error: write_bitmap() - can't write bitmap data\nerror: write bitmap '" + name +
           "'\nerror: write bitmap file '" + name + "'\n";
}

// A folder with a sheet whose tile t is grey t, a world map of tile 5, the
// arguments that draw it into out.bmp and, when asked, an old out.bmp.
struct tiny_run {
    temp_dir dir;
    std::vector<std::string> args{"-s", "sheet.bmp", "-d2", "world.dsk", "-o", "out.bmp"};
    explicit tiny_run(bool old_output = false) {
        std::vector<std::uint8_t> pixels(16 * 16 * 3);
        for (std::size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = static_cast<std::uint8_t>(i / 3);
        bitmap_header header{};
        EXPECT_EQ(create_bitmap_header(&header, 16, 16, 24), 0);
        std::FILE* sheet = std::fopen((dir / "sheet.bmp").c_str(), "wb");
        EXPECT_EQ(write_bitmap(sheet, &header, nullptr, pixels.data()), 0);
        std::fclose(sheet);
        write_file(dir / "world.dsk", std::string(65536, '\x05'));
        if (old_output)
            write_file(dir / "out.bmp", old_bytes);
    }
};

// The whole new picture: a header and 256 x 256 pixels of tile 5.
bool is_picture(const std::string& bmp) {
    return bmp.size() == 54 + 256 * 256 * 3 && bmp.starts_with("BM") &&
           bmp.find_first_not_of('\x05', 54) == std::string::npos;
}

// The entries of a folder in name order; with_bytes adds each file's bytes.
std::string listing(const fs::path& dir, bool with_bytes = false) {
    std::set<std::string> entries;
    for (const auto& entry : fs::directory_iterator(dir))
        entries.insert(entry.path().filename().string() +
                       (with_bytes && entry.is_regular_file() ? " " + read_file(entry) : ""));
    std::string text;
    for (const auto& line : entries)
        text += (text.empty() ? "" : ", ") + line;
    return text;
}

// Answers typed at the question over an old file; "--overwrite" asks nothing.
TEST(OutputFile, AnExistingFileIsReplacedOnlyAfterAYes) {
    const std::pair<std::string, bool> answers[] = {{"N\ny\n", false}, {"q\nno\ny\n", false},
                                                    {"", false},       {"x\nY\n", true},
                                                    {"  y", true},     {"--overwrite", true}};
    for (const auto& [typed, replaced] : answers) {
        tiny_run run(true);
        const bool ask = typed != "--overwrite";
        if (!ask)
            run.args.push_back(typed);
        const auto result = run_qarvex(run.args, run.dir.path, &typed);
        EXPECT_EQ(result.status, replaced ? 0 : 1) << typed;
        EXPECT_EQ(result.out + result.err,
                  (ask ? asked("out.bmp") : "") +
                      (replaced ? "" : "error: write bitmap file 'out.bmp'\n"));
        EXPECT_EQ(listing(run.dir.path), "out.bmp, sheet.bmp, world.dsk");
        const std::string bmp = read_file(run.dir / "out.bmp");
        EXPECT_TRUE(replaced ? is_picture(bmp) : bmp == old_bytes) << typed;
    }
}

// The script that runs qarvex as an ordinary user: as it is when the test is
// not root, as nobody when it is; empty when setpriv can't drop to nobody.
std::string as_ordinary_user() {
    const std::string as_nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    if (geteuid() != 0)
        return "exec \"$0\" \"$@\"";
    const bool can = std::system((as_nobody + " true 2>/dev/null").c_str()) == 0;
    return can ? "exec " + as_nobody + " \"$0\" \"$@\"" : "";
}

// As an ordinary user, a read-only file is refused as a directory, a missing
// folder, a folder that takes no new file and a full device are; nothing changes.
TEST(OutputFile, PathsThatCannotBeWrittenFailWithTheirLines) {
    const std::string script = as_ordinary_user();
    if (script.empty())
        GTEST_SKIP() << "root opens a read-only file, and setpriv can't drop to nobody; skipping";
    tiny_run run(true);
    fs::permissions(run.dir / "out.bmp", fs::perms::owner_read | fs::perms::group_read);
    fs::create_directory(run.dir / "dir.bmp");
    fs::create_directory(run.dir / "locked");
    fs::permissions(run.dir / "locked", fs::perms(0555));
    // The folder is open to all: only the output's own mode stands in the way.
    fs::permissions(run.dir.path, fs::perms::all);
    const auto before = listing(run.dir.path, true);
    const std::string outputs[] = {"out.bmp", "dir.bmp", "missing/out.bmp", "locked/new.bmp",
                                   "/dev/full"};
    const std::string typed = "y\n";
    auto unasked = run.args;
    unasked[3] = "missing.dsk";
    unasked.push_back("--overwrite");
    for (const auto& output : outputs) {
        run.args[5] = unasked[5] = output;
        const auto result = run_qarvex(run.args, run.dir.path, &typed, script);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out + result.err,
                  (fs::exists(run.dir / output) ? asked(output) : "") +
                      (output == "/dev/full" ? not_written(output) : not_opened(output)));
        // Asked nothing, a path that can't be written is refused before the
        // world disk (not there) is read; a device is opened as it comes.
        EXPECT_EQ(run_qarvex(unasked, run.dir.path, &typed, script).out,
                  output != "/dev/full"
                      ? not_opened(output)
                      : "error: open 'missing.dsk'\nerror: read image file 'missing.dsk'\n");
        EXPECT_EQ(listing(run.dir.path, true), before);
    }
}

// Files of root that nobody may write but not replace (a folder nobody may not
// write, a sticky folder, nobody's folder, a second link) are written in place
// after a line saying so.
TEST(OutputFile, AFileThatCannotBeReplacedIsWrittenInPlace) {
    const std::string script = as_ordinary_user();
    if (geteuid() != 0 || script.empty())
        GTEST_SKIP() << "files of another user take root and setpriv; skipping";
    tiny_run run;
    fs::permissions(run.dir.path, fs::perms::all);
    const std::tuple<std::string, fs::perms, std::string> cases[] = {
        {"locked", fs::perms(0755), "its folder takes no new file"},
        {"sticky", fs::perms(01777), "its folder's sticky bit forbids the rename"},
        {"nobody", fs::perms(0755), "a new file could not keep its owner"},
        {"linked", fs::perms(0777), "it has other hard links, which stay one file"},
    };
    run.args.push_back("--overwrite");
    for (const auto& [folder, mode, why] : cases) {
        fs::create_directory(run.dir / folder);
        fs::permissions(run.dir / folder, mode);
        const fs::path out = run.dir / folder / "out.bmp";
        // Longer than the picture: the file is cut to it.
        write_file(out, std::string(300000, 'x'));
        fs::permissions(out, fs::perms(0666));
        if (folder == "linked")
            fs::create_hard_link(out, run.dir / folder / "link.bmp");
        ASSERT_TRUE(folder != "nobody" || chown((run.dir / folder).c_str(), 65534, 65534) == 0);
        struct stat before = {}, after = {};
        stat(out.c_str(), &before);
        run.args[5] = folder + "/out.bmp";
        const auto result = run_qarvex(run.args, run.dir.path, nullptr, script);
        EXPECT_EQ(result.status, 0) << folder;
        EXPECT_EQ(result.out, "warning: '" + run.args[5] +
                                  "' is written in place, not replaced atomically: " + why + "\n");
        stat(out.c_str(), &after);
        EXPECT_TRUE(after.st_ino == before.st_ino && after.st_uid == 0) << folder;
        EXPECT_TRUE(is_picture(read_file(out))) << folder;
        EXPECT_EQ(listing(run.dir / folder), folder == "linked" ? "link.bmp, out.bmp" : "out.bmp");
    }
}

// A file size limit ends the run by its signal (status 153) or, ignored, fails
// the write; so does a full disk, where a file written in place is refused before
// it changes; a read-only file system is named before anything is read.
TEST(OutputFile, AFileSizeLimitOrAFullDiskLeavesTheOldFile) {
    tiny_run run(true);
    run.args.push_back("--overwrite");
    for (const std::string trap : {"", "trap '' XFSZ; "}) {
        const auto result = run_qarvex(run.args, run.dir.path, nullptr,
                                       "(" + trap + "ulimit -f 100; exec \"$0\" \"$@\")");
        EXPECT_EQ(result.status, trap.empty() ? 128 + SIGXFSZ : 1);
        EXPECT_EQ(result.out, trap.empty() ? "" : not_written("out.bmp"));
        EXPECT_EQ(listing(run.dir.path), "out.bmp, sheet.bmp, world.dsk");
        EXPECT_EQ(read_file(run.dir / "out.bmp"), old_bytes);
    }
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
    const std::string typed = "y\n", name = "small/out.bmp";
    run.args[5] = name;
    run.args.pop_back();
    write_file(small / "out.bmp", old_bytes);
    // Asked, then with "--overwrite"; then beside a second link (written in
    // place: room taken first), then on the file system made read-only.
    for (int step = 0; step < 4; ++step) {
        if (step == 1)
            run.args.push_back("--overwrite");
        if (step == 2)
            fs::create_hard_link(small / "out.bmp", small / "link.bmp");
        if (step == 3)
            run.args[3] = "missing.dsk";
        const std::string remount = "mount -o remount,ro " + shell_quote(small.string());
        EXPECT_TRUE(step < 3 || std::system(remount.c_str()) == 0);
        const auto result = run_qarvex(run.args, run.dir.path, &typed);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, step < 2 ? (step == 0 ? asked(name) : "") + not_written(name)
                                       : not_opened(name, step == 2 ? "no space left on the device"
                                                                    : "read-only file system"));
        EXPECT_EQ(listing(small), step < 2 ? "out.bmp" : "link.bmp, out.bmp");
        EXPECT_EQ(read_file(small / "out.bmp"), old_bytes);
    }
}

TEST(OutputFile, AnInputIsNeverTheOutputHoweverItIsSpelt) {
    tiny_run run;
    write_file(run.dir / "prog.dsk", "program disk");
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
    const fs::path real = run.dir / "maps" / "real.bmp";
    const auto odd_mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read;
    // A link of one letter, its text relative; then, named from its folder,
    // longer than a first read of a link takes, and absolute.
    run.args.push_back("--overwrite");
    const std::string long_link = "." + std::string(300, '/') + "maps/real.bmp";
    for (const std::string& link : {std::string("maps/real.bmp"), long_link, real.string()}) {
        run.args[5] = link == long_link || link == real.string() ? "./o" : "o";
        write_file(real, old_bytes);
        fs::permissions(real, odd_mode);
        fs::remove(run.dir / "o");
        fs::create_symlink(link, run.dir / "o");
        // Root gives the old file away: the new one is given to the same owner.
        EXPECT_TRUE(geteuid() != 0 || chown(real.c_str(), 65534, getegid()) == 0);
        struct stat before = {}, after = {};
        stat(real.c_str(), &before);
        EXPECT_EQ(run_qarvex(run.args, run.dir.path).status, 0);
        EXPECT_EQ(fs::read_symlink(run.dir / "o"), link);
        stat(real.c_str(), &after);
        EXPECT_NE(after.st_ino, before.st_ino); // replaced, not written over in place
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(fs::status(real).permissions(), odd_mode);
        EXPECT_TRUE(is_picture(read_file(real))) << link;
        EXPECT_EQ(listing(run.dir / "maps"), "real.bmp");
    }
    // A new file is written without a question, with the usual mode under the
    // run's umask, past a stale temporary file of an earlier run with its id
    // (the shell's, which exec passes on).
    run.args[5] = "new.bmp";
    run.args.pop_back();
    const auto fresh =
        run_qarvex(run.args, run.dir.path, nullptr,
                   "umask 027; printf $$ >id; : >.qarvex-$$-0.tmp; exec \"$0\" \"$@\"");
    EXPECT_EQ(fresh.status, 0);
    EXPECT_EQ(fresh.out + fresh.err, "");
    EXPECT_TRUE(is_picture(read_file(run.dir / "new.bmp")));
    EXPECT_EQ(fs::status(run.dir / "new.bmp").permissions(), fs::perms(0640));
    EXPECT_EQ(listing(run.dir.path), ".qarvex-" + read_file(run.dir / "id") +
                                         "-0.tmp, id, maps, new.bmp, o, sheet.bmp, world.dsk");
}

// Standard output by every name, over a file opened both ways or a pipe: the
// picture lands between the lines before and after it, and nothing is lost.
TEST(OutputFile, StandardOutputTakesThePictureWhereItStands) {
    tiny_run run;
    run.args.push_back("--overwrite");
    for (const std::string name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1", "all.bin"}) {
        for (const std::string redirect : {">", ">>", "| cat >"}) {
            if (name == "all.bin" && redirect.starts_with("|"))
                continue; // the file itself, not the pipe, would be the output
            write_file(run.dir / "all.bin", "OLD\n");
            run.args[5] = name;
            run_qarvex(run.args, run.dir.path, nullptr,
                       "{ echo HEADER; \"$0\" \"$@\"; echo $? >status; echo FOOTER; }" + redirect +
                           "all.bin");
            const std::string all = read_file(run.dir / "all.bin");
            const std::string head = redirect == ">>" ? "OLD\nHEADER\n" : "HEADER\n";
            EXPECT_EQ(read_file(run.dir / "status"), "0\n");
            EXPECT_TRUE(all.starts_with(head) && all.ends_with("FOOTER\n") &&
                        is_picture(all.substr(head.size(), all.size() - head.size() - 7)))
                << name << redirect;
            EXPECT_EQ(listing(run.dir.path), "all.bin, sheet.bmp, status, world.dsk");
        }
    }
}

#if defined(QARVEX_DEMO)

// Every signal that ends a process by default and may be caught.
const int stop_signals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM, SIGPIPE,   SIGALRM, SIGUSR1,
                            SIGUSR2, SIGXFSZ, SIGXCPU, SIGPROF, SIGVTALRM, SIGPOLL, SIGRTMIN};

// The demo disks under their default names, and the arguments of an NTSC run
// over map.bmp in their folder.
struct ntsc_run {
    temp_dir dir;
    fs::path map = dir / "map.bmp";
    std::vector<std::string> args{QARVEX_BINARY, "-B", "-B", "-o", "map.bmp", "--overwrite"};
    ntsc_run() { EXPECT_EQ(run_program(QARVEX_DEMO, {dir.path.string()}, dir.path).status, 0); }
    // Starts qarvex quietly in the folder, with the stop signals at their
    // defaults and no core dumps.
    pid_t start(const std::vector<std::string>& with) const {
        std::vector<char*> argv;
        for (const auto& a : with)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            for (const int signal_number : stop_signals)
                std::signal(signal_number, SIG_DFL);
            const rlimit no_core{0, 0};
            setrlimit(RLIMIT_CORE, &no_core);
            if (chdir(dir.path.c_str()) == 0 && std::freopen("/dev/null", "w", stdout) != nullptr)
                execv(argv[0], argv.data());
            _exit(127);
        }
        return pid;
    }
    static int wait_for(pid_t pid) {
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        return status;
    }
    // Starts runs, each after reset(), until one is held once its temporary
    // file, named for its process id, has `at` bytes (on a busy machine a run
    // may end first): its id, or 0 after 20 tries.
    template <typename Reset>
    pid_t start_held(const std::vector<std::string>& with, std::uintmax_t at, Reset reset) const {
        for (int tries = 0; tries < 20; ++tries) {
            reset();
            const pid_t pid = start(with);
            const fs::path temp = dir.path / (".qarvex-" + std::to_string(pid) + "-0.tmp");
            int status = 0;
            while (waitpid(pid, &status, WNOHANG) == 0) {
                if (std::error_code none; fs::file_size(temp, none) >= at && !none) {
                    kill(pid, SIGSTOP);
                    EXPECT_EQ(waitpid(pid, &status, WUNTRACED), pid);
                    if (WIFSTOPPED(status))
                        return pid;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
        return 0;
    }
    bool map_is(const std::string& name) const {
        return std::system(("cd " + shell_quote(dir.path.string()) + " && cmp -s map.bmp " + name)
                               .c_str()) == 0;
    }
};

TEST(OutputFile, StopSignalsAndRunsAtOnceLeaveTheOldMapOrAWholeOne) {
    ntsc_run run;
    auto blurred = run.args;
    blurred.erase(blurred.begin() + 1); // one "-B": the 4-bit map
    for (auto [with, name] : {std::pair{run.args, "ntsc.bmp"}, {blurred, "blurred.bmp"}}) {
        with[with.size() - 2] = name; // the map each later run is compared with
        ASSERT_EQ(ntsc_run::wait_for(run.start(with)), 0);
    }
    const std::string files = "KQboot.dsk, blurred.bmp, kqvellmara.dsk, map.bmp, ntsc.bmp";
    const std::string without_map = "KQboot.dsk, blurred.bmp, kqvellmara.dsk, ntsc.bmp";
    for (const int signal_number : stop_signals) {
        // Early in the write (its first bytes) and half-way.
        for (const std::uintmax_t at : {16, 88 << 20}) {
            const bool fresh = signal_number == SIGTERM; // no old map: none may be left
            const pid_t pid = run.start_held(run.args, at, [&] {
                fs::remove(run.map);
                if (!fresh)
                    write_file(run.map, old_bytes);
            });
            ASSERT_NE(pid, 0) << signal_number << " at " << at;
            kill(pid, signal_number);
            kill(pid, SIGCONT);
            const int status = ntsc_run::wait_for(pid);
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number)
                << signal_number << " at " << at;
            EXPECT_EQ(listing(run.dir.path), fresh ? without_map : files);
            EXPECT_TRUE(fresh || (fs::file_size(run.map) == old_bytes.size()
                                      ? read_file(run.map) == old_bytes
                                      : run.map_is("ntsc.bmp")));
        }
    }
    // Started together, twice; then the 4-bit run from start to end while the
    // NTSC run is held in the middle of its write (written in place, the NTSC
    // run's last bytes would land on the 4-bit map).
    for (int round = 0; round < 3; ++round) {
        const bool held = round == 2;
        const auto reset = [&] { write_file(run.map, old_bytes); };
        const pid_t first =
            held ? run.start_held(run.args, 64 << 20, reset) : (reset(), run.start(run.args));
        ASSERT_NE(first, 0);
        EXPECT_EQ(ntsc_run::wait_for(run.start(blurred)), 0);
        if (held)
            kill(first, SIGCONT);
        EXPECT_EQ(ntsc_run::wait_for(first), 0);
        EXPECT_TRUE(run.map_is("ntsc.bmp") || (!held && run.map_is("blurred.bmp")));
        EXPECT_EQ(listing(run.dir.path), files);
    }
}

#endif

} // namespace
