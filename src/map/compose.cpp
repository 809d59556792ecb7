// The world map laid out tile by tile: every map byte names a tile of the
// sheet, whose pixels are copied to the tile's place in the picture, one tile
// row at a time. On request the moon gates of chosen phases and the balloon
// replace the map's own tiles at their fixed places.
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "map/map.h"

namespace {

// The world map, 65,536 bytes: 16 x 16 chunks of 16 x 16 tiles, chunks row
// by row from the top left, each chunk row by row.
//
//   BITS OF THE MAP OFFSET   CONTENT
//   15..12                   chunk row
//   11..8                    chunk column
//    7..4                    row within the chunk
//    3..0                    column within the chunk
constexpr int chunk_tiles = 16; // tiles across and down a chunk

struct map_place {
    int x;
    int y;
};

// Where the moon gate of each phase stands, phase 1 first; phase n is chosen
// by bit n-1 of the gate set.
// clang-format off
constexpr std::array<map_place, 8> moon_gates = {{
    {224, 133}, {96, 102}, {38, 224}, {50, 37}, {166, 19}, {104, 194}, {23, 126}, {187, 167},
}};
// clang-format on
constexpr std::uint8_t moon_gate_tile = 67;
constexpr std::uint8_t balloon_tile = 24;
constexpr map_place balloon_place = {233, 242};

map_place place_of_map_byte(int i) {
    const int chunk_row = i / 4096;
    const int chunk_column = (i / 256) % chunk_tiles;
    const int row = (i / 16) % chunk_tiles;
    const int column = i % chunk_tiles;
    return {chunk_tiles * chunk_column + column, chunk_tiles * chunk_row + row};
}

// The tile drawn at place: the map's own, unless a chosen gate or the
// balloon stands there (the balloon wins).
std::uint8_t tile_at(std::uint8_t tile, map_place place, std::uint32_t gate_set, int balloon) {
    if (gate_set != 0) {
        for (std::size_t k = 0; k < moon_gates.size(); ++k) {
            if ((gate_set >> k & 1u) != 0 && moon_gates[k].x == place.x &&
                moon_gates[k].y == place.y) {
                tile = moon_gate_tile;
            }
        }
    }
    if (balloon != 0 && place.x == balloon_place.x && place.y == balloon_place.y) {
        tile = balloon_tile;
    }
    return tile;
}

// Copies one tile, h rows of row_bytes each. The tile row of the sheet from
// the program disk, 28 bytes, gets a copy of fixed size that the compiler
// turns into a few moves: the map is two million such rows.
template <std::size_t fixed_bytes>
void copy_tile(std::uint8_t* to, const std::uint8_t* from, std::size_t h, std::size_t row_bytes,
               std::size_t picture_stride, std::size_t sheet_stride) {
    const std::size_t bytes = fixed_bytes != 0 ? fixed_bytes : row_bytes;
    for (std::size_t v = 0; v < h; ++v) {
        std::memcpy(to + v * picture_stride, from + v * sheet_stride, bytes);
    }
}

constexpr std::size_t disk_tile_row_bytes = 28;

} // namespace

// The picture must be 256 tiles of the sheet's size across and down at the
// sheet's bytes a pixel; its own width and height are not consulted.
void compose_map(image_info* picture, const shape_sheet* sheet, const std::uint8_t* world_map,
                 std::uint32_t gate_set, int balloon) {
    const std::size_t w = static_cast<std::size_t>(sheet->tile_width);
    const std::size_t h = static_cast<std::size_t>(sheet->tile_height);
    const std::size_t b = sheet->bytes_per_pixel;
    const std::size_t row_bytes = w * b;
    const std::size_t sheet_stride = sheet_tiles_across * row_bytes;
    const std::size_t picture_stride = map_tiles * row_bytes;
    // The run sizes the picture from the sheet: a smaller one is our own mistake.
    assert(picture->pixels != nullptr &&
           std::uint64_t{picture->byte_size} >= std::uint64_t{picture_stride} * h * map_tiles);
    for (int i = 0; i < map_tiles * map_tiles; ++i) {
        const map_place place = place_of_map_byte(i);
        const int t = tile_at(world_map[i], place, gate_set, balloon);
        const std::uint8_t* from =
            sheet->pixels + static_cast<std::size_t>(t / sheet_tiles_across) * h * sheet_stride +
            static_cast<std::size_t>(t % sheet_tiles_across) * row_bytes;
        std::uint8_t* to = picture->pixels +
                           static_cast<std::size_t>(place.y) * h * picture_stride +
                           static_cast<std::size_t>(place.x) * row_bytes;
        if (row_bytes == disk_tile_row_bytes) {
            copy_tile<disk_tile_row_bytes>(to, from, h, row_bytes, picture_stride, sheet_stride);
        } else {
            copy_tile<0>(to, from, h, row_bytes, picture_stride, sheet_stride);
        }
    }
}
