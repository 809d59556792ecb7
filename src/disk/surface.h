// Disk image files other than raw sector images, shared by the image loader
// (disk_image.cpp) and the raw read (raw_read.cpp) and by nothing else: how a
// file is recognised by its content and its header checked (image_format.cpp,
// woz.cpp), and how a disk's surface is decoded, one track at a time, into
// 256-byte sectors (surface.cpp, with the track format in gcr.cpp). Calls run
// one way: image_format -> woz; surface -> woz, gcr.
#pragma once

#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "disk/disk_internal.h"

// --- what a file holds --------------------------------------------------------
enum class image_kind {
    raw,     // a flat file of sectors, read in the order the run asks for
    sectors, // 2IMG sectors: a region of the file, in the order its header names
    surface, // WOZ or NIB/NB2 tracks (a NIB may sit inside a 2IMG), to be decoded
};

// How one track of a surface file is stored.
enum class track_coding : std::uint8_t { none, nibbles, bits, flux };

// One track of a surface file, every field checked against the file: its
// bytes lie wholly inside the file, and count fits in them.
struct track_record {
    std::int64_t offset = 0;
    std::uint32_t bytes = 0; // bytes to read at offset
    std::uint32_t count = 0; // bits: the bit count; nibbles and flux: = bytes
    track_coding coding = track_coding::none;
};

struct image_layout {
    image_kind kind = image_kind::raw;
    int order = dos_order;        // sectors: 1 DOS, 2 ProDOS
    std::int64_t offset = 0;      // sectors: where they begin
    std::int64_t length = 0;      // sectors: how many bytes, all inside the file
    std::uint32_t bit_timing = 0; // surface: 125 ns flux ticks a bit cell
    std::array<track_record, decoded_tracks> tracks{};
};

// The longest track record read (bits, flux or nibbles): a real 5.25-inch
// track holds about 51,000 bits, 6,400 bytes; flux of one turn about 25,000.
inline constexpr std::uint32_t max_track_bytes = 1 << 18;
// The most bits a flux track is turned into; flux beyond it is not read.
inline constexpr std::uint32_t max_track_bits = max_track_bytes * 8;
// Offsets beyond this can't be passed to a seek on every platform.
inline constexpr std::int64_t max_seek_offset = 0x7FFFFFFF;

// count bytes of file at offset into out; 0, or -1 (nothing printed).
inline int read_file_at(std::FILE* file, std::int64_t offset, std::size_t count,
                        std::uint8_t* out) {
    if (offset < 0 || offset > max_seek_offset ||
        std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0)
        return -1;
    return count == 0 || std::fread(out, count, 1, file) == 1 ? 0 : -1;
}

// The line of a read that failed inside a file already sized and checked; -1.
inline int print_read_error(const char* path) {
    std::printf("read error '%s'\n", path);
    return -1;
}

// The line of a header that can't be read as its format says, "FORMAT error
// 'PATH' (DETAIL)", DETAIL formatted like printf; -1.
#if defined(__GNUC__)
__attribute__((format(printf, 3, 4)))
#endif
inline int
print_format_error(const char* format, const char* path, const char* detail, ...) {
    char text[128];
    va_list args;
    va_start(args, detail);
    std::vsnprintf(text, sizeof text, detail, args);
    va_end(args);
    std::printf("%s error '%s' (%s)\n", format, path, text);
    return -1;
}

// --- recognising a file (image_format.cpp, woz.cpp) ---------------------------
// The layout of the seekable file of size bytes: raw unless its content says
// otherwise, with every header field checked. 0, or -1 after its line.
int read_image_layout(std::FILE* file, std::int64_t size, const char* path, image_layout* layout);
// A WOZ 1 (woz2 false) or WOZ 2 file's chunks, CRC and track records into
// layout. 0, or -1 after its line.
int check_woz_file(std::FILE* file, std::int64_t size, const char* path, bool woz2,
                   image_layout* layout);
// A flux track turned into a bit stream (first bit in bit 7 of the first
// byte), allocated with std::malloc; null when memory is short.
std::uint8_t* read_flux_bits(const std::uint8_t* flux, std::uint32_t count, std::uint32_t timing,
                             std::uint32_t* bit_count);

// --- the 16-sector track format (gcr.cpp) ------------------------------------
// A track is read for one turn and then on past the ring's end for this many
// bytes (or a whole second turn, if that is shorter), so that the sector that
// crosses the end is seen whole: a sector from its address field to the end
// of its data field is about 420 disk bytes, and the shift register falls
// into step within a few.
inline constexpr std::uint32_t wrap_bytes = 2048;
// The disk bytes that the drive's shift register takes from a bit stream
// ring read so; out holds (bit_count + min(bit_count, wrap_bytes * 8)) / 8 + 1
// bytes, one more than it can get. Their count.
std::size_t read_disk_bytes(const std::uint8_t* bits, std::uint32_t bit_count, std::uint8_t* out);
// Decodes the sectors of track `track` found in a run of disk bytes into
// track_data (4096 bytes, DOS 3.3 logical order) and states (16, by logical
// sector), raising each state to the best one met.
void decode_track_bytes(const std::uint8_t* bytes, std::size_t count, int track,
                        std::uint8_t* track_data, std::uint8_t* states);
// Whether the disk bytes hold the mark of an address field (16 or 13 sectors).
bool holds_address_mark(const std::uint8_t* bytes, std::size_t count);

// --- decoding a surface (surface.cpp) ---------------------------------------
// Track `track` of a surface file into track_data (4096 bytes, zero where a
// sector is missing) and states (16). Track 0 in the 13-sector format fails
// for the whole disk. 0, or -1 after its line.
int decode_surface_track(std::FILE* file, const char* path, const image_layout* layout, int track,
                         std::uint8_t* track_data, std::uint8_t* states);
// The line about a sector that the run needs and could not be decoded.
void print_undecoded_sector(const char* path, int track, int sector, std::uint8_t state);
