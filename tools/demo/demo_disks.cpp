// The demo disks as files: the program disk with the two shape files in its
// catalog, and the world disk with the map on its first 16 tracks.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "demo.h"
#include "diskbuild.h"
#include "surfacebuild.h"

namespace {

constexpr std::uint8_t binary_file_type = 0x04;
constexpr std::uint16_t shape_load_address = 0x6000;

int save_demo_disk(const built_disk* disk, const std::string& path, int order, demo_form form) {
    switch (form) {
    case demo_form::woz:
        return save_bytes(woz_file(image_bytes(disk, 1)), path);
    case demo_form::nib:
        return save_bytes(nibble_file(image_bytes(disk, 1), nib_track_bytes), path);
    case demo_form::two_img:
        return save_bytes(two_img_file(image_bytes(disk, order), order == 2 ? 1 : 0), path);
    case demo_form::raw:
        break;
    }
    return save_disk(disk, path, order);
}

} // namespace

int write_demo_program_disk(const std::string& path, int order, demo_form form) {
    std::vector<std::uint8_t> file0;
    std::vector<std::uint8_t> file1;
    std::string problem;
    if (!build_shape_files(&file0, &file1, &problem)) {
        std::printf("error: %s\n", problem.c_str());
        return -1;
    }
    built_disk disk{};
    start_disk(&disk);
    if (add_file(&disk, "S\x01HP0", binary_file_type,
                 binary_file_contents(shape_load_address, file0)) < 0 ||
        add_file(&disk, "S\x01HP1", binary_file_type,
                 binary_file_contents(shape_load_address, file1)) < 0) {
        std::printf("error: can't add the shape files\n");
        return -1;
    }
    return save_demo_disk(&disk, path, order, form);
}

int write_demo_world_disk(const std::string& path, int order, std::uint32_t seed, demo_form form) {
    built_disk disk{};
    start_disk(&disk);
    put_raw(&disk, 0, generate_world(seed)); // tracks 0 to 15
    return save_demo_disk(&disk, path, order, form);
}
