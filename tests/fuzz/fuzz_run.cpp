// A world disk, as it comes: read raw in both sector orders, then drawn by
// the whole run, in both orders, with a small tile sheet of 1 x 1 pixel
// tiles, so that every input is a complete run from the options to the
// written file.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "disk/disk.h"
#include "fuzz_support.h"

namespace {

void put(std::vector<std::uint8_t>* out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A 16 x 16 picture at 8 bits a pixel: tile t is one pixel of palette index t.
std::vector<std::uint8_t> small_sheet() {
    std::vector<std::uint8_t> bmp = {'B', 'M'};
    const std::uint32_t offset = 54 + 1024;
    put(&bmp, offset + 256, 4);
    put(&bmp, 0, 4);
    put(&bmp, offset, 4);
    put(&bmp, 40, 4);
    put(&bmp, 16, 4);
    put(&bmp, 16, 4);
    put(&bmp, 1, 2);
    put(&bmp, 8, 2);
    for (std::uint32_t v : {0u, 256u, 0u, 0u, 0u, 0u}) put(&bmp, v, 4);
    for (std::uint32_t i = 0; i < 256; ++i) put(&bmp, i * 0x010203u, 4);
    for (int row = 15; row >= 0; --row)
        for (int col = 0; col < 16; ++col) bmp.push_back(static_cast<std::uint8_t>(row * 16 + col));
    return bmp;
}

std::string sheet_path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_support::quiet_stdout();
    sheet_path = fuzz_support::work_path("sheet.bmp");
    const std::vector<std::uint8_t> sheet = small_sheet();
    fuzz_support::require(fuzz_support::write_bytes(sheet_path, sheet.data(), sheet.size()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string world = fuzz_support::work_path("world.dsk");
    const std::string output = fuzz_support::work_path("map.bmp");
    if (!fuzz_support::write_bytes(world, data, size)) return 0;
    static std::uint8_t map[world_map_size];
    for (int order : {1, 2}) {
        const int raw = read_disk_raw(world.c_str(), order, map, static_cast<int>(world_map_size));
        fuzz_support::require(raw == 0 || raw == -1);
        // The whole map is there exactly when the file holds 16 tracks.
        fuzz_support::require((raw == 0) == (size >= world_map_size));
        if (raw == 0 && order == 1) fuzz_support::require(std::memcmp(map, data, world_map_size) == 0);
    }
    for (const char* order : {"--do", "--po"}) {
        std::string args[] = {"qarvex", order, "-s", sheet_path, "-d2", world, "-o", output,
                              "--overwrite"};
        char* argv[9];
        for (int i = 0; i < 9; ++i) argv[i] = args[i].data();
        const int status = run_qarvex(9, argv);
        fuzz_support::require(status == (size >= world_map_size ? 0 : 1));
    }
    return 0;
}
