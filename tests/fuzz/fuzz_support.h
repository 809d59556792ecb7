// What every fuzz target shares: a private folder for the files the tool's
// layers open by path, and a quiet standard output (the layers print their
// lines there; libFuzzer reports on standard error).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace fuzz_support {

// The folder, made once per process and removed when it ends.
inline const std::filesystem::path& work_dir() {
    static const std::filesystem::path dir = [] {
        auto made = std::filesystem::temp_directory_path() /
                    ("qarvex-fuzz-" + std::to_string(static_cast<long long>(getpid())));
        std::filesystem::create_directories(made);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(work_dir(), ignored);
        });
        return made;
    }();
    return dir;
}

inline std::string work_path(const char* name) { return (work_dir() / name).string(); }

// Writes the bytes as the whole file at path; false when that fails.
inline bool write_bytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = size == 0 || std::fwrite(data, size, 1, file) == 1;
    return std::fclose(file) == 0 && ok;
}

// Standard output to nowhere, for the whole process.
inline void quiet_stdout() {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
}

// A broken promise of the code under test: crash so that libFuzzer keeps the input.
inline void require(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace fuzz_support
