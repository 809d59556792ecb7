// Uncompressed BMP files with the 40-byte Windows V3 header: building and
// writing, checking and reading, and a tile sheet from a BMP picture.
//
// The file, every number little-endian:
//
//   OFFSET  SIZE  CONTENT
//      0      2   magic "BM" (0x42 0x4D)
//      2      4   file length: data offset + data length
//      6      2   reserved, 0
//      8      2   reserved, 0
//     10      4   data offset: 54 + palette bytes
//     14      4   information header size, 40
//     18      4   width in pixels
//     22      4   height in rows, positive: rows are stored bottom row first
//     26      2   planes, 1
//     28      2   bit count: 1, 4, 8, 16, 24 or 32
//     30      4   compression, 0 (none)
//     34      4   data length: row size * height
//     38     16   horizontal and vertical resolution, colours used,
//                 important colours: 0 each
//     54  4 * n   palette, n = 2, 16 or 256 for 1, 4 and 8 bits; none above:
//                 blue, green, red and a fourth byte per entry
//   data offset   pixel rows, bottom row of the picture first, each filled with
//                 zero bytes to a multiple of 4 bytes
//
// In memory a picture is the layout of picture/picture.h: top row first, one byte a
// pixel for 1, 4 and 8 bits (the value in its low bits), the file's own bytes
// for 16, 24 and 32 bits. Packing into bits happens only in the file.
//
// Results: 0 (or a count) on success, negative on failure after one line of
// the layer's own on standard output ("error: write_bitmap() - ...").
#pragma once

#include <cstdint>
#include <cstdio>

#include "picture/le_bytes.h"
#include "picture/picture.h"

// The file and information headers in memory, without the magic, field by
// field in file order. Filled by create_bitmap_header or read_bitmap_header.
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

// --- writing (bitmap_write.cpp) ------------------------------------------------------
// Every field for a picture of this size; -1 (silent) for a bit count other
// than 1, 4, 8, 16, 24, 32. Lengths are unsigned 32-bit arithmetic.
int create_bitmap_header(bitmap_header* header, std::uint32_t width, std::uint32_t height,
                         std::uint16_t bit_count);
// The 54 header bytes in one write; -1 when the stream refuses them.
int write_bitmap_header(std::FILE* stream, const bitmap_header* header);
// The first count (1 to 256) palette entries in one write; -1 otherwise.
int write_palette(std::FILE* stream, const std::uint32_t* palette, int count);
// Header, palette (zero entries when palette is null) and the pixel rows
// bottom-up; the caller opens and closes the stream. 0, or -1 after a line.
int write_bitmap(std::FILE* stream, const bitmap_header* header, const std::uint32_t* palette,
                 const std::uint8_t* pixels);

// --- checking (bitmap_check.cpp) -----------------------------------------------------
// The header rules in order: -1 when refused (after its line), otherwise the
// number of warnings printed (0 to 2). May correct a data length of 0.
// Beyond the format's rules it refuses top-down pictures and sizes whose
// pixel buffer, rows or file do not fit 32-bit arithmetic, so that a header
// it passes can size buffers safely.
int check_bitmap_header(bitmap_header* header);
// Bytes of one stored row, fill bytes included; -1 for an unknown bit count
// or a row longer than an int holds.
int bitmap_row_size(std::uint32_t width, std::uint32_t bit_count);

// --- reading (bitmap_read.cpp) -------------------------------------------------------
// The 54 header bytes in one read, decoded and checked: the result of
// check_bitmap_header, or -1 (silent) for a short read or a wrong magic.
int read_bitmap_header(std::FILE* stream, bitmap_header* header);
// count (1 to 256) entries in one read, each 0xXXRRGGBB with the file's
// fourth byte on top; -1 for a bad count or a short read.
int read_palette(std::FILE* stream, std::uint32_t* palette, int count);
// The whole picture, top row first. An empty slot receives a std::malloc'd
// buffer that belongs to the caller, also on failure; a filled slot is
// written in place. palette_slot may be null; pixel_slot may not. 0; -1
// unreadable or refused; -2 out of memory.
int read_bitmap(std::FILE* stream, bitmap_header* header, std::uint32_t** palette_slot,
                std::uint8_t** pixel_slot);

// --- tile sheet from a BMP picture (shape_bitmap.cpp) --------------------------------
// Loads the picture at path into a zero-filled sheet of tiles_across x
// tiles_down tiles (16 x 16 in the run). The sheet's sizes are set before
// they are tested, and its buffers stay with it on failure. 0, or -1.
int read_shape_bitmap(const char* path, shape_sheet* sheet, std::uint32_t tiles_across,
                      std::uint32_t tiles_down);
