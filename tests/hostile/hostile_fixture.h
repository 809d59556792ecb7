// Disks, pictures and tool runs for the hostile-input tests: a program disk
// holding the two shape files, a world disk, a small tile sheet, and the built
// qarvex run in a folder of its own with any standard input, a closed one
// included.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "diskbuild.h"
#include "support/run_tool.h"

namespace hostile {

using bytes = std::vector<std::uint8_t>;

inline const std::string shape0 = "S\x01HP0";
inline const std::string shape1 = "S\x01HP1";

// A good program disk: the two 4096-byte shape files, binary, one after the other.
inline built_disk program_disk() {
    built_disk disk{};
    start_disk(&disk);
    add_file(&disk, shape0, 0x04, binary_file_contents(0x6000, bytes(4096, 0x2A)));
    add_file(&disk, shape1, 0x04, binary_file_contents(0x6000, bytes(4096, 0x55)));
    return disk;
}

// What the run prints after the disk layer's own lines when the program disk fails.
inline std::string shapes_failed(const std::string& lines) {
    return lines + "error: read shapes from disk image\n";
}

inline void put32(bytes* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void put16(bytes* out, std::uint16_t v) {
    out->push_back(static_cast<std::uint8_t>(v));
    out->push_back(static_cast<std::uint8_t>(v >> 8));
}

// The 54 header bytes with these fields; the rest as the writer sets them.
inline bytes bmp_header(std::uint32_t file_length, std::uint32_t offset, std::uint32_t width,
                        std::uint32_t height, std::uint16_t bits, std::uint32_t data_length) {
    bytes out = {'B', 'M'};
    put32(&out, file_length);
    put32(&out, 0);
    put32(&out, offset);
    put32(&out, 40);
    put32(&out, width);
    put32(&out, height);
    put16(&out, 1);
    put16(&out, bits);
    for (std::uint32_t v : {0u, data_length, 0u, 0u, 0u, 0u}) put32(&out, v);
    return out;
}

// A 16 x 16 picture at 24 bits: 256 tiles of one pixel each.
inline bytes small_sheet() {
    bytes out = bmp_header(54 + 16 * 48, 54, 16, 16, 24, 16 * 48);
    for (int i = 0; i < 16 * 48; ++i) out.push_back(static_cast<std::uint8_t>(i * 5));
    return out;
}

// A folder holding the small sheet, a world disk of 16 tracks and the good
// program disk, under the tool's default names.
struct tool_dir {
    test_support::temp_dir dir;
    tool_dir() {
        test_support::write_file(dir / "sheet.bmp", small_sheet());
        test_support::write_file(dir / "kqvellmara.dsk", std::string(65536, '\x07'));
        const built_disk program = program_disk();
        save_disk(&program, (dir / "KQboot.dsk").string(), 1);
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    test_support::tool_result run(const std::vector<std::string>& args,
                                  const std::string* typed = nullptr) const {
        return test_support::run_qarvex(args, dir.path, typed);
    }
};

// Runs the built qarvex in dir with standard input closed, not merely empty.
inline test_support::tool_result run_with_stdin_closed(const std::vector<std::string>& args,
                                                       const std::filesystem::path& dir) {
    using test_support::shell_quote;
    const auto out_path = dir / ".stdout";
    const auto err_path = dir / ".stderr";
    std::string command = "cd " + shell_quote(dir.string()) + " && " + shell_quote(QARVEX_BINARY);
    for (const auto& arg : args) command += " " + shell_quote(arg);
    command += " <&- >" + shell_quote(out_path.string()) + " 2>" + shell_quote(err_path.string());
    const int raw = std::system(command.c_str());
    test_support::tool_result result;
    if (raw != -1 && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
    result.out = test_support::read_file(out_path);
    result.err = test_support::read_file(err_path);
    std::filesystem::remove(out_path);
    std::filesystem::remove(err_path);
    return result;
}

}  // namespace hostile
