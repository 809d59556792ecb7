// Writes the seed corpus of the fuzz targets from our own builders, by hand when a
// format changes. Disk images are named .disk, since .dsk files stay out of git.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bmp/bmp.h"
#include "diskbuild.h"

namespace {

using bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

bytes pattern(std::size_t n, unsigned seed) {
    bytes out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>((i * 2654435761u + seed) >> 11);
    return out;
}

void save(const fs::path& to, const bytes& data) {
    if (save_bytes(data, to.string()) != 0)
        std::printf("can't write %s\n", to.string().c_str());
}

// The two shape files in both sector orders, and broken three ways; then files of
// every type, of two T/S lists, deleted, in a catalog of two sectors.
void disk_seeds(const fs::path& dir) {
    built_disk shapes{};
    start_disk(&shapes);
    add_file(&shapes, "S\x01HP0", 0x04, binary_file_contents(0x6000, pattern(4096, 1)));
    add_file(&shapes, "S\x01HP1", 0x04, binary_file_contents(0x6000, pattern(4096, 2)));
    save(dir / "shapes-dos.disk", image_bytes(&shapes, 1));
    save(dir / "shapes-prodos.disk", image_bytes(&shapes, 2));
    put_last_pair(&shapes, 0, 3, {0x40, 2});                             // outside the image
    put_link(&shapes, shapes.last_ts_lists[0], shapes.last_ts_lists[0]); // a T/S list loop
    put_link(&shapes, {17, 12}, {17, 14});                               // a catalog loop
    save(dir / "broken-dos.disk", image_bytes(&shapes, 1));

    built_disk files{};
    start_disk(&files);
    place_catalog(&files, {{17, 15}, {3, 5}});
    add_file(&files, "S\x01HP0", 0x04, binary_file_contents(0x6000, pattern(4096, 3)));
    add_file(&files, "INT", 0x01, basic_file_contents(pattern(300, 4)));
    add_file(&files, "SOFT", 0x02, basic_file_contents(pattern(30, 5)));
    add_file(&files, "REL", 0x10, pattern(700, 6));
    add_file(&files, "LONG TEXT", 0x00, pattern(130 * 256, 7));
    add_file(&files, "GONE", 0x04, binary_file_contents(0, pattern(10, 8)));
    delete_last_file(&files);
    for (int i = 0; i < 6; ++i)
        add_file(&files, "F" + std::to_string(i), 0x00, pattern(20, 9));
    add_file(&files, "S\x01HP1", 0x84, binary_file_contents(0x6000, pattern(4096, 10)));
    save(dir / "files-dos.disk", image_bytes(&files, 1));
}

void world_seeds(const fs::path& dir) {
    bytes map = pattern(65536, 11);
    save(dir / "world-65536.disk", map);
    save(dir / "world-short.disk", bytes(map.begin(), map.end() - 256));
    map.resize(65536 + 4096, 0);
    save(dir / "world-17-tracks.disk", map);
}

void bitmap_seeds(const fs::path& dir) {
    struct size {
        std::uint32_t w, h;
        std::uint16_t bits;
    };
    const size sizes[] = {{16, 16, 1},  {35, 17, 1}, {32, 16, 4},  {17, 18, 4},
                          {16, 16, 8},  {19, 3, 8},  {16, 16, 16}, {5, 7, 16},
                          {16, 16, 24}, {13, 2, 24}, {16, 16, 32}, {0, 0, 24}};
    std::uint32_t palette[256];
    for (std::uint32_t i = 0; i < 256; ++i)
        palette[i] = i * 0x01030507u;
    for (const size& s : sizes) {
        bitmap_header header{};
        create_bitmap_header(&header, s.w, s.h, s.bits);
        const bytes pixels = pattern(std::size_t{s.w} * s.h * ((s.bits + 7u) / 8u) + 1, s.w);
        const std::string name =
            std::to_string(s.w) + "x" + std::to_string(s.h) + "-" + std::to_string(s.bits) + ".bmp";
        std::FILE* file = std::fopen((dir / name).string().c_str(), "wb");
        if (file == nullptr)
            continue;
        write_bitmap(file, &header, s.bits <= 8 ? palette : nullptr, pixels.data());
        std::fclose(file);
    }
}

} // namespace

int main(int argc, char** argv) {
    const fs::path out = argc > 1 ? argv[1] : "tests/fuzz/corpus";
    for (const char* target : {"disk_image", "bitmap", "run"})
        fs::create_directories(out / target);
    disk_seeds(out / "disk_image");
    bitmap_seeds(out / "bitmap");
    world_seeds(out / "run");
    return 0;
}
