// Helpers shared by the disk layer's sources and by nothing else: little-endian
// numbers inside sectors, the sector address rule, and freeing record chains.
#pragma once

#include <cstdint>
#include <cstdio>

#include "disk/disk.h"

inline constexpr int sector_size = 256;
inline constexpr int sectors_per_track = 16;
inline constexpr int track_size = sector_size * sectors_per_track;

inline std::uint16_t load_le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t load_le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Byte offset in the image of logical (track, sector) under the record's
// sector map, or -1 when the sector doesn't lie wholly in the image. The
// sector map is never looked up with a sector number outside 0..15.
std::int32_t locate_sector(const disk_image* disk, int track, int sector);

// Frees a file's T/S list records, in chain order.
void free_ts_chain(ts_list* list);
// Frees the catalog chain with every T/S list chain hanging from it and
// leaves the catalog empty.
void free_catalog(disk_image* disk);

// Closes a file on every path out of the function that opened it.
struct file_closer {
    std::FILE* file;
    ~file_closer() {
        if (file != nullptr)
            std::fclose(file);
    }
};
