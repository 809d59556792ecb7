// What every fuzz target shares: a private folder for the files that the layers
// open by path, and a check that keeps the input. Each target includes it once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace fuzz_support {

inline std::filesystem::path folder; // made by LLVMFuzzerInitialize, removed at exit

// The bytes as the whole file name in the folder: its path, or "" when that fails.
inline std::string write_file(const char* name, const std::uint8_t* data, std::size_t size) {
    const std::string path = (folder / name).string();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return "";
    const bool written = size == 0 || std::fwrite(data, size, 1, file) == 1;
    return std::fclose(file) == 0 && written ? path : "";
}

// A broken promise of the code under test: crash so that libFuzzer keeps the input.
inline void require(bool condition) {
    if (!condition)
        __builtin_trap();
}

} // namespace fuzz_support

// The layers print their lines on standard output; libFuzzer reports on standard error.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    fuzz_support::folder =
        std::filesystem::temp_directory_path() / ("qarvex-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(fuzz_support::folder);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(fuzz_support::folder, ignored);
    });
    return 0;
}
