// Apple II 5.25-inch disk images held in memory, their DOS 3.3 file system
// (read only), and the raw read of a disk's first tracks.
//
// A disk image file, read whole and at most max_image_file_size bytes
// (disk_internal.h), is either a flat file of 256-byte sectors, 16 to a track
// (a raw image, in DOS 3.3 or ProDOS order), or a file recognised by its
// content: a 2IMG file (sectors behind a header that names their order), or
// the disk's surface as a WOZ file (bits or flux) or a NIB/NB2 file (nibbles),
// which is decoded into the 143,360 bytes of a raw image in DOS 3.3 order.
//
// A logical (track, sector) of the file system starts at byte (track * 16 +
// map[sector]) * 256 of the image, map being the sector map of the image's
// order; it lies in the image when sector < 16 and all its 256 bytes are
// inside the image.
#pragma once

#include <array>
#include <cstdint>

// Logical sector (0..15) -> position of the sector within its track in the
// image file. Sectors 0 and 15 stay put in both; the ProDOS map is its own
// inverse.
inline constexpr std::array<int, 16> dos_sector_map = {0, 1, 2,  3,  4,  5,  6,  7,
                                                       8, 9, 10, 11, 12, 13, 14, 15};
inline constexpr std::array<int, 16> prodos_sector_map = {0, 14, 13, 12, 11, 10, 9, 8,
                                                          7, 6,  5,  4,  3,  2,  1, 15};

inline constexpr int dos_order = 1;    // image sectors in DOS 3.3 logical order
inline constexpr int prodos_order = 2; // image sectors in ProDOS order

// --- records -----------------------------------------------------------------
// Each record holds its sector's fields in on-disk order, the unused bytes
// included; the layouts are drawn beside their decoders (dos33_catalog.cpp).

// Volume table of contents, track 17 sector 0.
struct vtoc {
    std::uint8_t reserved_00;
    std::uint8_t catalog_track;  // first catalog sector (not used by the walk,
    std::uint8_t catalog_sector; // which always starts at 17/15)
    std::uint8_t release;
    std::array<std::uint8_t, 2> reserved_04;
    std::uint8_t volume;
    std::array<std::uint8_t, 32> reserved_07;
    std::uint8_t pairs_per_list;
    std::array<std::uint8_t, 8> reserved_28;
    std::uint8_t last_track;
    std::uint8_t direction;
    std::array<std::uint8_t, 2> reserved_32;
    std::uint8_t tracks_per_disk;
    std::uint8_t sectors_per_track;
    std::uint16_t bytes_per_sector;
    std::array<std::uint32_t, 50> free_bitmaps; // 4 bytes a track, little-endian
};

struct ts_pair {
    std::uint8_t track;
    std::uint8_t sector;
};

// One track/sector list sector of a file; a file's lists form a chain.
struct ts_list {
    ts_list* next; // next list of the same file; null for the last
    std::uint8_t reserved_00;
    std::uint8_t next_track;
    std::uint8_t next_sector;
    std::array<std::uint8_t, 2> reserved_03;
    std::uint16_t sector_offset; // place in the file of the first data sector listed
    std::array<std::uint8_t, 5> reserved_07;
    std::array<ts_pair, 122> pairs;
};

// One catalog entry; ts_track 0xFF marks a deleted file.
struct file_entry {
    ts_list* ts_chain; // the file's T/S lists; null when it has none
    std::uint8_t ts_track;
    std::uint8_t ts_sector;
    std::uint8_t type;                 // bit 7 locked, bits 0-6 type code
    std::array<std::uint8_t, 30> name; // bit 7 set, 0xA0-padded, as on disk
    std::uint16_t sectors;             // T/S list sectors included
};

// One catalog sector; the catalog is a chain of them from track 17 sector 15.
struct catalog_sector {
    catalog_sector* next; // null for the last
    std::uint8_t reserved_00;
    std::uint8_t next_track;
    std::uint8_t next_sector;
    std::array<std::uint8_t, 8> reserved_03;
    std::array<file_entry, 7> entries;
};

// What became of each logical sector of an image decoded from a disk surface.
enum sector_state : std::uint8_t {
    sector_no_track,      // the file holds no data for its track
    sector_not_found,     // no address field of the sector on its track
    sector_thirteen,      // its track is in the 13-sector format
    sector_no_data_field, // an address field, but no data field after it
    sector_bad_byte,      // a byte outside the 6-and-2 table in its data field
    sector_bad_checksum,  // its data field's checksum does not come out
    sector_good,
};
inline constexpr int decoded_tracks = 35; // a decoded surface gives 35 tracks

struct decoded_sectors {
    std::array<std::uint8_t, decoded_tracks * 16> state; // logical track * 16 + sector
    char* path; // the image's path, for the line about a sector that can't be decoded
};

// A disk image in memory. Owns data, the catalog chain, every T/S list chain
// and, for an image decoded from a surface, the record of its sectors.
struct disk_image {
    ::vtoc vtoc;
    catalog_sector* catalog;               // null when there is none
    const std::array<int, 16>* sector_map; // dos_sector_map until an order is settled
    std::int32_t order;                    // asked for; after detection, found (1 or 2)
    std::int32_t size;                     // image bytes
    std::int32_t tracks;                   // size / 4096, rounded down
    std::uint8_t* data;
    decoded_sectors* decoded; // null for a sector image: every sector is there
};

// --- disk image life cycle -------------------------------------------------
// Loads the image at path, settles the sector order (1 DOS, 2 ProDOS, other:
// detect; a 2IMG file's header and a decoded surface settle it themselves),
// reads the catalog and every T/S list. 0, or -1 with a line printed.
// Release the record afterwards whatever the result.
int open_disk_image(disk_image* disk, const char* path, int order, int cut_loops);
// Frees everything the record owns; then frees the record (free_record != 0,
// std::free) or leaves it all zero. Harmless on an all-zero record.
void release_disk_image(disk_image* disk, int free_record);

// --- DOS 3.3 file system ---------------------------------------------------
// The VTOC and the catalog chain from 17/15; cut_loops ends a looping chain
// instead of failing it. 0, or -1 with the catalog left empty.
int read_catalog(disk_image* disk, int cut_loops);
// The T/S list chain of every used entry; -1 at the first chain that fails,
// -2 when it fails at a list sector that could not be decoded.
int read_ts_lists(disk_image* disk);
// The first entry whose name is the 30-byte key made of name, or null.
struct file_entry* find_file_entry(disk_image* disk, const char* name);
// Copies up to size bytes of the file into buffer; the count, or -1.
int read_disk_file(disk_image* disk, const char* name, std::uint8_t* buffer, int size);
// The file's recorded length (or its data sectors * 256) and, through sectors
// unless null, its data sector count; -1 when it can't be measured.
int get_disk_file_size(disk_image* disk, const char* name, int* sectors);

// --- raw read in logical sector order ---------------------------------------
// The first size bytes of the image at path in logical order (a 2IMG file's or
// a decoded surface's own order when it has one); 0 or -1. The image is
// loaded whole, as open_disk_image loads it, but without the size rule.
int read_disk_raw(const char* path, int order, std::uint8_t* buffer, int size);
