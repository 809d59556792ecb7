#include "image/file.h"

std::FILE* open_file(const char* path, const char* mode) {
    return std::fopen(path, mode);
}
