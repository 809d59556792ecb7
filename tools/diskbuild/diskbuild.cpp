// A plain DOS 3.3 disk image builder. Sectors are kept in logical order; the
// ProDOS order is produced only when the image is written out.
#include "diskbuild.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int track_count = 35;
constexpr int sectors_per_track = 16;
constexpr int sector_size = 256;
constexpr int track_size = sectors_per_track * sector_size;
constexpr int vtoc_track = 17;
constexpr int first_data_track = 18; // tracks 0-15 may hold a world map, 17 the catalog
constexpr int pairs_per_list = 122;
constexpr int entries_per_sector = 7;
constexpr int entry_size = 35;
constexpr int first_entry = 0x0B;
constexpr int name_size = 30;
constexpr int catalog_walk_limit = 64;

std::size_t sector_start(int track, int sector) {
    return static_cast<std::size_t>(track * track_size + sector * sector_size);
}

std::uint8_t* sector_bytes(built_disk* disk, built_sector at) {
    return disk->bytes.data() + sector_start(at.track, at.sector);
}

// Hands out sectors from track 18 up, each track from sector 15 down, as DOS does.
built_sector take_sector(built_disk* disk) {
    const int index = disk->next_free++;
    return built_sector{index / sectors_per_track,
                        sectors_per_track - 1 - index % sectors_per_track};
}

// The first never-used entry along the catalog chain, or -1 (offset in sector).
int find_free_entry(built_disk* disk, built_sector* found) {
    built_sector at{vtoc_track, 15};
    for (int step = 0; step < catalog_walk_limit; ++step) {
        if (at.track <= 0 || at.track >= track_count || at.sector < 0 || at.sector >= 16)
            break;
        const std::uint8_t* sector = sector_bytes(disk, at);
        for (int i = 0; i < entries_per_sector; ++i) {
            const int offset = first_entry + i * entry_size;
            if (sector[offset] == 0 && sector[offset + 3] == 0) {
                *found = at;
                return offset;
            }
        }
        at = built_sector{sector[1], sector[2]};
    }
    return -1;
}

void write_entry(built_disk* disk, built_sector at, int offset, const std::string& name,
                 std::uint8_t type, built_sector ts_list, int sectors) {
    std::uint8_t* entry = sector_bytes(disk, at) + offset;
    entry[0] = static_cast<std::uint8_t>(ts_list.track);
    entry[1] = static_cast<std::uint8_t>(ts_list.sector);
    entry[2] = type;
    for (int i = 0; i < name_size; ++i) {
        const std::size_t n = static_cast<std::size_t>(i);
        entry[3 + i] = n < name.size() ? static_cast<std::uint8_t>(name[n] | 0x80) : 0xA0;
    }
    entry[33] = static_cast<std::uint8_t>(sectors & 0xFF);
    entry[34] = static_cast<std::uint8_t>(sectors >> 8);
}

} // namespace

void start_disk(built_disk* disk) {
    disk->bytes.assign(static_cast<std::size_t>(track_count * track_size), 0);
    disk->next_free = first_data_track * sectors_per_track;
    disk->last_ts_lists.clear();
    disk->last_data.clear();
    disk->last_entry = built_sector{0, 0};
    disk->last_entry_offset = 0;
    std::uint8_t* vtoc = sector_bytes(disk, built_sector{vtoc_track, 0});
    vtoc[0x01] = vtoc_track;
    vtoc[0x02] = 15;
    vtoc[0x03] = 3;
    vtoc[0x06] = 254;
    vtoc[0x27] = pairs_per_list;
    vtoc[0x34] = track_count;
    vtoc[0x35] = sectors_per_track;
    vtoc[0x36] = 0x00; // 256 bytes a sector, little-endian
    vtoc[0x37] = 0x01;
    for (int s = 15; s >= 2; --s)
        put_link(disk, built_sector{vtoc_track, s}, built_sector{vtoc_track, s - 1});
}

int add_file(built_disk* disk, const std::string& name, std::uint8_t type,
             const std::vector<std::uint8_t>& contents) {
    const int data_count = std::max<int>(1, static_cast<int>((contents.size() + 255) / 256));
    const int list_count = (data_count + pairs_per_list - 1) / pairs_per_list;
    if (disk->next_free + data_count + list_count > track_count * sectors_per_track)
        return -1;
    built_sector entry_at{};
    const int entry_offset = find_free_entry(disk, &entry_at);
    if (entry_offset < 0)
        return -1;
    disk->last_ts_lists.clear();
    disk->last_data.clear();
    for (int list = 0; list < list_count; ++list) {
        const built_sector list_at = take_sector(disk);
        if (list > 0)
            put_link(disk, disk->last_ts_lists.back(), list_at);
        disk->last_ts_lists.push_back(list_at);
        std::uint8_t* list_bytes = sector_bytes(disk, list_at);
        list_bytes[0x05] = static_cast<std::uint8_t>((list * pairs_per_list) & 0xFF);
        list_bytes[0x06] = static_cast<std::uint8_t>((list * pairs_per_list) >> 8);
        for (int i = 0; i < pairs_per_list; ++i) {
            const int index = list * pairs_per_list + i;
            if (index >= data_count)
                break;
            const built_sector data_at = take_sector(disk);
            disk->last_data.push_back(data_at);
            list_bytes[0x0C + 2 * i] = static_cast<std::uint8_t>(data_at.track);
            list_bytes[0x0D + 2 * i] = static_cast<std::uint8_t>(data_at.sector);
            const std::size_t from = static_cast<std::size_t>(index) * 256;
            const std::size_t count =
                std::min<std::size_t>(256, contents.size() - std::min(from, contents.size()));
            std::copy_n(contents.begin() +
                            static_cast<std::ptrdiff_t>(std::min(from, contents.size())),
                        count, sector_bytes(disk, data_at));
        }
    }
    write_entry(disk, entry_at, entry_offset, name, type, disk->last_ts_lists.front(),
                data_count + list_count);
    disk->last_entry = entry_at;
    disk->last_entry_offset = entry_offset;
    return 0;
}

