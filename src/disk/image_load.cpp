// The one way from a disk image file to sectors in memory: the file read
// whole (seekable or not, up to a bound), recognised by its content, and put
// into the record as a raw image, as a 2IMG file's sectors, or as a surface
// decoded into 35 DOS-order tracks with the state of each sector.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "disk/image_load.h"
#include "picture/file.h"
#include "picture/le_bytes.h"

namespace {

// A length that a 32-bit image size can't hold counts as a file that can't be
// sized (a directory gives the largest length there is).
constexpr long max_file_length = 0x7FFFFFFF;
static_assert(max_image_file_size == 1536 + 160 * std::int64_t{max_track_bytes});
// Bytes read at a time from a file that can't be sized.
constexpr std::size_t stream_step = 1 << 16;

// 2IMG header:
//   OFFSET  SIZE  CONTENT
//      0      4   "2IMG"
//      4      4   creator
//      8      2   header length (64; some old files say 52)
//     10      2   version (1)
//     12      4   data format: 0 DOS-order sectors, 1 ProDOS-order sectors,
//                 2 a NIB image
//     16      4   flags: bit 31 write-protected; bit 8: bits 0-7 hold the volume
//     20      4   number of 512-byte blocks (format 1)
//     24      4   offset of the data
//     28      4   length of the data (format 1: 0 means blocks * 512)
//     32      8   offset and length of a comment (offset 0: none)
//     40      8   offset and length of creator data (offset 0: none)
//     48     16   reserved
// The data offset and length, not the header length, say where the disk is.
constexpr std::size_t two_img_header_size = 64;
constexpr int two_img_format = 12;
constexpr int two_img_blocks = 20;
constexpr int two_img_offset = 24;
constexpr int two_img_length = 28;
constexpr int two_img_comment = 32;
constexpr int two_img_creator_data = 40;
constexpr std::uint32_t format_dos = 0;
constexpr std::uint32_t format_prodos = 1;
constexpr std::uint32_t format_nibbles = 2;
constexpr std::int64_t two_img_block_size = 512;

// The file's bytes, freed unless taken.
struct file_bytes {
    std::uint8_t* bytes = nullptr;
    std::size_t count = 0;
    file_bytes() = default;
    file_bytes(const file_bytes&) = delete;
    file_bytes& operator=(const file_bytes&) = delete;
    ~file_bytes() { std::free(bytes); }
};

int print_too_large(const char* path, long long length) {
    if (length > max_image_file_size)
        std::printf("disk image too large '%s' (%lld bytes, more than %lld)\n", path, length,
                    static_cast<long long>(max_image_file_size));
    else
        std::printf("disk image too large '%s' (more than %lld bytes)\n", path,
                    static_cast<long long>(max_image_file_size));
    return -1;
}

// A file that can't be sized (a pipe, a terminal), read as it comes: at most
// max_image_file_size bytes, and one more to see that there are more.
int read_stream(std::FILE* file, const char* path, file_bytes* whole, load_fault* fault) {
    std::clearerr(file);
    constexpr auto limit = static_cast<std::size_t>(max_image_file_size) + 1;
    std::size_t room = 0;
    for (;;) {
        if (whole->count == room) {
            if (room == limit)
                return print_too_large(path, -1);
            room = std::min(limit, room + std::max(room, stream_step));
            auto* grown = static_cast<std::uint8_t*>(std::realloc(whole->bytes, room));
            if (grown == nullptr)
                return print_memory_exhaust();
            whole->bytes = grown;
        }
        const std::size_t got =
            std::fread(whole->bytes + whole->count, 1, room - whole->count, file);
        whole->count += got;
        if (got == 0)
            break;
    }
    if (std::ferror(file) != 0 || whole->count == 0) {
        *fault = load_fault::read;
        return -1;
    }
    return 0;
}

// The whole file, at most max_image_file_size bytes, refused before it is
// read when it is larger; an empty file counts as one that can't be read.
int read_whole_file(std::FILE* file, const char* path, file_bytes* whole, load_fault* fault) {
    if (std::fseek(file, 0, SEEK_END) != 0)
        return read_stream(file, path, whole, fault);
    const long length = std::ftell(file);
    // Under Node a pipe takes the seek and says it is empty: what it holds
    // is read as it comes (an empty file gives nothing there either).
    if (length == 0)
        return read_stream(file, path, whole, fault);
    if (length < 0 || length > max_file_length) {
        *fault = load_fault::size;
        return -1;
    }
    if (length > max_image_file_size)
        return print_too_large(path, length);
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        *fault = load_fault::seek;
        return -1;
    }
    whole->count = static_cast<std::size_t>(length);
    whole->bytes = static_cast<std::uint8_t*>(std::malloc(whole->count));
    if (whole->bytes == nullptr)
        return print_memory_exhaust();
    if (std::fread(whole->bytes, whole->count, 1, file) != 1) {
        *fault = load_fault::read;
        return -1;
    }
    return 0;
}

// Whether the region [offset, offset + length) overlaps the chunk whose
// offset and length stand at field of the header (an offset of 0: none).
bool overlaps_chunk(const std::uint8_t* header, int field, std::int64_t offset,
                    std::int64_t length) {
    const std::int64_t chunk_offset = get_le32(header + field);
    const std::int64_t chunk_length = get_le32(header + field + 4);
    return chunk_offset != 0 && chunk_length != 0 && length != 0 &&
           chunk_offset < offset + length && offset < chunk_offset + chunk_length;
}

