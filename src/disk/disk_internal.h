// Helpers shared by the disk layer's sources and by nothing else: the sector
// address rule, the read of a sector that may not have been decoded, the one
// loader of image files, and the T/S list chains' release. The sources call
// one way: the image (disk_image.cpp) and the raw read (raw_read.cpp) load
// through image_load.cpp, which decodes surfaces below it (surface/); the
// image uses the catalog and the T/S lists, the catalog uses the T/S lists,
// every reader uses locate_read_sector, and nothing calls back up.
#pragma once

#include <cassert>
#include <cstdarg>
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
// sector map when its first `bytes` bytes lie in the image (a whole sector
// unless a read wants less), or -1. The sector map is never looked up with a
// sector number outside 0..15.
inline std::int32_t locate_sector(const disk_image* disk, int track, int sector,
                                  int bytes = sector_size) {
    assert(track >= 0 && sector >= 0 && disk->sector_map != nullptr); // numbers from bytes
    if (sector >= sectors_per_track)
        return -1;
    const std::int64_t offset = (static_cast<std::int64_t>(track) * sectors_per_track +
                                 (*disk->sector_map)[static_cast<std::size_t>(sector)]) *
                                sector_size;
    if (offset + bytes > disk->size)
        return -1;
    return static_cast<std::int32_t>(offset);
}

// What locate_read_sector gives when the sector can't be read.
inline constexpr std::int32_t sector_outside = -1;   // not wholly in the image
inline constexpr std::int32_t sector_undecoded = -2; // not decoded from the surface

// Offset of logical (track, sector) for a reader about to read its bytes: as
// locate_sector, or sector_undecoded after the line naming the file, track
// and sector when the image was decoded from a surface without this sector.
std::int32_t locate_read_sector(const disk_image* disk, int track, int sector,
                                int bytes = sector_size);

// The line of a file that can't be read as its format says, "FORMAT error
// 'PATH' (DETAIL)", DETAIL formatted like printf; -1.
#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
inline int
print_format_error(const char* format, const char* path, const char* detail, ...) {
    char text[128];
    va_list args;
    va_start(args, detail);
    std::vsnprintf(text, sizeof text, detail, args);
    va_end(args);
    std::printf("%s error '%s' (%s)\n", format, path, text);
    return -1;
}

// The largest file read as a disk image: a WOZ file whose 160 track records
// each hold the most a record may (256 KiB of flux), after its 1,536 bytes
// of header, INFO, TMAP and TRKS records. Every other image of a 5.25-inch
// disk is far smaller (NIB 232,960 bytes, raw 143,360).
inline constexpr std::int64_t max_image_file_size = 1536 + 160 * (std::int64_t{1} << 18);

// What failed when load_disk_image printed nothing: each caller says it in
// its own words.
enum class load_fault {
    reported, // the loader printed the line (format, size bound, memory)
    open,     // the file can't be opened
    size,     // the file can't be sized (a directory, or 2 GiB or more)
    seek,     // the seek back to its start failed
    read,     // it could not be read whole, or it is empty
};
// Loads the image file at path, seekable or not, into the all-zero record but
// for order: a raw image as it stands (order left as given), a 2IMG file's
// sectors in the order its header names, or a surface decoded into 35
// DOS-order tracks with each sector's state (image_load.cpp). Sets data,
// size, tracks, decoded. 0, or -1 with *fault saying what failed.
int load_disk_image(disk_image* disk, const char* path, load_fault* fault);

// Frees a file's T/S list records, in chain order (dos33_ts_list.cpp).
void free_ts_chain(ts_list* list);
// Frees the catalog chain with every T/S list chain hanging from it and
// leaves the catalog empty (dos33_catalog.cpp).
void free_catalog(disk_image* disk);
