// Opening a disk image: the file loaded into memory, the size rule, the
// sector order settled and the catalog and T/S lists read; releasing the
// record with everything it owns; and the read of a sector that may not have
// been decoded from a disk's surface.
#include <algorithm>
#include <array>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "disk/disk_internal.h"

namespace {

// An image needs 18 whole tracks: the catalog lives on track 17.
constexpr std::int32_t min_tracks = 18;

// The cause named in the line about a sector that can't be read, by
// sector_state.
constexpr std::array<const char*, sector_good + 1> state_causes = {
    "no data for its track", "not found",    "13-sector track", "no data field",
    "bad disk byte",         "bad checksum", "decoded"};

// Reads the catalog in the order asked for, or detects the order: DOS 3.3
// first, then ProDOS. Detection can pick DOS order for a ProDOS image, since
// the VTOC and the first catalog sector sit at the same place in both.
int settle_order(disk_image* disk, int cut_loops) {
    if (disk->order == dos_order || disk->order == prodos_order) {
        disk->sector_map = disk->order == dos_order ? &dos_sector_map : &prodos_sector_map;
        return read_catalog(disk, cut_loops);
    }
    disk->sector_map = &dos_sector_map;
    if (read_catalog(disk, cut_loops) == 0) {
        disk->order = dos_order;
        return 0;
    }
    disk->sector_map = &prodos_sector_map;
    if (read_catalog(disk, cut_loops) == 0) {
        disk->order = prodos_order;
        return 0;
    }
    disk->sector_map = &dos_sector_map;
    return -1;
}

} // namespace

int open_disk_image(disk_image* disk, const char* path, int order, int cut_loops) {
    std::memset(disk, 0, sizeof *disk); // padding included: an all-zero record
    disk->order = order;
    disk->sector_map = &dos_sector_map;
    load_fault fault{};
    if (load_disk_image(disk, path, &fault) < 0) {
        if (fault == load_fault::open)
            std::printf("open error '%s'\n", path);
        else if (fault == load_fault::size)
            std::printf("seek error '%s' (SEEK_END)\n", path);
        else if (fault == load_fault::seek)
            std::printf("seek error '%s' (SEEK_SET)\n", path);
        else if (fault == load_fault::read)
            std::printf("read error '%s'\n", path);
        return -1;
    }
    if (disk->tracks < min_tracks) {
        std::printf("disk image size error\n");
        std::printf("can't get catalog '%s'\n", path);
        return -1;
    }
    if (settle_order(disk, cut_loops) < 0) {
        std::printf("can't get catalog '%s'\n", path);
        return -1;
    }
    // Files whose lists could not be read stay unreadable; the others can be
    // read. A list sector that could not be decoded fails the open.
    const int lists = read_ts_lists(disk);
    if (lists < 0)
        std::printf("can't get track/sector list '%s'\n", path);
    return lists == sector_undecoded ? -1 : 0;
}

void release_disk_image(disk_image* disk, int free_record) {
    if (disk == nullptr)
        return;
    free_catalog(disk);
    std::free(disk->data);
    if (disk->decoded != nullptr)
        std::free(disk->decoded->path);
    std::free(disk->decoded);
    if (free_record != 0) {
        std::free(disk);
        return;
    }
    std::memset(disk, 0, sizeof *disk); // padding included: an all-zero record
}

std::int32_t locate_read_sector(const disk_image* disk, int track, int sector, int bytes) {
    const std::int32_t offset = locate_sector(disk, track, sector, bytes);
    if (offset < 0 || disk->decoded == nullptr)
        return offset;
    const auto index = static_cast<std::size_t>(offset / sector_size);
    assert(index < disk->decoded->state.size()); // a decoded image is 35 tracks
    const std::uint8_t state = disk->decoded->state[index];
    if (state == sector_good)
        return offset;
    std::printf("can't decode track/sector (%02X/%02X) of '%s': %s\n", static_cast<unsigned>(track),
                static_cast<unsigned>(sector), disk->decoded->path,
                state_causes[std::min<std::size_t>(state, sector_good)]);
    return sector_undecoded;
}
