// Recognising a disk image file by its content, before any rule of the raw
// images, and the checks of a 2IMG file's header.
#include <algorithm>
#include <array>
#include <cstring>

#include "disk/surface.h"
#include "picture/le_bytes.h"

namespace {

// What a file's content says it is:
//   "WOZ1" or "WOZ2", then FF 0A 0D 0A      a WOZ file (woz.cpp)
//   "2IMG"                                  a 2IMG file (below)
//   exactly 35 tracks of 6,656 bytes (NIB) or of 6,384 (NB2), the first
//   track holding an address field          a nibble image
// Anything else is a raw image, read as it always was.
constexpr std::size_t magic_size = 8;
constexpr std::array<std::uint8_t, 4> woz_signature = {0xFF, 0x0A, 0x0D, 0x0A};
constexpr std::uint32_t nib_track_size = 6656;
constexpr std::uint32_t nb2_track_size = 6384;

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
//     32     16   offsets and lengths of a comment and of creator data
//     48     16   reserved
// The data offset and length, not the header length, say where the disk is.
constexpr std::size_t two_img_fields = 32; // the bytes of the fields read
constexpr int two_img_format = 12;
constexpr int two_img_blocks = 20;
constexpr int two_img_offset = 24;
constexpr int two_img_length = 28;
constexpr std::uint32_t format_dos = 0;
constexpr std::uint32_t format_prodos = 1;
constexpr std::uint32_t format_nibbles = 2;
constexpr std::int64_t two_img_block_size = 512;

// The track size of 35 tracks of nibbles making length bytes, or 0.
std::uint32_t nibble_track_size(std::int64_t length) {
    if (length == std::int64_t{nib_track_size} * decoded_tracks)
        return nib_track_size;
    if (length == std::int64_t{nb2_track_size} * decoded_tracks)
        return nb2_track_size;
    return 0;
}

void lay_out_nibbles(image_layout* layout, std::int64_t offset, std::uint32_t ring_size) {
    for (std::size_t t = 0; t < layout->tracks.size(); ++t)
        layout->tracks[t] = track_record{offset + static_cast<std::int64_t>(t) * ring_size,
                                         ring_size, ring_size, track_coding::nibbles};
    layout->kind = image_kind::surface;
}

// Every field of the header that places the disk, checked against the file.
int check_two_img(std::FILE* file, std::int64_t size, const char* path, image_layout* layout) {
    std::array<std::uint8_t, two_img_fields> header;
    if (size < static_cast<std::int64_t>(header.size()))
        return print_format_error("2IMG", path, "header cut short");
    if (read_file_at(file, 0, header.size(), header.data()) < 0)
        return print_read_error(path);
    const std::uint32_t format = get_le32(header.data() + two_img_format);
    const std::int64_t blocks = get_le32(header.data() + two_img_blocks);
    const std::int64_t offset = get_le32(header.data() + two_img_offset);
    std::int64_t length = get_le32(header.data() + two_img_length);
    if (format != format_dos && format != format_prodos && format != format_nibbles)
        return print_format_error("2IMG", path, "data format %u", static_cast<unsigned>(format));
    if (format == format_prodos && length == 0)
        length = blocks * two_img_block_size;
    if (offset > size || length > size - offset)
        return print_format_error("2IMG", path,
                                  "%lld bytes of data at %lld, past the end of the file",
                                  static_cast<long long>(length), static_cast<long long>(offset));
    if (format == format_nibbles) {
        const std::uint32_t ring_size = nibble_track_size(length);
        if (ring_size == 0)
            return print_format_error("2IMG", path, "%lld bytes of nibbles, not 35 tracks",
                                      static_cast<long long>(length));
        lay_out_nibbles(layout, offset, ring_size);
        return 0;
    }
    layout->kind = image_kind::sectors;
    layout->order = format == format_dos ? dos_order : prodos_order;
    layout->offset = offset;
    layout->length = length;
    return 0;
}

} // namespace

int read_image_layout(std::FILE* file, std::int64_t size, const char* path, image_layout* layout) {
    *layout = image_layout{};
    std::array<std::uint8_t, magic_size> head{};
    const auto head_count = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(head.size()), size));
    if (read_file_at(file, 0, head_count, head.data()) < 0)
        return 0; // the raw read says what is wrong
    if (std::memcmp(head.data(), "WOZ", 3) == 0 && (head[3] == '1' || head[3] == '2') &&
        std::memcmp(head.data() + 4, woz_signature.data(), woz_signature.size()) == 0)
        return check_woz_file(file, size, path, head[3] == '2', layout);
    if (std::memcmp(head.data(), "2IMG", 4) == 0)
        return check_two_img(file, size, path, layout);
    const std::uint32_t ring_size = nibble_track_size(size);
    if (ring_size != 0) {
        std::array<std::uint8_t, nib_track_size> first_track;
        if (read_file_at(file, 0, ring_size, first_track.data()) == 0 &&
            holds_address_mark(first_track.data(), ring_size))
            lay_out_nibbles(layout, 0, ring_size);
    }
    return 0;
}