// Every field of the header that places the disk, checked against the file.
int check_two_img(const std::uint8_t* file, std::size_t size, const char* path,
                  image_layout* layout) {
    if (size < two_img_header_size)
        return print_format_error("2IMG", path, "header cut short");
    const std::uint32_t format = get_le32(file + two_img_format);
    const std::int64_t blocks = get_le32(file + two_img_blocks);
    const std::int64_t offset = get_le32(file + two_img_offset);
    std::int64_t length = get_le32(file + two_img_length);
    const auto file_size = static_cast<std::int64_t>(size);
    if (format != format_dos && format != format_prodos && format != format_nibbles)
        return print_format_error("2IMG", path, "data format %u", static_cast<unsigned>(format));
    if (format == format_prodos && length == 0)
        length = blocks * two_img_block_size;
    if (offset > file_size || length > file_size - offset)
        return print_format_error("2IMG", path,
                                  "%lld bytes of data at %lld, past the end of the file",
                                  static_cast<long long>(length), static_cast<long long>(offset));
    if (offset < static_cast<std::int64_t>(two_img_header_size))
        return print_format_error("2IMG", path, "data at %lld, inside the 64-byte header",
                                  static_cast<long long>(offset));
    for (const auto& [field, what] :
         {std::pair{two_img_comment, "comment"}, std::pair{two_img_creator_data, "creator data"}})
        if (overlaps_chunk(file, field, offset, length))
            return print_format_error("2IMG", path, "%lld bytes of data at %lld overlap the %s",
                                      static_cast<long long>(length),
                                      static_cast<long long>(offset), what);
    if (format == format_nibbles) {
        const std::uint32_t ring_size = nibble_track_size(static_cast<std::size_t>(length));
        if (ring_size == 0)
            return print_format_error("2IMG", path, "%lld bytes of nibbles, not 35 tracks",
                                      static_cast<long long>(length));
        lay_out_nibbles(&layout->surface, static_cast<std::size_t>(offset), ring_size);
        layout->kind = image_kind::surface;
        return 0;
    }
    layout->kind = image_kind::sectors;
    layout->order = format == format_dos ? dos_order : prodos_order;
    layout->offset = static_cast<std::size_t>(offset);
    layout->length = static_cast<std::size_t>(length);
    return 0;
}

// The file's surface decoded into a DOS-order image of 35 tracks, with what
// became of each sector kept for the readers.
int decode_surface_image(disk_image* disk, const file_bytes& whole, const char* path,
                         const surface_layout* surface) {
    disk->order = dos_order;
    disk->size = decoded_tracks * track_size;
    disk->data = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(disk->size)));
    disk->decoded = static_cast<decoded_sectors*>(std::calloc(1, sizeof(decoded_sectors)));
    const std::size_t path_size = std::strlen(path) + 1;
    if (disk->decoded != nullptr)
        disk->decoded->path = static_cast<char*>(std::malloc(path_size));
    if (disk->data == nullptr || disk->decoded == nullptr || disk->decoded->path == nullptr)
        return print_memory_exhaust();
    std::memcpy(disk->decoded->path, path, path_size);
    return decode_surface(whole.bytes, surface, path, disk->data, disk->decoded->state.data());
}

} // namespace

int read_image_layout(const std::uint8_t* file, std::size_t size, const char* path,
                      image_layout* layout) {
    *layout = image_layout{};
    if (is_woz_file(file, size)) {
        layout->kind = image_kind::surface;
        return check_woz_file(file, size, path, &layout->surface);
    }
    if (size >= 4 && std::memcmp(file, "2IMG", 4) == 0)
        return check_two_img(file, size, path, layout);
    const std::uint32_t ring_size = nibble_track_size(size);
    if (ring_size != 0 && holds_address_mark(file, ring_size)) {
        lay_out_nibbles(&layout->surface, 0, ring_size);
        layout->kind = image_kind::surface;
    }
    return 0;
}

int load_disk_image(disk_image* disk, const char* path, load_fault* fault) {
    *fault = load_fault::reported;
    file_bytes whole;
    {
        file_owner in(open_file(path, "rb"));
        if (in.file == nullptr) {
            *fault = load_fault::open;
            return -1;
        }
        if (read_whole_file(in.file, path, &whole, fault) < 0)
            return -1;
    }
    image_layout layout;
    if (read_image_layout(whole.bytes, whole.count, path, &layout) < 0)
        return -1;
    if (layout.kind == image_kind::surface) {
        if (decode_surface_image(disk, whole, path, &layout.surface) < 0)
            return -1;
    } else {
        // A raw image is the whole file; a 2IMG file's sectors are the region
        // its header names, in the order it names.
        if (layout.kind == image_kind::sectors) {
            std::memmove(whole.bytes, whole.bytes + layout.offset, layout.length);
            whole.count = layout.length;
            disk->order = layout.order;
        }
        disk->size = static_cast<std::int32_t>(whole.count);
        disk->data = whole.bytes;
        whole.bytes = nullptr;
    }
    disk->tracks = disk->size / track_size;
    return 0;
}
