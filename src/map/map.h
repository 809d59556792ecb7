// Tile shapes from the program disk, and the world map laid out tile by tile.
#pragma once

#include <cstdint>

#include "cli/image.h"

// --- tile shapes ---------------------------------------------------------------
int read_disk_shapes(const char* path, int order, shape_sheet* sheet);
void patch_shape_tiles(std::uint8_t* file0, std::uint8_t* file1);
void decode_shapes(std::uint8_t* pixels, const std::uint8_t* source);

// --- composition ---------------------------------------------------------------
void compose_map(image_info* picture, const shape_sheet* sheet, const std::uint8_t* world_map,
                 std::uint32_t gate_set, int balloon);