std::vector<std::uint8_t> binary_file_contents(std::uint16_t load_address,
                                               const std::vector<std::uint8_t>& data) {
    // Sized once and filled in place: growing a 4-byte vector by insert
    // trips a false array-bounds warning of g++ 12 at -O3.
    const std::size_t length = data.size();
    std::vector<std::uint8_t> contents(4 + length);
    contents[0] = static_cast<std::uint8_t>(load_address & 0xFF);
    contents[1] = static_cast<std::uint8_t>(load_address >> 8);
    contents[2] = static_cast<std::uint8_t>(length & 0xFF);
    contents[3] = static_cast<std::uint8_t>((length >> 8) & 0xFF);
    std::copy(data.begin(), data.end(), contents.begin() + 4);
    return contents;
}

std::vector<std::uint8_t> basic_file_contents(const std::vector<std::uint8_t>& data) {
    const std::size_t length = data.size();
    std::vector<std::uint8_t> contents(2 + length);
    contents[0] = static_cast<std::uint8_t>(length & 0xFF);
    contents[1] = static_cast<std::uint8_t>((length >> 8) & 0xFF);
    std::copy(data.begin(), data.end(), contents.begin() + 2);
    return contents;
}

void put_raw(built_disk* disk, std::size_t logical_offset, const std::vector<std::uint8_t>& data) {
    for (std::size_t i = 0; i < data.size() && logical_offset + i < disk->bytes.size(); ++i)
        disk->bytes[logical_offset + i] = data[i];
}

void put_sector_byte(built_disk* disk, int track, int sector, int offset, std::uint8_t value) {
    put_raw(disk, sector_start(track, sector) + static_cast<std::size_t>(offset), {value});
}

void put_link(built_disk* disk, built_sector at, built_sector next) {
    put_sector_byte(disk, at.track, at.sector, 1, static_cast<std::uint8_t>(next.track));
    put_sector_byte(disk, at.track, at.sector, 2, static_cast<std::uint8_t>(next.sector));
}

void place_catalog(built_disk* disk, const std::vector<built_sector>& chain) {
    for (int s = 15; s >= 1; --s)
        put_link(disk, built_sector{vtoc_track, s}, built_sector{0, 0});
    for (std::size_t i = 0; i < chain.size(); ++i)
        put_link(disk, chain[i], i + 1 < chain.size() ? chain[i + 1] : built_sector{0, 0});
}

void delete_last_file(built_disk* disk) {
    std::uint8_t* entry = sector_bytes(disk, disk->last_entry) + disk->last_entry_offset;
    entry[0] = 0xFF;
}

void put_last_pair(built_disk* disk, int list, int index, built_sector pair) {
    const built_sector at = disk->last_ts_lists.at(static_cast<std::size_t>(list));
    put_sector_byte(disk, at.track, at.sector, 0x0C + 2 * index,
                    static_cast<std::uint8_t>(pair.track));
    put_sector_byte(disk, at.track, at.sector, 0x0D + 2 * index,
                    static_cast<std::uint8_t>(pair.sector));
}

void put_last_sectors(built_disk* disk, std::uint16_t sectors) {
    const built_sector at = disk->last_entry;
    put_sector_byte(disk, at.track, at.sector, disk->last_entry_offset + 33,
                    static_cast<std::uint8_t>(sectors & 0xFF));
    put_sector_byte(disk, at.track, at.sector, disk->last_entry_offset + 34,
                    static_cast<std::uint8_t>(sectors >> 8));
}

// In ProDOS order, logical sectors 1 to 14 of a track sit at position 15 - s;
// 0 and 15 stay put. Bytes past the last whole track are copied as they are.
std::vector<std::uint8_t> image_bytes(const built_disk* disk, int order) {
    std::vector<std::uint8_t> image = disk->bytes;
    if (order != 2)
        return image;
    const std::size_t tracks = disk->bytes.size() / track_size;
    for (std::size_t t = 0; t < tracks; ++t) {
        for (int s = 1; s <= 14; ++s) {
            const auto from = disk->bytes.begin() +
                              static_cast<std::ptrdiff_t>(sector_start(static_cast<int>(t), s));
            std::copy_n(from, sector_size,
                        image.begin() +
                            static_cast<std::ptrdiff_t>(sector_start(static_cast<int>(t), 15 - s)));
        }
    }
    return image;
}

int save_bytes(const std::vector<std::uint8_t>& bytes, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return -1;
    const bool written = bytes.empty() || std::fwrite(bytes.data(), bytes.size(), 1, file) == 1;
    const bool closed = std::fclose(file) == 0;
    return written && closed ? 0 : -1;
}

int save_disk(const built_disk* disk, const std::string& path, int order) {
    return save_bytes(image_bytes(disk, order), path);
}
