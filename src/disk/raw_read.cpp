// The raw read of a disk's first bytes in logical sector order: the world map
// is the first 16 tracks of the world disk, not a file. The image is loaded
// as every image is, and its sectors copied by the address rule in the order
// asked for (a 2IMG file's or a surface's own order when it has one).
#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstring>

#include "disk/disk_internal.h"

int read_disk_raw(const char* path, int order, std::uint8_t* buffer, int size) {
    assert(size >= 0); // the size is the run's own
    disk_image disk{};
    disk.order = order;
    load_fault fault{};
    int result = load_disk_image(&disk, path, &fault);
    if (result < 0) {
        if (fault == load_fault::open)
            std::printf("error: open '%s'\n", path);
        else if (fault == load_fault::seek)
            std::printf("error: seek '%s'\n", path);
        else if (fault != load_fault::reported)
            std::printf("error: read '%s'\n", path);
    } else {
        disk.sector_map = disk.order == prodos_order ? &prodos_sector_map : &dos_sector_map;
        for (int k = 0, done = 0; done < size; ++k) {
            const int piece = std::min(sector_size, size - done);
            const std::int32_t offset =
                locate_read_sector(&disk, k / sectors_per_track, k % sectors_per_track, piece);
            if (offset < 0) {
                if (offset != sector_undecoded)
                    std::printf("error: read '%s'\n", path);
                result = -1;
                break;
            }
            std::memcpy(buffer + done, disk.data + offset, static_cast<std::size_t>(piece));
            done += piece;
        }
    }
    release_disk_image(&disk, 0);
    return result;
}
