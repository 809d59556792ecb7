// Uncompressed BMP files with the 40-byte Windows V3 header: building and
// writing, checking and reading, and a tile sheet from a BMP picture.
#pragma once

#include <cstdint>
#include <cstdio>

#include "cli/image.h"

struct bitmap_header {
    std::uint32_t file_length;
    std::uint16_t reserved1;
    std::uint16_t reserved2;
    std::uint32_t data_offset;
    std::uint32_t header_size;
    std::uint32_t width;
    std::uint32_t height;
    std::uint16_t planes;
    std::uint16_t bit_count;
    std::uint32_t compression;
    std::uint32_t data_length;
    std::uint32_t x_pixels_per_meter;
    std::uint32_t y_pixels_per_meter;
    std::uint32_t colors_used;
    std::uint32_t colors_important;
};

// --- little-endian numbers -------------------------------------------------------
std::uint8_t* put_le32(std::uint8_t* p, std::uint32_t value);
std::uint8_t* put_le16(std::uint8_t* p, std::uint16_t value);
std::uint32_t get_le32(const std::uint8_t* p, const std::uint8_t** next);
std::uint16_t get_le16(const std::uint8_t* p, const std::uint8_t** next);

// --- writing -----------------------------------------------------------------------
int create_bitmap_header(bitmap_header* header, std::uint32_t width, std::uint32_t height,
                         std::uint16_t bit_count);
int write_bitmap_header(std::FILE* stream, const bitmap_header* header);
int write_palette(std::FILE* stream, const std::uint32_t* palette, int count);
int write_bitmap(std::FILE* stream, const bitmap_header* header, const std::uint32_t* palette,
                 const std::uint8_t* pixels);

// --- reading -----------------------------------------------------------------------
int read_bitmap_header(std::FILE* stream, bitmap_header* header);
int check_bitmap_header(bitmap_header* header);
int bitmap_row_size(std::uint32_t width, std::uint32_t bit_count);
int read_palette(std::FILE* stream, std::uint32_t* palette, int count);
int read_bitmap(std::FILE* stream, bitmap_header* header, std::uint32_t** palette_slot,
                std::uint8_t** pixel_slot);

// --- tile sheet from a BMP picture --------------------------------------------------
int read_shape_bitmap(const char* path, shape_sheet* sheet, std::uint32_t tiles_across,
                      std::uint32_t tiles_down);
