// Decoding a disk's surface one track at a time: the track's record read
// from the file, turned into a run of disk bytes and its sectors decoded; and
// the line about a sector that a reader needs and that could not be decoded.
#include <algorithm>
#include <array>
#include <cassert>
#include <cstdlib>
#include <cstring>

#include "disk/surface.h"

namespace {

// The cause named in the line, by sector_state.
constexpr std::array<const char*, sector_good + 1> state_causes = {
    "no data for its track", "not found",    "13-sector track", "no data field",
    "bad disk byte",         "bad checksum", "decoded"};

// The buffers of one track, freed on every path out of its decoding.
struct track_buffers {
    std::uint8_t* record = nullptr; // the track's bytes as the file holds them
    std::uint8_t* bits = nullptr;   // a flux track's bits
    std::uint8_t* run = nullptr;    // the disk bytes read from it
    track_buffers() = default;
    track_buffers(const track_buffers&) = delete;
    track_buffers& operator=(const track_buffers&) = delete;
    ~track_buffers() {
        std::free(record);
        std::free(bits);
        std::free(run);
    }
};

// Reads the track's record and turns it into a run of disk bytes in
// buffers->run, *count of them: a nibble ring and its first wrap_bytes again,
// or what the shift register takes from a bit stream (a flux track's bits
// first made).
int read_track_run(std::FILE* file, const char* path, const image_layout* layout,
                   const track_record& track, track_buffers* buffers, std::size_t* count) {
    buffers->record =
        static_cast<std::uint8_t*>(std::malloc(std::max<std::size_t>(track.bytes, 1)));
    if (buffers->record == nullptr)
        return print_memory_exhaust();
    if (read_file_at(file, track.offset, track.bytes, buffers->record) < 0)
        return print_read_error(path);
    if (track.coding == track_coding::nibbles) {
        const std::uint32_t wrap = std::min(track.bytes, wrap_bytes);
        buffers->run = static_cast<std::uint8_t*>(std::malloc(std::size_t{track.bytes} + wrap));
        if (buffers->run == nullptr)
            return print_memory_exhaust();
        std::memcpy(buffers->run, buffers->record, track.bytes);
        std::memcpy(buffers->run + track.bytes, buffers->record, wrap);
        *count = std::size_t{track.bytes} + wrap;
        return 0;
    }
    const std::uint8_t* bits = buffers->record;
    std::uint32_t bit_count = track.count;
    if (track.coding == track_coding::flux) {
        buffers->bits =
            read_flux_bits(buffers->record, track.count, layout->bit_timing, &bit_count);
        if (buffers->bits == nullptr)
            return print_memory_exhaust();
        bits = buffers->bits;
    }
    const std::size_t run_bits = std::size_t{bit_count} + std::min(bit_count, wrap_bytes * 8);
    buffers->run = static_cast<std::uint8_t*>(std::malloc(run_bits / 8 + 1));
    if (buffers->run == nullptr)
        return print_memory_exhaust();
    *count = read_disk_bytes(bits, bit_count, buffers->run);
    return 0;
}

} // namespace

int decode_surface_track(std::FILE* file, const char* path, const image_layout* layout, int track,
                         std::uint8_t* track_data, std::uint8_t* states) {
    assert(track >= 0 && track < decoded_tracks);
    const track_record& record = layout->tracks[static_cast<std::size_t>(track)];
    std::memset(track_data, 0, track_size);
    const bool has_data = record.coding != track_coding::none;
    std::fill_n(states, sectors_per_track, has_data ? sector_not_found : sector_no_track);
    if (!has_data)
        return 0;
    track_buffers buffers;
    std::size_t count = 0;
    if (read_track_run(file, path, layout, record, &buffers, &count) < 0)
        return -1;
    decode_track_bytes(buffers.run, count, track, track_data, states);
    if (track == 0 && std::all_of(states, states + sectors_per_track,
                                  [](std::uint8_t s) { return s == sector_thirteen; })) {
        std::printf("13-sector disk '%s': only 16-sector disks can be read\n", path);
        return -1;
    }
    return 0;
}

void print_undecoded_sector(const char* path, int track, int sector, std::uint8_t state) {
    std::printf("can't decode track/sector (%02X/%02X) of '%s': %s\n", static_cast<unsigned>(track),
                static_cast<unsigned>(sector), path,
                state_causes[std::min<std::size_t>(state, sector_good)]);
}

std::int32_t locate_read_sector(const disk_image* disk, int track, int sector) {
    const std::int32_t offset = locate_sector(disk, track, sector);
    if (offset < 0 || disk->decoded == nullptr)
        return offset;
    const auto index = static_cast<std::size_t>(offset / sector_size);
    assert(index < disk->decoded->state.size()); // a decoded image is 35 tracks
    const std::uint8_t state = disk->decoded->state[index];
    if (state == sector_good)
        return offset;
    print_undecoded_sector(disk->decoded->path, track, sector, state);
    return sector_undecoded;
}
