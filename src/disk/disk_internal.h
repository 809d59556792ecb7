// Helpers shared by the disk layer's sources and by nothing else: the sector
// address rule, the read of a sector that may not have been decoded, and the
// T/S list chains' release. The sources call one way: the image
// (disk_image.cpp) uses the catalog and the T/S lists, the catalog uses the
// T/S lists, every reader uses locate_read_sector (surface.cpp), and
// nothing calls back up. Files other than raw images are recognised and
// decoded below all of these (surface.h).
#pragma once

#include <cstdint>
#include <cstdio>

#include "disk/disk.h"

inline constexpr int sector_size = 256;
inline constexpr int sectors_per_track = 16;
inline constexpr int track_size = sector_size * sectors_per_track;

// The disk layer's line for an allocation that failed; -1.
inline int print_memory_exhaust() {
    std::printf("memory exhaust!\n");
    return -1;
}

// Byte offset in the image of logical (track, sector) under the record's
// sector map, or -1 when the sector doesn't lie wholly in the image. The
// sector map is never looked up with a sector number outside 0..15.
inline std::int32_t locate_sector(const disk_image* disk, int track, int sector) {
    if (track < 0 || sector < 0 || sector >= sectors_per_track || disk->sector_map == nullptr)
        return -1;
    const std::int64_t offset = (static_cast<std::int64_t>(track) * sectors_per_track +
                                 (*disk->sector_map)[static_cast<std::size_t>(sector)]) *
                                sector_size;
    if (offset + sector_size > disk->size)
        return -1;
    return static_cast<std::int32_t>(offset);
}

// What locate_read_sector gives when the sector can't be read.
inline constexpr std::int32_t sector_outside = -1;   // not wholly in the image
inline constexpr std::int32_t sector_undecoded = -2; // not decoded from the surface

// Offset of logical (track, sector) for a reader about to read its bytes: as
// locate_sector, or sector_undecoded after the line naming the file, track
// and sector when the image was decoded from a surface without this sector.
std::int32_t locate_read_sector(const disk_image* disk, int track, int sector);

// Frees a file's T/S list records, in chain order (dos33_ts_list.cpp).
void free_ts_chain(ts_list* list);
// Frees the catalog chain with every T/S list chain hanging from it and
// leaves the catalog empty (dos33_catalog.cpp).
void free_catalog(disk_image* disk);
