// The DOS 3.3 volume table of contents and the catalog chain, decoded once
// at open into records owned by the disk image.
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "disk/disk_internal.h"
#include "picture/le_bytes.h"

namespace {

// VTOC, track 17 sector 0:
//   OFFSET  SIZE  CONTENT
//    0x00     1   not used
//    0x01     1   track of the first catalog sector
//    0x02     1   sector of the first catalog sector
//    0x03     1   DOS release number
//    0x04     2   not used
//    0x06     1   volume number
//    0x07    32   not used
//    0x27     1   T/S pairs in one T/S list sector (122)
//    0x28     8   not used
//    0x30     1   last track where sectors were allocated
//    0x31     1   direction of track allocation
//    0x32     2   not used
//    0x34     1   tracks per disk
//    0x35     1   sectors per track
//    0x36     2   bytes per sector
//    0x38   200   free-sector bitmaps, 4 bytes for each of 50 tracks
constexpr int vtoc_track = 17;
constexpr int vtoc_sector = 0;
constexpr int vtoc_catalog_track = 0x01;
constexpr int vtoc_catalog_sector = 0x02;
constexpr int vtoc_release = 0x03;
constexpr int vtoc_reserved_04 = 0x04;
constexpr int vtoc_volume = 0x06;
constexpr int vtoc_reserved_07 = 0x07;
constexpr int vtoc_pairs_per_list = 0x27;
constexpr int vtoc_reserved_28 = 0x28;
constexpr int vtoc_last_track = 0x30;
constexpr int vtoc_direction = 0x31;
constexpr int vtoc_reserved_32 = 0x32;
constexpr int vtoc_tracks = 0x34;
constexpr int vtoc_sectors = 0x35;
constexpr int vtoc_bytes_per_sector = 0x36;
constexpr int vtoc_bitmaps = 0x38;

// Catalog sector:
//   OFFSET  SIZE    CONTENT
//    0x00     1     not used
//    0x01     1     track of the next catalog sector; 0 ends the chain
//    0x02     1     sector of the next catalog sector
//    0x03     8     not used
//    0x0B   7 x 35  file entries
// File entry:
//   OFFSET  SIZE  CONTENT
//      0      1   track of the first T/S list sector; 0xFF: deleted
//      1      1   sector of the first T/S list sector
//      2      1   type: bit 7 locked, bits 0-6 type code
//      3     30   name, bit 7 set, padded with 0xA0
//     33      2   length in sectors, T/S list sectors included
constexpr int link_track = 0x01;
constexpr int link_sector = 0x02;
constexpr int catalog_reserved_03 = 0x03;
constexpr int catalog_entries = 0x0B;
constexpr int entry_size = 35;
constexpr int entry_ts_track = 0;
constexpr int entry_ts_sector = 1;
constexpr int entry_type = 2;
constexpr int entry_name = 3;
constexpr int entry_sectors = 33;

// The first catalog sector is always 17/15, whatever the VTOC says.
constexpr int first_catalog_track = 17;
constexpr int first_catalog_sector = 15;
// Catalog sectors lie on tracks 1 to 49; with the loop check no chain can
// read more sectors than there are such addresses.
constexpr int max_catalog_track = 49;
[[maybe_unused]] constexpr int max_catalog_sectors = max_catalog_track * sectors_per_track;

void decode_vtoc(vtoc* v, const std::uint8_t* p) {
    v->reserved_00 = p[0x00];
    v->catalog_track = p[vtoc_catalog_track];
    v->catalog_sector = p[vtoc_catalog_sector];
    v->release = p[vtoc_release];
    std::memcpy(v->reserved_04.data(), p + vtoc_reserved_04, v->reserved_04.size());
    v->volume = p[vtoc_volume];
    std::memcpy(v->reserved_07.data(), p + vtoc_reserved_07, v->reserved_07.size());
    v->pairs_per_list = p[vtoc_pairs_per_list];
    std::memcpy(v->reserved_28.data(), p + vtoc_reserved_28, v->reserved_28.size());
    v->last_track = p[vtoc_last_track];
    v->direction = p[vtoc_direction];
    std::memcpy(v->reserved_32.data(), p + vtoc_reserved_32, v->reserved_32.size());
    v->tracks_per_disk = p[vtoc_tracks];
    v->sectors_per_track = p[vtoc_sectors];
    v->bytes_per_sector = get_le16(p + vtoc_bytes_per_sector);
    for (std::size_t t = 0; t < v->free_bitmaps.size(); ++t)
        v->free_bitmaps[t] = get_le32(p + vtoc_bitmaps + 4 * t);
}

void decode_catalog_sector(catalog_sector* c, const std::uint8_t* p) {
    c->reserved_00 = p[0x00];
    c->next_track = p[link_track];
    c->next_sector = p[link_sector];
    std::memcpy(c->reserved_03.data(), p + catalog_reserved_03, c->reserved_03.size());
    for (std::size_t i = 0; i < c->entries.size(); ++i) {
        const std::uint8_t* e = p + catalog_entries + entry_size * i;
        file_entry* entry = &c->entries[i];
        entry->ts_track = e[entry_ts_track];
        entry->ts_sector = e[entry_ts_sector];
        entry->type = e[entry_type];
        std::memcpy(entry->name.data(), e + entry_name, entry->name.size());
        entry->sectors = get_le16(e + entry_sectors);
    }
}

// Once two sectors are read, a link back to 17/15 or to any sector already
// read (the link of any sector but the last names one) closes a loop.
bool closes_loop(const catalog_sector* chain, const catalog_sector* last, int track, int sector) {
    if (track == first_catalog_track && sector == first_catalog_sector)
        return true;
    for (const catalog_sector* c = chain; c != nullptr && c != last; c = c->next)
        if (c->next_track == track && c->next_sector == sector)
            return true;
    return false;
}

// Walks the chain from 17/15, appending records to disk->catalog.
int walk_catalog(disk_image* disk, int cut_loops) {
    int track = first_catalog_track;
    int sector = first_catalog_sector;
    catalog_sector* last = nullptr;
    for (int count = 0;; ++count) {
        if (count >= 2 && closes_loop(disk->catalog, last, track, sector)) {
            if (cut_loops == 0)
                return -1;
            last->next_track = 0;
            last->next_sector = 0;
            return 0;
        }
        assert(count <= max_catalog_sectors); // the loop check bounds the chain
        auto* c = static_cast<catalog_sector*>(std::calloc(1, sizeof(catalog_sector)));
        if (c == nullptr)
            return print_memory_exhaust();
        if (last == nullptr)
            disk->catalog = c;
        else
            last->next = c;
        last = c;
        if (track > max_catalog_track) // track 0 ends the chain above
            return -1;
        const std::int32_t offset = locate_read_sector(disk, track, sector);
        if (offset < 0)
            return -1;
        decode_catalog_sector(c, disk->data + offset);
        track = c->next_track;
        sector = c->next_sector;
        if (track == 0)
            return 0;
    }
}

} // namespace

void free_catalog(disk_image* disk) {
    catalog_sector* c = disk->catalog;
    while (c != nullptr) {
        for (file_entry& entry : c->entries) {
            free_ts_chain(entry.ts_chain);
            entry.ts_chain = nullptr;
        }
        catalog_sector* next = c->next;
        std::free(c);
        c = next;
    }
    disk->catalog = nullptr;
}

int read_catalog(disk_image* disk, int cut_loops) {
    free_catalog(disk);
    const std::int32_t vtoc_offset = locate_read_sector(disk, vtoc_track, vtoc_sector);
    if (vtoc_offset < 0)
        return -1;
    decode_vtoc(&disk->vtoc, disk->data + vtoc_offset);
    if (walk_catalog(disk, cut_loops) < 0) {
        free_catalog(disk);
        return -1;
    }
    return 0;
}
