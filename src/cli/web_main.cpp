// The page's way into the tool, as main.cpp is the command line's. The
// page's worker writes the disks a person gave it into the in-memory file
// system under their own names and runs the tool there with the arguments the
// command line would take, so that the page prints the same lines and writes
// the same picture as the command line. Beside the run: the world map's bytes
// for the tile under the pointer, which of two disks is the program disk, and
// the demo disks.
#include <cstdint>
#include <cstdlib>

#if defined(__EMSCRIPTEN__)
#include <emscripten/emscripten.h>
#else
#define EMSCRIPTEN_KEEPALIVE // built natively for the tests, which call these functions
#endif

#include "cli/cli.h"
#include "demo.h"
#include "disk/disk.h"
#include "map/map.h"

extern "C" {

// The whole run, as main runs it; the exit status.
EMSCRIPTEN_KEEPALIVE int web_run(int argc, char** argv) {
    return run_qarvex(argc, argv);
}

// The world disk's 65,536 map bytes into world_map, in the disk's own layout;
// 0, or -1 after the disk layer's lines.
EMSCRIPTEN_KEEPALIVE int web_read_world_map(const char* path, int order, std::uint8_t* world_map) {
    return read_disk_raw(path, order, world_map, static_cast<int>(world_map_size)) < 0 ? -1 : 0;
}

// 1 when the disk at path, read in the given order, has both tile files in
// its catalog, so that the tool can read its shapes; 0 otherwise.
EMSCRIPTEN_KEEPALIVE int web_is_program_disk(const char* path, int order) {
    shape_sheet sheet{};
    const int found = read_disk_shapes(path, order, &sheet) < 0 ? 0 : 1;
    std::free(sheet.palette);
    std::free(sheet.pixels);
    return found;
}

// The demo disks in sector order 1 or 2 at the two paths; 0, or -1 after a line.
EMSCRIPTEN_KEEPALIVE int web_make_demo(const char* program_path, const char* world_path,
                                       int order) {
    if (write_demo_program_disk(program_path, order) < 0)
        return -1;
    return write_demo_world_disk(world_path, order, demo_default_seed);
}

} // extern "C"
