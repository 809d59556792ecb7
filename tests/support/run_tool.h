// Running the built qarvex as a subprocess in a directory of the test's own,
// with a given standard input, and collecting what it printed.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace test_support {

struct tool_result {
    int status = -1; // exit status, or -1 when the program did not exit normally
    std::string out; // everything on standard output
    std::string err; // everything on standard error
};

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline void write_file(const std::filesystem::path& path, const std::vector<unsigned char>& bytes) {
    write_file(path, std::string(bytes.begin(), bytes.end()));
}

// Quotes one argument for /bin/sh.
inline std::string shell_quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

// A fresh, empty directory under the system's temporary folder, removed again
// when the test ends.
struct temp_dir {
    std::filesystem::path path;
    temp_dir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "qarvex-test-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        const char* made = mkdtemp(buffer.data());
        if (made != nullptr)
            path = made;
    }
    ~temp_dir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    std::filesystem::path operator/(const std::string& name) const { return path / name; }
};

// Runs program with args in dir. stdin_text == nullptr gives an empty
// standard input (/dev/null); otherwise the text is fed in.
inline tool_result run_program(const std::string& program, const std::vector<std::string>& args,
                               const std::filesystem::path& dir,
                               const std::string* stdin_text = nullptr) {
    const auto in_path = dir / ".stdin";
    const auto out_path = dir / ".stdout";
    const auto err_path = dir / ".stderr";
    std::string command = "cd " + shell_quote(dir.string()) + " && " + shell_quote(program);
    for (const auto& arg : args)
        command += " " + shell_quote(arg);
    if (stdin_text != nullptr) {
        write_file(in_path, *stdin_text);
        command += " <" + shell_quote(in_path.string());
    } else {
        command += " </dev/null";
    }
    command += " >" + shell_quote(out_path.string()) + " 2>" + shell_quote(err_path.string());
    const int raw = std::system(command.c_str());
    tool_result result;
    if (raw != -1 && WIFEXITED(raw))
        result.status = WEXITSTATUS(raw);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    std::error_code ignored;
    std::filesystem::remove(in_path, ignored);
    std::filesystem::remove(out_path, ignored);
    std::filesystem::remove(err_path, ignored);
    return result;
}

// Runs the built qarvex.
inline tool_result run_qarvex(const std::vector<std::string>& args,
                              const std::filesystem::path& dir,
                              const std::string* stdin_text = nullptr) {
    return run_program(QARVEX_BINARY, args, dir, stdin_text);
}

// The folder of real Apple II disk images, or an empty path when it is absent.
inline std::filesystem::path real_disks() {
    const std::filesystem::path dir = QARVEX_REAL_DISKS;
    std::error_code ignored;
    return std::filesystem::is_directory(dir, ignored) ? dir : std::filesystem::path();
}

} // namespace test_support

// Skips the current test, saying why, when the real disk images are absent.
#define REQUIRE_REAL_DISKS()                                                                       \
    do {                                                                                           \
        if (test_support::real_disks().empty())                                                    \
            GTEST_SKIP() << "real disk images not found at " QARVEX_REAL_DISKS "; skipping";       \
    } while (0)
