// Files of the run: opened in binary mode by the operation that uses them and
// closed on every path out of it.
#pragma once

#include <cstdio>

// Opens path (as given on the command line) with an fopen mode.
std::FILE* open_file(const char* path, const char* mode);

// A FILE* that closes itself on every path. close() reports whether the
// stream took everything written to it: 0, or -1.
struct file_owner {
    std::FILE* file = nullptr;
    file_owner() = default;
    explicit file_owner(std::FILE* f) : file(f) {}
    file_owner(const file_owner&) = delete;
    file_owner& operator=(const file_owner&) = delete;
    ~file_owner() { close(); }
    int close() {
        int result = 0;
        if (file != nullptr && std::fclose(file) != 0)
            result = -1;
        file = nullptr;
        return result;
    }
};
