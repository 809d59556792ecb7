// Tile shapes from the program disk, and the world map laid out tile by tile.
#pragma once

#include <cstdint>

#include "picture/picture.h"

// The world map: 256 x 256 tile numbers, one byte each.
inline constexpr int map_tiles = 256; // tiles across and down
inline constexpr std::uint32_t world_map_size = map_tiles * map_tiles;

// --- tile shapes ---------------------------------------------------------------
// The sheet of the program disk at path (sector order 1 or 2): 16 x 16 tiles of
// 28 x 32 pixels, 4 bits, the 16 artifact colours. 0, or -1 after its lines;
// buffers already set stay with the sheet.
int read_disk_shapes(const char* path, int order, shape_sheet* sheet);
// Rebuilds tiles 69 to 71 of both shape files (4096 bytes each) from tile 68.
void patch_shape_tiles(std::uint8_t* file0, std::uint8_t* file1);
// Both shape files (8192 bytes) into the even rows of the 448 x 512 sheet.
void decode_shapes(std::uint8_t* pixels, const std::uint8_t* source);

// --- composition ---------------------------------------------------------------
// Every map byte's tile copied to its place in the picture (256 tiles of the
// sheet's size across and down), with the chosen moon gates and the balloon.
void compose_map(image_info* picture, const shape_sheet* sheet, const std::uint8_t* world_map,
                 std::uint32_t gate_set, int balloon);
