// WOZ 1 and WOZ 2 files in memory: the walk over their chunks, the CRC-32
// over the file, the checks of every field the decoder uses (all in
// check_woz_file, before any track is decoded), and flux tracks turned into
// bits.
#include <array>
#include <cstdlib>
#include <cstring>

#include "disk/surface/surface.h"
#include "picture/le_bytes.h"

namespace {

// File header:
//   OFFSET  SIZE  CONTENT
//      0      4   "WOZ1" or "WOZ2"
//      4      4   FF 0A 0D 0A
//      8      4   CRC-32 of every byte from offset 12 to the end; 0: not computed
//     12      -   chunks, each an ID (4 characters), a data length (4) and the
//                 data: INFO, TMAP and TRKS first, then META, WRIT, FLUX, ...
constexpr std::size_t header_size = 12;
constexpr std::array<std::uint8_t, 4> signature = {0xFF, 0x0A, 0x0D, 0x0A};
constexpr int crc_offset = 8;
constexpr std::size_t chunk_header_size = 8;
constexpr int chunk_length_offset = 4;
constexpr int max_chunks = 64; // a WOZ file has four or five

// INFO data:
//   OFFSET  SIZE  CONTENT
//      0      1   version: 1, 2 or 3
//      1      1   disk type: 1 = 5.25-inch, 2 = 3.5-inch
//      2      3   write protected, synchronized, cleaned
//      5     32   creator
//     37      1   disk sides                                          (version 2 on)
//     38      1   boot sector format
//     39      1   optimal bit timing in 125 ns ticks (32: 4 us)
//     40      6   compatible hardware, required RAM, largest track
//     46      2   FLUX block: the 512-byte block of the FLUX chunk's header;
//                 0: no flux tracks (only that is used: the walk finds
//                 the chunk)                                          (version 3 on)
//     48      2   largest flux track
constexpr std::uint32_t info_size = 60;
constexpr int info_version = 0;
constexpr int info_disk_type = 1;
constexpr int info_bit_timing = 39;
constexpr int info_flux_block = 46;
constexpr std::uint8_t five_inch_disk = 1;
constexpr std::uint8_t three_inch_disk = 2;
constexpr std::uint32_t standard_bit_timing = 32; // version 1 has no field: 4 us

// TMAP data, and FLUX data (version 3): one entry a quarter track from 0.00
// to 39.75, the index of a TRKS record or 0xFF for none. Track t is entry 4t.
constexpr std::uint32_t map_size = 160;
constexpr std::uint8_t no_record = 0xFF;
constexpr int entries_per_track = 4;

// TRKS data in WOZ 1: one record of 6,656 bytes per index:
//   OFFSET  SIZE  CONTENT
//      0   6646   bit stream, the first bit in bit 7 of the first byte
//   6646      2   bytes used
//   6648      2   bit count
//   6650      6   splice point (2), splice nibble, splice bit count, reserved (2)
constexpr std::uint32_t woz1_record_size = 6656;
constexpr std::uint32_t woz1_bits_size = 6646;
constexpr std::uint32_t woz1_bit_count = 6648;

// TRKS data in WOZ 2: 160 records of 8 bytes, then the tracks' blocks:
//   OFFSET  SIZE  CONTENT
//      0      2   starting block (of 512 bytes, from the start of the file)
//      2      2   block count
//      4      4   bit count; for a track named in FLUX, its count of flux bytes
constexpr std::uint32_t woz2_records = 160;
constexpr std::uint32_t woz2_record_size = 8;
constexpr std::uint32_t woz2_records_size = woz2_records * woz2_record_size;
constexpr std::size_t block_size = 512;

struct chunk {
    const std::uint8_t* data = nullptr; // null when the file has none
    std::uint32_t length = 0;
};

struct woz_chunks {
    chunk info, tmap, trks, flux;
};

// Every chunk header in turn: each chunk's data must end inside the file.
// The first INFO, TMAP, TRKS and FLUX are kept; others are skipped.
int walk_chunks(const std::uint8_t* file, std::size_t size, const char* path, woz_chunks* chunks) {
    std::size_t at = header_size;
    for (int n = 0; at < size; ++n) {
        if (n == max_chunks)
            return print_format_error("WOZ", path, "more than %d chunks", max_chunks);
        if (size - at < chunk_header_size)
            return print_format_error("WOZ", path, "chunk header cut short");
        const std::uint8_t* head = file + at;
        const std::uint32_t length = get_le32(head + chunk_length_offset);
        const std::size_t data = at + chunk_header_size;
        char id[5] = {}; // printable, for the line
        for (std::size_t i = 0; i < 4; ++i)
            id[i] = head[i] >= 0x20 && head[i] < 0x7F ? static_cast<char>(head[i]) : '?';
        if (length > size - data)
            return print_format_error("WOZ", path, "%s chunk runs past the end of the file", id);
        chunk* known = std::strcmp(id, "INFO") == 0   ? &chunks->info
                       : std::strcmp(id, "TMAP") == 0 ? &chunks->tmap
                       : std::strcmp(id, "TRKS") == 0 ? &chunks->trks
                       : std::strcmp(id, "FLUX") == 0 ? &chunks->flux
                                                      : nullptr;
        if (known != nullptr && known->data == nullptr)
            *known = chunk{file + data, length};
        at = data + length;
    }
    return 0;
}

// CRC-32 of zip and PNG: polynomial 0xEDB88320, start 0xFFFFFFFF, final XOR.
constexpr std::array<std::uint32_t, 256> crc_table = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}();

