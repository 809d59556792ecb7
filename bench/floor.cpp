// The floor of a qarvex run: only the work no run of that mode can avoid.
// It allocates and zeroes the same picture buffers as the tool (the 4-bit map,
// and for the NTSC decode also its 24-bit picture), through the tool's own
// allocator, and writes a file of the output's size beside the output, then
// renames it over the output, as every run replaces a map whole. The
// benchmark compares whole runs of the tool with this.
//
//   floor plain|blur|ntsc OUTPUT
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "picture/picture.h"

namespace {

constexpr std::size_t map_bytes = 7168u * 8192u;         // a byte a pixel
constexpr std::size_t true_colour_bytes = 3 * map_bytes; // blue, green, red
constexpr std::size_t header_bytes = 14 + 40;
constexpr std::size_t palette_bytes = 16 * 4;

// Headers (and palette) of zeros, then the pixel bytes: a file of the
// output's size, 29,360,246 or 176,160,822 bytes, written as path + ".floor"
// and renamed over path (the rename of a C library that replaces a file: the
// benchmark runs on Linux).
int write_output(const char* path, std::size_t head_size, const std::uint8_t* pixels,
                 std::size_t size) {
    static const std::uint8_t head[header_bytes + palette_bytes] = {};
    char temp[4096];
    if (std::snprintf(temp, sizeof temp, "%s.floor", path) >= static_cast<int>(sizeof temp))
        return -1;
    std::FILE* file = std::fopen(temp, "wb");
    if (file == nullptr)
        return -1;
    std::size_t written = std::fwrite(head, 1, head_size, file);
    written += std::fwrite(pixels, 1, size, file);
    const bool closed = std::fclose(file) == 0;
    if (written != head_size + size || !closed || std::rename(temp, path) != 0) {
        std::remove(temp);
        return -1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::printf("usage: floor plain|blur|ntsc OUTPUT\n");
        return 1;
    }
    const bool ntsc = std::strcmp(argv[1], "ntsc") == 0;
    std::uint8_t* map = allocate_pixels(map_bytes);
    std::uint8_t* colour = ntsc ? allocate_pixels(true_colour_bytes) : nullptr;
    if (map == nullptr || (ntsc && colour == nullptr)) {
        std::printf("error: memory exhausted!\n");
        return 1;
    }
    // Every page of both pictures is written once, as every run writes them.
    std::memset(map, 0, map_bytes);
    if (ntsc)
        std::memset(colour, 0, true_colour_bytes);
    const int result =
        ntsc ? write_output(argv[2], header_bytes, colour, true_colour_bytes)
             : write_output(argv[2], header_bytes + palette_bytes, map, map_bytes / 2);
    release_pixels(map);
    release_pixels(colour);
    if (result < 0)
        std::printf("error: write '%s'\n", argv[2]);
    return result < 0 ? 1 : 0;
}
