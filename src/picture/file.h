// Files of the run: opened in binary mode by the operation that uses them and
// closed on every path out of it.
//
// Paths are UTF-8, as the command line gives them. On Windows this is the one
// place where such a path becomes the UTF-16 path of the wide file functions,
// so that names in any script open there as they do elsewhere.
#pragma once

#include <cstdio>

// Opens path with an fopen mode.
std::FILE* open_file(const char* path, const char* mode);

#if defined(_WIN32)
// path as UTF-16, in a buffer the caller frees with std::free; null when the
// path is not UTF-8 or memory is short.
wchar_t* widen_path(const char* path);
#endif

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