int check_crc(const std::uint8_t* file, std::size_t size, const char* path) {
    const std::uint32_t stored = get_le32(file + crc_offset);
    if (stored == 0)
        return 0; // not computed
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = header_size; i < size; ++i)
        crc = crc_table[(crc ^ file[i]) & 0xFF] ^ (crc >> 8);
    crc ^= 0xFFFFFFFFu;
    if (crc != stored)
        return print_format_error("WOZ", path, "CRC-32 %08X, header says %08X",
                                  static_cast<unsigned>(crc), static_cast<unsigned>(stored));
    return 0;
}

// A chunk of at least `need` bytes; -1 after the line.
int check_chunk(const char* path, const chunk& c, const char* id, std::uint32_t need) {
    if (c.data == nullptr)
        return print_format_error("WOZ", path, "no %s chunk", id);
    if (c.length < need)
        return print_format_error("WOZ", path, "%s chunk of %u bytes, less than %u", id,
                                  static_cast<unsigned>(c.length), static_cast<unsigned>(need));
    return 0;
}

// Track t from WOZ 1 record `index`: its bits lie in the record.
int place_woz1_track(const std::uint8_t* file, const char* path, const chunk& trks, int t,
                     std::uint32_t index, track_record* track) {
    if ((index + 1) * woz1_record_size > trks.length)
        return print_format_error("WOZ", path, "track %d record outside the TRKS chunk", t);
    const std::uint8_t* record = trks.data + index * woz1_record_size;
    const std::uint32_t bits = get_le16(record + woz1_bit_count);
    if (bits > woz1_bits_size * 8)
        return print_format_error("WOZ", path, "track %d: %u bits in a record of %u bytes", t,
                                  static_cast<unsigned>(bits),
                                  static_cast<unsigned>(woz1_bits_size));
    if (bits > 0)
        *track = track_record{static_cast<std::size_t>(record - file), (bits + 7) / 8, bits,
                              track_coding::bits};
    return 0;
}

// Track t from WOZ 2 record `index` (flux when FLUX names it): its blocks lie
// in the TRKS chunk, after the records, and its count fits in them.
int place_woz2_track(const std::uint8_t* file, const char* path, const chunk& trks, int t,
                     std::uint32_t index, bool flux, track_record* track) {
    if (index >= woz2_records)
        return print_format_error("WOZ", path, "track %d record outside the TRKS chunk", t);
    const std::uint8_t* record = trks.data + index * woz2_record_size;
    const std::size_t start = get_le16(record) * block_size;
    const std::size_t bytes = get_le16(record + 2) * block_size;
    const std::uint32_t count = get_le32(record + 4);
    if (bytes == 0 || count == 0)
        return 0; // an empty record: no data for the track
    const auto trks_start = static_cast<std::size_t>(trks.data - file);
    if (start < trks_start + woz2_records_size || start > trks_start + trks.length ||
        bytes > trks_start + trks.length - start)
        return print_format_error("WOZ", path, "track %d record outside the TRKS chunk", t);
    if (bytes > max_track_bytes)
        return print_format_error("WOZ", path, "track %d record of %lld bytes, more than %u", t,
                                  static_cast<long long>(bytes),
                                  static_cast<unsigned>(max_track_bytes));
    const auto blocks = static_cast<unsigned>(bytes / block_size);
    if (flux && count > bytes)
        return print_format_error("WOZ", path, "track %d: %u flux bytes in %u blocks", t,
                                  static_cast<unsigned>(count), blocks);
    if (!flux && count > bytes * 8)
        return print_format_error("WOZ", path, "track %d: %u bits in %u blocks", t,
                                  static_cast<unsigned>(count), blocks);
    *track = flux ? track_record{start, count, count, track_coding::flux}
                  : track_record{start, (count + 7) / 8, count, track_coding::bits};
    return 0;
}

