// Loading a whole disk image into memory, settling its sector order, and
// releasing the record with everything it owns. A file recognised by its
// content is loaded from its 2IMG data or decoded from its surface.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "disk/surface.h"
#include "picture/file.h"

namespace {

// An image needs 18 whole tracks: the catalog lives on track 17.
constexpr std::int32_t min_tracks = 18;
constexpr long max_image_size = 0x7FFFFFFF; // size is held in 32 bits

// A surface decoded track by track into a DOS-order image of 35 tracks, with
// what became of each sector kept for the readers.
int decode_surface_image(disk_image* disk, std::FILE* file, const char* path,
                         const image_layout* layout) {
    disk->order = dos_order;
    disk->size = decoded_tracks * track_size;
    disk->tracks = decoded_tracks;
    disk->data = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(disk->size)));
    disk->decoded = static_cast<decoded_sectors*>(std::calloc(1, sizeof(decoded_sectors)));
    const std::size_t path_size = std::strlen(path) + 1;
    if (disk->decoded != nullptr)
        disk->decoded->path = static_cast<char*>(std::malloc(path_size));
    if (disk->data == nullptr || disk->decoded == nullptr || disk->decoded->path == nullptr)
        return print_memory_exhaust();
    std::memcpy(disk->decoded->path, path, path_size);
    for (int t = 0; t < decoded_tracks; ++t) {
        if (decode_surface_track(file, path, layout, t, disk->data + t * track_size,
                                 disk->decoded->state.data() + t * sectors_per_track) < 0)
            return -1;
    }
    return 0;
}

// Steps 2-8 of the open: the whole file read as one item into disk->data;
// for a file recognised by its content, its 2IMG sectors or its decoded
// surface.
int load_image_bytes(disk_image* disk, const char* path) {
    file_owner in(open_file(path, "rb"));
    if (in.file == nullptr) {
        std::printf("open error '%s'\n", path);
        return -1;
    }
    if (std::fseek(in.file, 0, SEEK_END) != 0) {
        std::printf("seek error '%s' (SEEK_END)\n", path);
        return -1;
    }
    // A length that a 32-bit size can't hold counts as a failed seek to the end.
    const long length = std::ftell(in.file);
    if (length < 0 || length > max_image_size) {
        std::printf("seek error '%s' (SEEK_END)\n", path);
        return -1;
    }
    image_layout layout;
    if (read_image_layout(in.file, length, path, &layout) < 0)
        return -1;
    if (layout.kind == image_kind::surface)
        return decode_surface_image(disk, in.file, path, &layout);
    // A raw image is the whole file; a 2IMG file's sectors are the region
    // its header names, in the order it names.
    std::int64_t start = 0;
    disk->size = static_cast<std::int32_t>(length);
    if (layout.kind == image_kind::sectors) {
        start = layout.offset;
        disk->size = static_cast<std::int32_t>(layout.length);
        disk->order = layout.order;
    }
    disk->tracks = disk->size / track_size;
    if (std::fseek(in.file, static_cast<long>(start), SEEK_SET) != 0) {
        std::printf("seek error '%s' (SEEK_SET)\n", path);
        return -1;
    }
    // At least one byte, so that an empty file fails at the read, not here.
    disk->data = static_cast<std::uint8_t*>(
        std::malloc(disk->size > 0 ? static_cast<std::size_t>(disk->size) : 1));
    if (disk->data == nullptr)
        return print_memory_exhaust();
    if (std::fread(disk->data, static_cast<std::size_t>(disk->size), 1, in.file) != 1) {
        std::printf("read error '%s'\n", path);
        return -1;
    }
    return 0;
}

// Reads the catalog in the order asked for, or detects the order: DOS 3.3
// first, then ProDOS. Detection can pick DOS order for a ProDOS image, since
// the VTOC and the first catalog sector sit at the same place in both.
int settle_order(disk_image* disk, int cut_loops) {
    if (disk->order == dos_order || disk->order == prodos_order) {
        disk->sector_map = disk->order == dos_order ? &dos_sector_map : &prodos_sector_map;
        return read_catalog(disk, cut_loops);
    }
    disk->sector_map = &dos_sector_map;
    if (read_catalog(disk, cut_loops) == 0) {
        disk->order = dos_order;
        return 0;
    }
    disk->sector_map = &prodos_sector_map;
    if (read_catalog(disk, cut_loops) == 0) {
        disk->order = prodos_order;
        return 0;
    }
    disk->sector_map = &dos_sector_map;
    return -1;
}

} // namespace

int open_disk_image(disk_image* disk, const char* path, int order, int cut_loops) {
    std::memset(disk, 0, sizeof *disk); // padding included: an all-zero record
    disk->order = order;
    disk->sector_map = &dos_sector_map;
    if (load_image_bytes(disk, path) < 0)
        return -1;
    if (disk->tracks < min_tracks) {
        std::printf("disk image size error\n");
        std::printf("can't get catalog '%s'\n", path);
        return -1;
    }
    if (settle_order(disk, cut_loops) < 0) {
        std::printf("can't get catalog '%s'\n", path);
        return -1;
    }
    // Files whose lists could not be read stay unreadable; the others can be
    // read. A list sector that could not be decoded fails the open.
    const int lists = read_ts_lists(disk);
    if (lists < 0)
        std::printf("can't get track/sector list '%s'\n", path);
    return lists == sector_undecoded ? -1 : 0;
}

void release_disk_image(disk_image* disk, int free_record) {
    if (disk == nullptr)
        return;
    free_catalog(disk);
    std::free(disk->data);
    if (disk->decoded != nullptr)
        std::free(disk->decoded->path);
    std::free(disk->decoded);
    if (free_record != 0) {
        std::free(disk);
        return;
    }
    std::memset(disk, 0, sizeof *disk); // padding included: an all-zero record
}
