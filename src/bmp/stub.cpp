// Placeholder until the BMP layer lands.
#include "bmp/bmp.h"
std::uint8_t* put_le32(std::uint8_t* p, std::uint32_t) { return p + 4; }
std::uint8_t* put_le16(std::uint8_t* p, std::uint16_t) { return p + 2; }
std::uint32_t get_le32(const std::uint8_t*, const std::uint8_t**) { return 0; }
std::uint16_t get_le16(const std::uint8_t*, const std::uint8_t**) { return 0; }
int create_bitmap_header(bitmap_header*, std::uint32_t, std::uint32_t, std::uint16_t) { return -1; }
int write_bitmap_header(std::FILE*, const bitmap_header*) { return -1; }
int write_palette(std::FILE*, const std::uint32_t*, int) { return -1; }
int write_bitmap(std::FILE*, const bitmap_header*, const std::uint32_t*, const std::uint8_t*) { return -1; }
int read_bitmap_header(std::FILE*, bitmap_header*) { return -1; }
int check_bitmap_header(bitmap_header*) { return -1; }
int bitmap_row_size(std::uint32_t, std::uint32_t) { return -1; }
int read_palette(std::FILE*, std::uint32_t*, int) { return -1; }
int read_bitmap(std::FILE*, bitmap_header*, std::uint32_t**, std::uint8_t**) { return -1; }
int read_shape_bitmap(const char*, shape_sheet*, std::uint32_t, std::uint32_t) { return -1; }
