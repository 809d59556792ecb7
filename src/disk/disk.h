// Apple II 5.25-inch disk images held in memory, their DOS 3.3 file system
// (read only), and the raw read of a disk's first tracks.
#pragma once

#include <array>
#include <cstdint>

// Logical sector (0..15) -> position of the sector within its track in the
// image file. Sectors 0 and 15 stay put in both; the ProDOS map is its own
// inverse.
inline constexpr std::array<int, 16> dos_sector_map = {0, 1, 2,  3,  4,  5,  6,  7,
                                                       8, 9, 10, 11, 12, 13, 14, 15};
inline constexpr std::array<int, 16> prodos_sector_map = {0, 14, 13, 12, 11, 10, 9, 8,
                                                          7, 6,  5,  4,  3,  2,  1, 15};

// Records of the disk layer are declared here by the disk subsystem:
// vtoc, catalog_sector, file_entry, ts_list, disk_image.
struct disk_image;

// --- disk image life cycle -------------------------------------------------
int open_disk_image(disk_image* disk, const char* path, int order, int cut_loops);
void release_disk_image(disk_image* disk, int free_record);

// --- DOS 3.3 file system ---------------------------------------------------
int read_catalog(disk_image* disk, int cut_loops);
int read_ts_lists(disk_image* disk);
struct file_entry* find_file_entry(disk_image* disk, const char* name);
int read_disk_file(disk_image* disk, const char* name, std::uint8_t* buffer, int size);
int get_disk_file_size(disk_image* disk, const char* name, int* sectors);

// --- raw read in logical sector order ---------------------------------------
int read_disk_raw(const char* path, int order, std::uint8_t* buffer, int size);
