// The surface of a disk: files that hold the bits (WOZ), the flux (WOZ 2 of
// INFO version 3) or the disk bytes (NIB, NB2) of its tracks, decoded track by
// track into 256-byte sectors. The whole file is in memory; every offset here
// is into it. Used by the image loader (image_load.cpp) and by nothing else.
// Calls run one way: surface -> woz, gcr.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "disk/disk_internal.h"

// How one track of a surface file is stored.
enum class track_coding : std::uint8_t { none, nibbles, bits, flux };

// One track of a surface file, every field checked against the file: its
// bytes lie wholly inside the file, and count fits in them.
struct track_record {
    std::size_t offset = 0;
    std::uint32_t bytes = 0; // bytes at offset
    std::uint32_t count = 0; // bits: the bit count; nibbles and flux: = bytes
    track_coding coding = track_coding::none;
};

struct surface_layout {
    std::uint32_t bit_timing = 0; // 125 ns flux ticks a bit cell
    std::array<track_record, decoded_tracks> tracks{};
};

// A NIB track is 6,656 disk bytes, an NB2 track 6,384.
inline constexpr std::uint32_t nib_track_size = 6656;
inline constexpr std::uint32_t nb2_track_size = 6384;
// The longest track record read (bits, flux or nibbles): a real 5.25-inch
// track holds about 51,000 bits, 6,400 bytes; flux of one turn about 25,000.
inline constexpr std::uint32_t max_track_bytes = 1 << 18;
// The most bits a flux track is turned into; flux beyond it is not read.
inline constexpr std::uint32_t max_track_bits = max_track_bytes * 8;

// --- NIB and NB2 (surface.cpp) -----------------------------------------------
// The track size of 35 tracks of nibbles making size bytes, or 0.
std::uint32_t nibble_track_size(std::size_t size);
// 35 nibble tracks of ring_size bytes each, from offset.
void lay_out_nibbles(surface_layout* layout, std::size_t offset, std::uint32_t ring_size);

// --- WOZ (woz.cpp) -------------------------------------------------------------
// Whether the file begins with the signature of a WOZ 1 or WOZ 2 file.
bool is_woz_file(const std::uint8_t* file, std::size_t size);
// A WOZ file's chunks, CRC and track records into layout. 0, or -1 after its
// line.
int check_woz_file(const std::uint8_t* file, std::size_t size, const char* path,
                   surface_layout* layout);
// A flux track turned into a bit stream (first bit in bit 7 of the first
// byte), allocated with std::malloc; null when memory is short.
std::uint8_t* read_flux_bits(const std::uint8_t* flux, std::uint32_t count, std::uint32_t timing,
                             std::uint32_t* bit_count);

// --- the 16-sector track format (gcr.cpp) ------------------------------------
// The 64 valid disk bytes of the 6-and-2 code, value 0 to 63 in order: every
// byte with bit 7 set, two adjacent one bits among bits 0-6 and at most one
// pair of adjacent zero bits, but D5 and AA, which are kept for marks.
// clang-format off
inline constexpr std::array<std::uint8_t, 64> six_and_two = {
    0x96, 0x97, 0x9A, 0x9B, 0x9D, 0x9E, 0x9F, 0xA6, 0xA7, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB2, 0xB3,
    0xB4, 0xB5, 0xB6, 0xB7, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF, 0xCB, 0xCD, 0xCE, 0xCF, 0xD3,
    0xD6, 0xD7, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xE5, 0xE6, 0xE7, 0xE9, 0xEA, 0xEB, 0xEC,
    0xED, 0xEE, 0xEF, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
// clang-format on
// A track is read for one turn and then on past the ring's end for this many
// bytes (or a whole second turn, if that is shorter), so that the sector that
// crosses the end is seen whole: a sector from its address field to the end
// of its data field is about 420 disk bytes, and the drive's latch falls into
// step within a few.
inline constexpr std::uint32_t wrap_bytes = 2048;
// The disk bytes that the drive's latch takes from a bit stream ring read so;
// out holds (bit_count + min(bit_count, wrap_bytes * 8)) / 8 bytes. Their
// count.
std::size_t read_disk_bytes(const std::uint8_t* bits, std::uint32_t bit_count, std::uint8_t* out);
// Decodes the sectors of track `track` found in a run of disk bytes into
// track_data (4096 bytes, DOS 3.3 logical order) and states (16, by logical
// sector), raising each state to the best one met.
void decode_track_bytes(const std::uint8_t* bytes, std::size_t count, int track,
                        std::uint8_t* track_data, std::uint8_t* states);
// Whether the disk bytes hold the mark of an address field (16 or 13 sectors).
bool holds_address_mark(const std::uint8_t* bytes, std::size_t count);

// --- decoding a surface (surface.cpp) ---------------------------------------
// The 35 tracks of the surface file in memory into image (35 * 4096 bytes,
// DOS 3.3 order, zero where a sector is missing) and states (35 * 16). A
// first track in the 13-sector format fails for the whole disk. 0, or -1
// after its line.
int decode_surface(const std::uint8_t* file, const surface_layout* layout, const char* path,
                   std::uint8_t* image, std::uint8_t* states);
