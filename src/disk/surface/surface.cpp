// Decoding a disk's surface one track at a time: the track's record turned
// into a run of disk bytes and its sectors decoded; and the layout of a
// nibble image.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "disk/surface/surface.h"

namespace {

// The buffers of one track, freed on every path out of its decoding.
struct track_buffers {
    std::uint8_t* bits = nullptr; // a flux track's bits
    std::uint8_t* run = nullptr;  // the disk bytes read from the track
    track_buffers() = default;
    track_buffers(const track_buffers&) = delete;
    track_buffers& operator=(const track_buffers&) = delete;
    ~track_buffers() {
        std::free(bits);
        std::free(run);
    }
};

// The track's record turned into a run of disk bytes in buffers->run, *count
// of them: a nibble ring and its first wrap_bytes again, or what the drive's
// latch takes from a bit stream (a flux track's bits first made).
int read_track_run(const std::uint8_t* file, const surface_layout* layout,
                   const track_record& track, track_buffers* buffers, std::size_t* count) {
    const std::uint8_t* record = file + track.offset;
    if (track.coding == track_coding::nibbles) {
        const std::uint32_t wrap = std::min(track.bytes, wrap_bytes);
        buffers->run = static_cast<std::uint8_t*>(std::malloc(std::size_t{track.bytes} + wrap));
        if (buffers->run == nullptr)
            return print_memory_exhaust();
        std::memcpy(buffers->run, record, track.bytes);
        std::memcpy(buffers->run + track.bytes, record, wrap);
        *count = std::size_t{track.bytes} + wrap;
        return 0;
    }
    const std::uint8_t* bits = record;
    std::uint32_t bit_count = track.count;
    if (track.coding == track_coding::flux) {
        buffers->bits = read_flux_bits(record, track.count, layout->bit_timing, &bit_count);
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

std::uint32_t nibble_track_size(std::size_t size) {
    if (size == std::size_t{nib_track_size} * decoded_tracks)
        return nib_track_size;
    if (size == std::size_t{nb2_track_size} * decoded_tracks)
        return nb2_track_size;
    return 0;
}

void lay_out_nibbles(surface_layout* layout, std::size_t offset, std::uint32_t ring_size) {
    for (std::size_t t = 0; t < layout->tracks.size(); ++t)
        layout->tracks[t] =
            track_record{offset + t * ring_size, ring_size, ring_size, track_coding::nibbles};
}

int decode_surface(const std::uint8_t* file, const surface_layout* layout, const char* path,
                   std::uint8_t* image, std::uint8_t* states) {
    std::memset(image, 0, std::size_t{decoded_tracks} * track_size);
    for (int t = 0; t < decoded_tracks; ++t) {
        const track_record& record = layout->tracks[static_cast<std::size_t>(t)];
        std::uint8_t* track_states = states + t * sectors_per_track;
        const bool has_data = record.coding != track_coding::none;
        std::fill_n(track_states, sectors_per_track, has_data ? sector_not_found : sector_no_track);
        if (!has_data)
            continue;
        track_buffers buffers;
        std::size_t count = 0;
        if (read_track_run(file, layout, record, &buffers, &count) < 0)
            return -1;
        decode_track_bytes(buffers.run, count, t, image + t * track_size, track_states);
        if (t == 0 && std::all_of(track_states, track_states + sectors_per_track,
                                  [](std::uint8_t s) { return s == sector_thirteen; })) {
            std::printf("13-sector disk '%s': only 16-sector disks can be read\n", path);
            return -1;
        }
    }
    return 0;
}
