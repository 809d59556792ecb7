// Running the built qarvex as a subprocess in a directory of the test's own,
// with a given standard input, and collecting what it printed.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
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
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline void write_file(const std::filesystem::path& path, const std::vector<unsigned char>& bytes) {
    write_file(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// The bytes written in hexadecimal digits, spaces between them ignored.
inline std::vector<std::uint8_t> from_hex(std::string text) {
    std::erase(text, ' ');
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return out;
}

// Quotes one argument for /bin/sh.
inline std::string shell_quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// A fresh, empty directory under the system's temporary folder, removed again
// when the test ends.
struct temp_dir {
    std::filesystem::path path;
    temp_dir() {
        std::string name = (std::filesystem::temp_directory_path() / "qarvex-test-XXXXXX").string();
        if (mkdtemp(name.data()) != nullptr)
            path = name;
    }
    ~temp_dir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    std::filesystem::path operator/(const std::string& name) const { return path / name; }
};

// Runs program with args in dir, the text fed in as its standard input
// (stdin_text == nullptr: an empty one).
inline tool_result run_program(const std::string& program, const std::vector<std::string>& args,
                               const std::filesystem::path& dir,
                               const std::string* stdin_text = nullptr) {
    const auto in = dir / ".stdin", out = dir / ".stdout", err = dir / ".stderr";
    std::string command = "cd " + shell_quote(dir.string()) + " && " + shell_quote(program);
    for (const auto& arg : args)
        command += " " + shell_quote(arg);
    write_file(in, stdin_text != nullptr ? *stdin_text : "");
    command += " <" + shell_quote(in.string()) + " >" + shell_quote(out.string()) + " 2>" +
               shell_quote(err.string());
    const int raw = std::system(command.c_str());
    tool_result result{raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file(out),
                       read_file(err)};
    std::error_code ignored;
    for (const auto& file : {in, out, err})
        std::filesystem::remove(file, ignored);
    return result;
}

// Runs qarvex: $QARVEX_BINARY when set (the WebAssembly build's
// build/web/node/qarvex, say), else the one built beside the tests; with a
// script, through /bin/sh -c script, where "$0" "$@" are qarvex and its arguments.
inline tool_result run_qarvex(std::vector<std::string> args, const std::filesystem::path& dir,
                              const std::string* stdin_text = nullptr,
                              const std::string& script = "") {
    const char* chosen = std::getenv("QARVEX_BINARY");
    const std::string binary = chosen != nullptr && *chosen != '\0' ? chosen : QARVEX_BINARY;
    if (script.empty())
        return run_program(binary, args, dir, stdin_text);
    args.insert(args.begin(), {"-c", script, binary});
    return run_program("/bin/sh", args, dir, stdin_text);
}

} // namespace test_support