// Bits from flux (see read_flux_bits) into bits when it is not null; their count.
std::uint32_t convert_flux(const std::uint8_t* flux, std::uint32_t count, std::uint32_t timing,
                           std::uint8_t* bits) {
    std::uint32_t made = 0;
    std::uint64_t ticks = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        ticks += flux[i];
        if (flux[i] == 255)
            continue; // keep adding
        const std::uint64_t cells = (ticks + timing / 2) / timing;
        if (cells == 0)
            continue; // noise: its ticks count toward the next transition
        ticks = 0;
        if (cells > max_track_bits - made)
            break;
        made += static_cast<std::uint32_t>(cells);
        if (bits != nullptr)
            bits[(made - 1) >> 3] |= static_cast<std::uint8_t>(0x80u >> ((made - 1) & 7));
    }
    return made;
}

} // namespace

bool is_woz_file(const std::uint8_t* file, std::size_t size) {
    return size >= 8 && std::memcmp(file, "WOZ", 3) == 0 && (file[3] == '1' || file[3] == '2') &&
           std::memcmp(file + 4, signature.data(), signature.size()) == 0;
}

int check_woz_file(const std::uint8_t* file, std::size_t size, const char* path,
                   surface_layout* layout) {
    const bool woz2 = file[3] == '2';
    if (size < header_size)
        return print_format_error("WOZ", path, "header cut short");
    woz_chunks chunks;
    if (walk_chunks(file, size, path, &chunks) < 0 || check_crc(file, size, path) < 0)
        return -1;

    // Every field that decides what is read, checked before any track is read.
    if (check_chunk(path, chunks.info, "INFO", info_size) < 0)
        return -1;
    const std::uint8_t* info = chunks.info.data;
    const std::uint8_t version = info[info_version];
    const std::uint8_t disk_type = info[info_disk_type];
    if (version == 0)
        return print_format_error("WOZ", path, "INFO version 0");
    if (disk_type == three_inch_disk) {
        std::printf("3.5-inch disk '%s': only 5.25-inch disks can be read\n", path);
        return -1;
    }
    if (disk_type != five_inch_disk)
        return print_format_error("WOZ", path, "INFO disk type %u",
                                  static_cast<unsigned>(disk_type));
    const bool has_flux = woz2 && version >= 3 && get_le16(info + info_flux_block) != 0;
    const std::uint32_t timing = version >= 2 ? info[info_bit_timing] : standard_bit_timing;
    if (has_flux && timing == 0)
        return print_format_error("WOZ", path, "INFO bit timing 0");
    if (check_chunk(path, chunks.tmap, "TMAP", map_size) < 0 ||
        (has_flux && check_chunk(path, chunks.flux, "FLUX", map_size) < 0) ||
        check_chunk(path, chunks.trks, "TRKS", woz2 ? woz2_records_size : 0) < 0)
        return -1;

    layout->bit_timing = timing;
    for (int t = 0; t < decoded_tracks; ++t) {
        const auto entry = static_cast<std::size_t>(t * entries_per_track);
        const bool flux = has_flux && chunks.flux.data[entry] != no_record;
        const std::uint8_t index = flux ? chunks.flux.data[entry] : chunks.tmap.data[entry];
        track_record* track = &layout->tracks[static_cast<std::size_t>(t)];
        if (index == no_record)
            continue;
        const int placed = woz2 ? place_woz2_track(file, path, chunks.trks, t, index, flux, track)
                                : place_woz1_track(file, path, chunks.trks, t, index, track);
        if (placed < 0)
            return -1;
    }
    return 0;
}

std::uint8_t* read_flux_bits(const std::uint8_t* flux, std::uint32_t count, std::uint32_t timing,
                             std::uint32_t* bit_count) {
    // Each byte counts 125 ns ticks since the transition before; 255 means 255
    // ticks and keep adding the next byte. A transition n bit cells after the
    // one before (ticks / timing, rounded to the nearest cell) stands for
    // n - 1 zero bits and a one.
    *bit_count = convert_flux(flux, count, timing, nullptr);
    auto* bits = static_cast<std::uint8_t*>(std::calloc((*bit_count + 7) / 8 + 1, 1));
    if (bits != nullptr)
        convert_flux(flux, count, timing, bits);
    return bits;
}
