// The demo disks: a tile set of our own, drawn for artifact colour, and a
// world generated from a seed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Tile numbers of the demo set. The moon gate (67), the balloon (24) and
// tile 68 with the three tiles derived from it (69..71, here a flag waving)
// are the places the tool itself knows.
namespace demo_tile {
inline constexpr std::uint8_t deep_sea = 0;
inline constexpr std::uint8_t sea = 1;
inline constexpr std::uint8_t shallows = 2;
inline constexpr std::uint8_t marsh = 3;
inline constexpr std::uint8_t grass = 4;
inline constexpr std::uint8_t scrub = 5;
inline constexpr std::uint8_t forest = 6;
inline constexpr std::uint8_t hills = 7;
inline constexpr std::uint8_t mountains = 8;
inline constexpr std::uint8_t peaks = 9;
inline constexpr std::uint8_t town = 10;
inline constexpr std::uint8_t castle = 11;
inline constexpr std::uint8_t bridge_across = 12; // road east-west over a river running north-south
inline constexpr std::uint8_t bridge_along = 13;  // road north-south over a river running east-west
inline constexpr std::uint8_t beach = 14;
inline constexpr std::uint8_t village = 15;
inline constexpr std::uint8_t sea_swell = 16; // sea with its waves in other places
inline constexpr std::uint8_t balloon = 24;
inline constexpr std::uint8_t moon_gate = 67;
inline constexpr std::uint8_t flag = 68;
} // namespace demo_tile

// The two shape files, 4096 bytes each: the left and right half of every
// tile, line p of tile t at byte p * 256 + t. Returns false, with a reason,
// when a tile's drawing asks for two colour pairs within one byte.
bool build_shape_files(std::vector<std::uint8_t>* file0, std::vector<std::uint8_t>* file1,
                       std::string* problem);

// A 256 x 256 world in the map's chunked layout (16 x 16 chunks of 16 x 16
// tiles), the same for the same seed.
std::vector<std::uint8_t> generate_world(std::uint32_t seed);

// The world of the demo disks unless another seed is asked for.
inline constexpr std::uint32_t demo_default_seed = 1987;

// How a demo disk is stored: a raw sector image in the sector order asked
// for, the disk's surface as WOZ 2 or NIB (DOS 3.3 order inside), or a 2IMG
// file with the sectors in the order asked for.
enum class demo_form { raw, woz, nib, two_img };

// Writes the demo program disk (both shape files in its catalog) or the
// demo world disk (the world of seed on tracks 0 to 15) to path in sector
// order 1 (DOS 3.3) or 2 (ProDOS); 0, or -1 after a line saying why.
int write_demo_program_disk(const std::string& path, int order, demo_form form = demo_form::raw);
int write_demo_world_disk(const std::string& path, int order, std::uint32_t seed,
                          demo_form form = demo_form::raw);
