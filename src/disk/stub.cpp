// Placeholder until the disk layer lands: every operation fails.
#include "disk/disk.h"
int open_disk_image(disk_image*, const char*, int, int) { return -1; }
void release_disk_image(disk_image*, int) {}
int read_catalog(disk_image*, int) { return -1; }
int read_ts_lists(disk_image*) { return -1; }
file_entry* find_file_entry(disk_image*, const char*) { return nullptr; }
int read_disk_file(disk_image*, const char*, std::uint8_t*, int) { return -1; }
int get_disk_file_size(disk_image*, const char*, int*) { return -1; }
int read_disk_raw(const char*, int, std::uint8_t*, int) { return -1; }
