// A small DOS 3.3 disk image builder: formats a 35-track disk in memory, adds
// files with their catalog entries and track/sector lists, pokes bytes to break
// it on purpose, and writes it out in either sector order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct built_sector {
    int track;
    int sector;
};

struct built_disk {
    std::vector<std::uint8_t> bytes; // 35 tracks in logical (DOS 3.3) sector order
    int next_free;                   // next data sector to hand out, as track * 16 + (15 - sector)
    // Where the last add_file put its track/sector lists and data sectors.
    std::vector<built_sector> last_ts_lists;
    std::vector<built_sector> last_data;
    built_sector last_entry; // catalog sector of the last entry added
    int last_entry_offset;   // byte offset of that entry within its catalog sector
};

// --- building a good disk ----------------------------------------------------
// A formatted 35-track (143,360-byte) DOS 3.3 disk: VTOC at 17/0 (catalog
// 17/15, release 3, volume 254, 122 pairs a list, 35 tracks, 16 sectors, 256
// bytes), catalog chain 17/15 -> 17/14 -> ... -> 17/1, everything else zero.
void start_disk(built_disk* disk);
// Adds a catalog entry (name up to 30 bytes, bit 7 set and 0xA0-padded) of
// type byte `type` holding `contents` in data sectors from track 18 upward,
// with as many T/S list sectors as needed. 0, or -1 when disk or catalog is full.
int add_file(built_disk* disk, const std::string& name, std::uint8_t type,
             const std::vector<std::uint8_t>& contents);
// The 4-byte binary-file header (load address, length) followed by data.
std::vector<std::uint8_t> binary_file_contents(std::uint16_t load_address,
                                               const std::vector<std::uint8_t>& data);
// The 2-byte BASIC header (length) followed by data.
std::vector<std::uint8_t> basic_file_contents(const std::vector<std::uint8_t>& data);

// --- poking bytes: broken and unusual variants -------------------------------
// Raw bytes at a logical offset (track * 4096 + sector * 256 + byte).
void put_raw(built_disk* disk, std::size_t logical_offset, const std::vector<std::uint8_t>& data);
// One byte of logical sector (track, sector).
void put_sector_byte(built_disk* disk, int track, int sector, int offset, std::uint8_t value);
// Sets the link (bytes 1 and 2) of the catalog or T/S list sector at (track, sector).
void put_link(built_disk* disk, built_sector at, built_sector next);
// Lays the catalog chain over the given sectors in order (the last links to
// 0/0) and clears the links of the formatted chain 17/15 ... 17/1 that it does
// not use. Entries already added stay where they are.
void place_catalog(built_disk* disk, const std::vector<built_sector>& chain);
// Marks the last added file deleted: 0xFF in place of its T/S list track. The
// name stays whole (DOS itself keeps the old track in the last name byte).
void delete_last_file(built_disk* disk);
// Sets pair `index` of the last added file's T/S list number `list`.
void put_last_pair(built_disk* disk, int list, int index, built_sector pair);
// Sets the sector count of the last added entry.
void put_last_sectors(built_disk* disk, std::uint16_t sectors);

// --- writing the image out ---------------------------------------------------
// The image in sector order 1 (DOS 3.3) or 2 (ProDOS).
std::vector<std::uint8_t> image_bytes(const built_disk* disk, int order);
// Writes image_bytes to path; 0 or -1.
int save_disk(const built_disk* disk, const std::string& path, int order);
// Writes any bytes to path (short or damaged images); 0 or -1.
int save_bytes(const std::vector<std::uint8_t>& bytes, const std::string& path);
