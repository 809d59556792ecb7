// A world disk, as it comes: read raw in both sector orders, then drawn by the whole
// run in both orders, with the 16 x 16 picture of the BMP seeds as its tile sheet:
// 256 tiles of one pixel keep every run small.
#include <cstdint>
#include <cstring>
#include <string>

#include "cli/cli.h"
#include "disk/disk.h"
#include "fuzz_support.h"
#include "map/map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string world = fuzz_support::write_file("world.dsk", data, size);
    if (world.empty())
        return 0;
    const bool whole = size >= world_map_size; // the file holds the 16 tracks of the map
    static std::uint8_t map[world_map_size];
    for (const int order : {dos_order, prodos_order}) {
        const int raw = read_disk_raw(world.c_str(), order, map, static_cast<int>(world_map_size));
        fuzz_support::require(raw == (whole ? 0 : -1));
        if (whole && order == dos_order)
            fuzz_support::require(std::memcmp(map, data, world_map_size) == 0);
    }
    const std::string output = (fuzz_support::folder / "map.bmp").string();
    for (const char* order : {"--do", "--po"}) {
        const char* argv[] = {"qarvex",      order, "-s",           QARVEX_FUZZ_SHEET, "-d2",
                              world.c_str(), "-o",  output.c_str(), "--overwrite"};
        fuzz_support::require(run_qarvex(9, const_cast<char**>(argv)) == (whole ? 0 : 1));
    }
    return 0;
}
