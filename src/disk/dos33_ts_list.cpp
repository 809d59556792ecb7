// Track/sector list chains: each file's list of data sectors, read once at
// open for every used catalog entry.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "disk/disk_internal.h"
#include "picture/le_bytes.h"

namespace {

// T/S list sector:
//   OFFSET  SIZE     CONTENT
//    0x00     1      not used
//    0x01     1      track of the next T/S list sector; 0 ends the chain
//    0x02     1      sector of the next T/S list sector
//    0x03     2      not used
//    0x05     2      sector offset: place in the file of the first data sector listed
//    0x07     5      not used
//    0x0C  122 x 2   track/sector pairs of successive data sectors
constexpr int list_next_track = 0x01;
constexpr int list_next_sector = 0x02;
constexpr int list_reserved_03 = 0x03;
constexpr int list_sector_offset = 0x05;
constexpr int list_reserved_07 = 0x07;
constexpr int list_pairs = 0x0C;

constexpr std::uint8_t deleted_file = 0xFF;
// Two bounds on list records. One chain can't visit more distinct sectors
// than the image holds: a longer one leads back into itself. All chains of
// the disk together get at most one record for each of the 4096 addresses a
// track byte and a sector number can form (about 1 MiB of records), so that
// a hostile catalog of thousands of entries sharing one long chain can't make
// millions of records out of one small image, while files that share lists
// (cross-linked, but readable) are still read.
constexpr std::int32_t max_addressable_sectors = 256 * sectors_per_track;

void decode_ts_list(ts_list* list, const std::uint8_t* p) {
    list->reserved_00 = p[0x00];
    list->next_track = p[list_next_track];
    list->next_sector = p[list_next_sector];
    std::memcpy(list->reserved_03.data(), p + list_reserved_03, list->reserved_03.size());
    list->sector_offset = get_le16(p + list_sector_offset);
    std::memcpy(list->reserved_07.data(), p + list_reserved_07, list->reserved_07.size());
    for (std::size_t i = 0; i < list->pairs.size(); ++i) {
        list->pairs[i].track = p[list_pairs + 2 * i];
        list->pairs[i].sector = p[list_pairs + 2 * i + 1];
    }
}

// Warns about the pairs, among the first `sectors` of the chain, that name a
// sector outside the image. *check_count carries over from list to list.
void check_pairs(const disk_image* disk, const ts_list* list, int* check_count) {
    for (std::size_t i = 0; i < list->pairs.size() && *check_count > 0; ++i) {
        --*check_count;
        const ts_pair pair = list->pairs[i];
        if (locate_sector(disk, pair.track, pair.sector) < 0)
            std::printf("illegal track/sector list[%02X:%02X] (%02X/%02X)\n",
                        static_cast<unsigned>(list->sector_offset), static_cast<unsigned>(i),
                        static_cast<unsigned>(pair.track), static_cast<unsigned>(pair.sector));
    }
}

// Reads one file's chain into entry->ts_chain, taking each list from the
// disk's budget too; on failure (-1, or sector_undecoded for a list sector
// that could not be decoded) the caller frees what was read.
int read_ts_chain(const disk_image* disk, file_entry* entry, std::int32_t* disk_lists_left) {
    std::int32_t chain_lists_left = std::min(disk->size / sector_size, max_addressable_sectors);
    int track = entry->ts_track;
    int sector = entry->ts_sector;
    int check_count = entry->sectors;
    ts_list* last = nullptr;
    for (;;) {
        if (chain_lists_left <= 0 || *disk_lists_left <= 0) {
            std::printf("track/sector list too long (%02X/%02X)\n", static_cast<unsigned>(track),
                        static_cast<unsigned>(sector));
            return -1;
        }
        --chain_lists_left;
        --*disk_lists_left;
        auto* list = static_cast<ts_list*>(std::calloc(1, sizeof(ts_list)));
        if (list == nullptr)
            return print_memory_exhaust();
        if (last == nullptr)
            entry->ts_chain = list;
        else
            last->next = list;
        last = list;
        const std::int32_t offset = locate_read_sector(disk, track, sector);
        if (offset == sector_undecoded)
            return sector_undecoded;
        if (offset < 0) {
            std::printf("illegal track/sector (%02X/%02X)\n", static_cast<unsigned>(track),
                        static_cast<unsigned>(sector));
            return -1;
        }
        decode_ts_list(list, disk->data + offset);
        check_pairs(disk, list, &check_count);
        track = list->next_track;
        sector = list->next_sector;
        if (track == 0)
            return 0;
    }
}

} // namespace

void free_ts_chain(ts_list* list) {
    while (list != nullptr) {
        ts_list* next = list->next;
        std::free(list);
        list = next;
    }
}

int read_ts_lists(disk_image* disk) {
    std::int32_t lists_left = max_addressable_sectors;
    for (catalog_sector* c = disk->catalog; c != nullptr; c = c->next) {
        for (file_entry& entry : c->entries) {
            if (entry.sectors == 0 || entry.ts_track == deleted_file)
                continue;
            const int result = read_ts_chain(disk, &entry, &lists_left);
            if (result < 0) {
                free_ts_chain(entry.ts_chain);
                entry.ts_chain = nullptr;
                return result;
            }
        }
    }
    return 0;
}
