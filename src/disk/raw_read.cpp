// The raw read of a disk's first bytes in logical sector order, straight from
// the file: the world map is the first 16 tracks of the world disk, not a file.
// A file recognised by its content is read from its 2IMG data in the order
// its header names, or decoded from its surface one track at a time.
#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "disk/surface.h"
#include "picture/file.h"

namespace {

// One 256-byte piece per logical sector, each sought at its place within its
// track under map, from base; with a limit (not -1) every piece must end
// within limit bytes of base.
int read_sector_pieces(std::FILE* file, const char* path, const std::array<int, 16>& map,
                       std::int64_t base, std::int64_t limit, std::uint8_t* buffer, int size) {
    for (std::int64_t k = 0, done = 0; done < size; ++k) {
        const int piece = static_cast<int>(std::min<std::int64_t>(sector_size, size - done));
        const std::int64_t place =
            (k / sectors_per_track) * track_size +
            map[static_cast<std::size_t>(k % sectors_per_track)] * sector_size;
        if (base + place > max_seek_offset ||
            std::fseek(file, static_cast<long>(base + place), SEEK_SET) != 0) {
            std::printf("error: seek '%s'\n", path);
            return -1;
        }
        if ((limit >= 0 && place + piece > limit) ||
            std::fread(buffer + done, static_cast<std::size_t>(piece), 1, file) != 1) {
            std::printf("error: read '%s'\n", path);
            return -1;
        }
        done += piece;
    }
    return 0;
}

// The first size bytes of a surface's DOS-order image, decoded one track at
// a time; every sector they reach must have been decoded.
int read_surface(std::FILE* file, const char* path, const image_layout* layout,
                 std::uint8_t* buffer, int size) {
    if (size > decoded_tracks * track_size) {
        std::printf("error: read '%s'\n", path);
        return -1;
    }
    std::array<std::uint8_t, track_size> track_data;
    std::array<std::uint8_t, sectors_per_track> states;
    for (int t = 0, done = 0; done < size; ++t) {
        if (decode_surface_track(file, path, layout, t, track_data.data(), states.data()) < 0)
            return -1;
        for (int s = 0; s < sectors_per_track && done < size; ++s) {
            if (states[static_cast<std::size_t>(s)] != sector_good) {
                print_undecoded_sector(path, t, s, states[static_cast<std::size_t>(s)]);
                return -1;
            }
            const int piece = std::min(sector_size, size - done);
            std::memcpy(buffer + done, track_data.data() + s * sector_size,
                        static_cast<std::size_t>(piece));
            done += piece;
        }
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
    // A file that can't be sized (a pipe) is read as a raw image, as it comes.
    image_layout layout;
    if (std::fseek(in.file, 0, SEEK_END) == 0) {
        const long length = std::ftell(in.file);
        if (length >= 0 && read_image_layout(in.file, length, path, &layout) < 0)
            return -1;
        if (std::fseek(in.file, 0, SEEK_SET) != 0) {
            std::printf("error: seek '%s'\n", path);
            return -1;
        }
    }
    if (layout.kind == image_kind::surface)
        return read_surface(in.file, path, &layout, buffer, size);
    if (layout.kind == image_kind::sectors)
        return read_sector_pieces(in.file, path,
                                  layout.order == prodos_order ? prodos_sector_map : dos_sector_map,
                                  layout.offset, layout.length, buffer, size);
    if (order == prodos_order)
        return read_sector_pieces(in.file, path, prodos_sector_map, 0, -1, buffer, size);
    if (std::fread(buffer, static_cast<std::size_t>(size), 1, in.file) != 1) {
        std::printf("error: read '%s'\n", path);
        return -1;
    }
    return 0;
}
