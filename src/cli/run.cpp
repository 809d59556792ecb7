// The run sequence: one straight line of stages on the records held here.
// Each failing stage prints its own line; the run adds one naming the stage
// and goes straight to the release, which frees every buffer once.
#include <cassert>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "bmp/bmp.h"
#include "cli/cli.h"
#include "disk/disk.h"
#include "map/map.h"
#include "render/render.h"

namespace {

// The run colours every scan line as a ring, at the subcarrier phase of the
// line's first dot.
constexpr int join_ends = 1;
constexpr int phase_offset = 0;

int read_sheet(const run_settings* settings, shape_sheet* sheet) {
    if (settings->use_shape_bitmap) {
        if (read_shape_bitmap(settings->shape_bitmap, sheet, sheet_tiles_across, sheet_tiles_down) <
            0) {
            std::printf("error: read shape bitmap '%s'\n", settings->shape_bitmap);
            return -1;
        }
        return 0;
    }
    if (read_disk_shapes(settings->program_disk, settings->sector_order, sheet) < 0) {
        std::printf("error: read shapes from disk image\n");
        return -1;
    }
    return 0;
}

// Sizes the picture from the sheet and allocates its zero-filled pixels. The
// byte size is a 32-bit quantity; a sheet with tiles so large that the map
// would not fit is refused before anything is allocated.
int allocate_picture(const shape_sheet* sheet, image_info* picture) {
    const std::int64_t width = std::int64_t{map_tiles} * sheet->tile_width;
    const std::int64_t height = std::int64_t{map_tiles} * sheet->tile_height;
    const std::int64_t bytes = sheet->bytes_per_pixel * width * height;
    if (bytes > UINT32_MAX) {
        std::printf("error: tiles of %d x %d pixels make the map larger than 4 GiB\n",
                    static_cast<int>(sheet->tile_width), static_cast<int>(sheet->tile_height));
        return -1;
    }
    // Each side is at least 256 times smaller than the byte size.
    assert(width <= INT32_MAX && height <= INT32_MAX);
    picture->width = static_cast<std::int32_t>(width);
    picture->height = static_cast<std::int32_t>(height);
    picture->bit_count = sheet->bit_count;
    picture->palette = sheet->palette;
    picture->byte_size = static_cast<std::uint32_t>(bytes);
    picture->pixels = allocate_pixels(picture->byte_size);
    if (picture->pixels == nullptr) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    return 0;
}

// Artifact colour with no or one "-B", the NTSC decode with two; a sheet
// from a BMP file is never coloured.
int colour_picture(const run_settings* settings, image_info* picture) {
    if (settings->use_shape_bitmap)
        return 0;
    if (settings->blur_level < 2) {
        colour_bitmap(picture, join_ends, settings->blur_level);
        return 0;
    }
    if (retouch_bitmap(picture, join_ends, phase_offset) < 0) {
        std::printf("error: can't retouch bitmap\n");
        return -1;
    }
    return 0;
}

// The world disk's first 16 tracks into a buffer of the run's own.
int read_world_map(const run_settings* settings, std::uint8_t** world_map) {
    *world_map = static_cast<std::uint8_t*>(std::malloc(world_map_size));
    if (*world_map == nullptr) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    if (read_disk_raw(settings->world_disk, settings->sector_order, *world_map,
                      static_cast<int>(world_map_size)) < 0) {
        std::printf("error: read image file '%s'\n", settings->world_disk);
        return -1;
    }
    return 0;
}

int run_stages(run_settings* settings, shape_sheet* sheet, image_info* picture,
               std::uint8_t** world_map) {
    if (check_output_file(settings) < 0)
        return -1;
    if (read_sheet(settings, sheet) < 0)
        return -1;
    if (allocate_picture(sheet, picture) < 0)
        return -1;
    if (read_world_map(settings, world_map) < 0)
        return -1;
    compose_map(picture, sheet, *world_map, settings->gate_set, settings->balloon);
    if (colour_picture(settings, picture) < 0)
        return -1;
    if (write_bitmap_file(settings->output_file, picture, settings->overwrite) < 0) {
        std::printf("error: write bitmap file '%s'\n", settings->output_file);
        return -1;
    }
    return 0;
}

} // namespace

int run_qarvex(int argc, char** argv) {
    run_settings settings;
    set_default_settings(&settings);
    if (parse_arguments(&settings, argc, argv) != 0)
        return 1;

    shape_sheet sheet{};
    image_info picture{};
    std::uint8_t* world_map = nullptr;
    if (run_stages(&settings, &sheet, &picture, &world_map) == 0)
        settings.exit_status = 0;

    // The picture borrows the sheet's palette: it is freed once, through the sheet.
    std::free(sheet.palette);
    std::free(sheet.pixels);
    release_pixels(picture.pixels);
    std::free(world_map);
    std::fflush(stdout);
    return settings.exit_status;
}
