// The raw read of a disk's first bytes in logical sector order, straight from
// the file: the world map is the first 16 tracks of the world disk, not a file.
#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstdio>

#include "disk/disk_internal.h"
#include "image/file.h"

namespace {

// Positions beyond this can't be passed to a seek on every platform.
constexpr std::int64_t max_seek_offset = 0x7FFFFFFF;

// ProDOS order: one 256-byte piece per logical sector, each sought at its
// place within its track.
int read_prodos_pieces(std::FILE* file, const char* path, std::uint8_t* buffer, int size) {
    for (std::int64_t k = 0, done = 0; done < size; ++k) {
        const int piece = static_cast<int>(std::min<std::int64_t>(sector_size, size - done));
        const std::int64_t offset =
            (k / sectors_per_track) * track_size +
            prodos_sector_map[static_cast<std::size_t>(k % sectors_per_track)] * sector_size;
        if (offset > max_seek_offset ||
            std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) {
            std::printf("error: seek '%s'\n", path);
            return -1;
        }
        if (std::fread(buffer + done, static_cast<std::size_t>(piece), 1, file) != 1) {
            std::printf("error: read '%s'\n", path);
            return -1;
        }
        done += piece;
    }
    return 0;
}

} // namespace

int read_disk_raw(const char* path, int order, std::uint8_t* buffer, int size) {
    file_owner in(open_file(path, "rb"));
    if (in.file == nullptr) {
        std::printf("error: open '%s'\n", path);
        return -1;
    }
    // The size is the run's own: a negative one is our mistake.
    assert(size >= 0);
    if (size < 0)
        return -1;
    if (size == 0)
        return 0;
    if (order == prodos_order)
        return read_prodos_pieces(in.file, path, buffer, size);
    if (std::fread(buffer, static_cast<std::size_t>(size), 1, in.file) != 1) {
        std::printf("error: read '%s'\n", path);
        return -1;
    }
    return 0;
}
