// Writes a disk image as the surface of a disk: the 16-sector tracks as DOS
// 3.3 formats them, stored as nibbles (NIB, NB2), as WOZ 1 or WOZ 2 bit
// streams (some tracks as flux), or inside a 2IMG file; sectors can be
// damaged on purpose. For the tests and the fuzz seeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum class damage_kind {
    bad_checksum,    // the data field's checksum byte is wrong
    bad_byte,        // a byte of the data field is not in the 6-and-2 table
    no_address,      // the sector's address field is left out
    bad_address,     // the sector's address field has a wrong checksum
    no_data_field,   // the sector's data field is left out, its address field kept
    high_sector,     // the address field names sector 16 more than its own, checksum right
    thirteen_sector, // every address field of the track is marked D5 AA B5
};

struct sector_damage {
    int track;
    int sector; // logical (DOS 3.3) sector; not used for thirteen_sector
    damage_kind kind;
};

struct surface_options {
    int woz_version = 2;          // 1 or 2; with flux tracks the INFO version is 3
    std::vector<int> flux_tracks; // WOZ 2 tracks stored as flux
    std::vector<int> tracks;      // the tracks that get data; none listed: all 35
    std::vector<sector_damage> damage;
};

inline constexpr std::uint32_t nib_track_bytes = 6656;
inline constexpr std::uint32_t nb2_track_bytes = 6384;

// Every track is a ring that starts in the middle of the data field of
// physical sector track % 16, so that this sector wraps past the ring's end.
// image holds 35 tracks in DOS 3.3 order (143,360 bytes).

// A NIB (track_bytes 6656) or NB2 (6384) file.
std::vector<std::uint8_t> nibble_file(const std::vector<std::uint8_t>& image,
                                      std::uint32_t track_bytes,
                                      const surface_options& options = {});
// A WOZ file of options.woz_version, with a META chunk last and its CRC-32.
std::vector<std::uint8_t> woz_file(const std::vector<std::uint8_t>& image,
                                   const surface_options& options = {});
// CRC-32 of zip and PNG.
std::uint32_t crc32_of(const std::uint8_t* data, std::size_t size);
// Writes the CRC-32 of bytes 12 onward into bytes 8 to 11 of a WOZ file.
void stamp_woz_crc(std::vector<std::uint8_t>* woz);
// A 2IMG file: a 64-byte header of data format `format` (0 DOS-order
// sectors, 1 ProDOS-order sectors, 2 nibbles), then data.
std::vector<std::uint8_t> two_img_file(const std::vector<std::uint8_t>& data, std::uint32_t format);
