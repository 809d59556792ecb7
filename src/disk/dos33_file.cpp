// Finding a file in the catalog and copying its contents out of the image,
// sector by sector along its track/sector lists.
#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdio>
#include <cstring>

#include "disk/disk_internal.h"
#include "picture/le_bytes.h"

namespace {

constexpr int name_size = 30;
constexpr std::uint8_t name_fill = 0xA0;      // a space with bit 7 set
constexpr std::uint8_t type_code_mask = 0x7F; // bit 7 is the lock flag
constexpr int unknown_length = -1;

// File header at the start of the first data sector, by type code:
//   CODE  TYPE             HEADER  RECORDED LENGTH
//   0x01  Integer BASIC      2     bytes 0-1
//   0x02  Applesoft BASIC    2     bytes 0-1
//   0x04  binary             4     bytes 2-3 (bytes 0-1: load address)
//   0x10  relocatable        6     bytes 2-3
//   other (text 0x00, ...)   0     not known
struct file_header {
    int header_bytes;
    int recorded_length; // unknown_length when the type records none
};

file_header read_file_header(std::uint8_t type, const std::uint8_t* sector) {
    switch (type & type_code_mask) {
    case 0x01:
    case 0x02:
        return file_header{2, get_le16(sector)};
    case 0x04:
        return file_header{4, get_le16(sector + 2)};
    case 0x10:
        return file_header{6, get_le16(sector + 2)};
    default:
        return file_header{0, unknown_length};
    }
}

// Where a copy stands: bytes still wanted by the caller and still recorded.
struct copy_state {
    std::uint8_t* out;
    int room;      // what is left of size
    int remaining; // what is left of the recorded length, or INT_MAX
    int copied;
};

// Copies one piece of at most `available` bytes; true once the copy is complete.
bool copy_piece(copy_state* state, const std::uint8_t* from, int available) {
    const int count = std::min({available, state->room, state->remaining});
    if (count > 0)
        std::memcpy(state->out + state->copied, from, static_cast<std::size_t>(count));
    state->copied += count;
    state->room -= count;
    state->remaining -= count;
    return state->room == 0 || state->remaining == 0;
}

// The pieces after the first: pairs 1-121 of the first list, then every pair
// of the lists after it, while the sector budget lasts. A pair that names a
// sector outside the image ends the copy with the bytes copied so far; one
// that could not be decoded fails it (-1).
int copy_further_sectors(const disk_image* disk, const file_entry* entry, copy_state* state) {
    int budget = entry->sectors - 2; // first list and first data sector are taken
    const ts_list* list = entry->ts_chain;
    for (std::size_t i = 1;; ++i) {
        if (i == list->pairs.size()) {
            --budget; // the next list's own sector, checked with the pair's
            if (list->next == nullptr)
                return 0;
            list = list->next;
            i = 0;
        }
        if (budget <= 0)
            return 0;
        --budget;
        const std::int32_t offset =
            locate_read_sector(disk, list->pairs[i].track, list->pairs[i].sector);
        if (offset < 0)
            return offset == sector_undecoded ? -1 : 0;
        if (copy_piece(state, disk->data + offset, sector_size))
            return 0;
    }
}

// The entry named name, or null after the "file not found" line.
const file_entry* find_named_entry(disk_image* disk, const char* name) {
    const file_entry* entry = find_file_entry(disk, name);
    if (entry == nullptr)
        std::printf("file not found '%s'\n", name);
    return entry;
}

// Offset of the file's first data sector, where its header is; no_ts_list
// when the entry has no list to find it by (none read, or fewer than two
// sectors), sector_outside or sector_undecoded when it can't be read.
constexpr std::int32_t no_ts_list = -3;
std::int32_t locate_first_data_sector(const disk_image* disk, const file_entry* entry) {
    if (entry->ts_chain == nullptr || entry->sectors < 2)
        return no_ts_list;
    const ts_pair first = entry->ts_chain->pairs[0];
    return locate_read_sector(disk, first.track, first.sector);
}

} // namespace

file_entry* find_file_entry(disk_image* disk, const char* name) {
    assert(name != nullptr);
    std::uint8_t key[name_size];
    std::memset(key, name_fill, sizeof key);
    for (int i = 0; i < name_size && name[i] != '\0'; ++i)
        key[i] = static_cast<std::uint8_t>(name[i] | 0x80);
    for (catalog_sector* c = disk->catalog; c != nullptr; c = c->next)
        for (file_entry& entry : c->entries)
            if (std::memcmp(entry.name.data(), key, sizeof key) == 0)
                return &entry;
    return nullptr;
}

int read_disk_file(disk_image* disk, const char* name, std::uint8_t* buffer, int size) {
    const file_entry* entry = find_named_entry(disk, name);
    if (entry == nullptr)
        return -1;
    const int room = std::max(size, 0);
    assert(buffer != nullptr || room == 0);
    if (room > 0)
        std::memset(buffer, 0, static_cast<std::size_t>(room));
    const std::int32_t offset = locate_first_data_sector(disk, entry);
    if (offset == no_ts_list || offset == sector_undecoded)
        return -1;
    if (offset < 0)
        return 0; // not even the header can be read
    const file_header header = read_file_header(entry->type, disk->data + offset);
    if (header.recorded_length != unknown_length && header.recorded_length != size)
        std::printf("file size mismatch '%s' %d != %d\n", name, header.recorded_length, size);
    copy_state state{buffer, room,
                     header.recorded_length == unknown_length ? INT_MAX : header.recorded_length,
                     0};
    if (!copy_piece(&state, disk->data + offset + header.header_bytes,
                    sector_size - header.header_bytes) &&
        copy_further_sectors(disk, entry, &state) < 0)
        return -1;
    return state.copied;
}

int get_disk_file_size(disk_image* disk, const char* name, int* sectors) {
    const file_entry* entry = find_named_entry(disk, name);
    if (entry == nullptr)
        return -1;
    const std::int32_t offset = locate_first_data_sector(disk, entry);
    if (offset < 0)
        return -1; // no list, or the header can't be read
    const file_header header = read_file_header(entry->type, disk->data + offset);
    if (sectors != nullptr)
        *sectors = entry->sectors - 1;
    if (header.recorded_length != unknown_length)
        return header.recorded_length;
    return (entry->sectors - 1) * sector_size;
}
