#include "picture/file.h"

#if defined(_WIN32)
#include <cstdlib>

#include <windows.h>

wchar_t* widen_path(const char* path) {
    const int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    if (count <= 0)
        return nullptr;
    auto* wide = static_cast<wchar_t*>(std::malloc(sizeof(wchar_t) * static_cast<unsigned>(count)));
    if (wide != nullptr &&
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide, count) != count) {
        std::free(wide);
        wide = nullptr;
    }
    return wide;
}

std::FILE* open_file(const char* path, const char* mode) {
    // The modes are ASCII ("rb", "wb"): widened byte by byte.
    wchar_t wide_mode[8] = {};
    for (int i = 0; i < 7 && mode[i] != '\0'; ++i)
        wide_mode[i] = static_cast<wchar_t>(mode[i]);
    wchar_t* wide_path = widen_path(path);
    if (wide_path == nullptr)
        return nullptr;
    std::FILE* file = _wfopen(wide_path, wide_mode);
    std::free(wide_path);
    return file;
}

#else

std::FILE* open_file(const char* path, const char* mode) {
    return std::fopen(path, mode);
}

#endif
