// Encodes 16-sector tracks as DOS 3.3 formats them and stores them as NIB,
// NB2, WOZ 1, WOZ 2 (bits and flux) and 2IMG files.
#include "surfacebuild.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>

namespace {

using bytes = std::vector<std::uint8_t>;

constexpr int track_count = 35;
constexpr int sectors_per_track = 16;
constexpr int sector_size = 256;
constexpr int track_size = sectors_per_track * sector_size;
constexpr int volume = 254;
// A sector on the surface: a 14-byte address field, gap 2, a 349-byte data
// field, gap 3; gap 1 before sector 0 takes what a track has to spare.
constexpr int gap2 = 6;
constexpr int gap3 = 20;
constexpr int sector_bytes = 14 + gap2 + 349 + gap3;
// 41 sync bytes leave a bit track of 4 bits more than whole bytes: the
// decoder reads a partial byte at the ring's end, inside a data field.
constexpr int bit_track_gap1 = 41;
constexpr std::uint8_t bit_timing = 32; // 4 us bit cells, in 125 ns ticks

// clang-format off
constexpr std::array<std::uint8_t, 64> six_and_two = {
    0x96, 0x97, 0x9A, 0x9B, 0x9D, 0x9E, 0x9F, 0xA6, 0xA7, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB2, 0xB3,
    0xB4, 0xB5, 0xB6, 0xB7, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xBE, 0xBF, 0xCB, 0xCD, 0xCE, 0xCF, 0xD3,
    0xD6, 0xD7, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xE5, 0xE6, 0xE7, 0xE9, 0xEA, 0xEB, 0xEC,
    0xED, 0xEE, 0xEF, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
constexpr std::array<int, 16> logical_of_physical = {0, 7, 14, 6, 13, 5, 12, 4, 11, 3, 10, 2, 9, 1, 8, 15};
// clang-format on

// One disk byte; a sync byte is 0xFF followed by two zero bits.
struct surface_byte {
    std::uint8_t value;
    bool sync;
};
using track_ring = std::vector<surface_byte>;

void put(track_ring* ring, std::initializer_list<int> values) {
    for (int v : values)
        ring->push_back({static_cast<std::uint8_t>(v), false});
}

void put_sync(track_ring* ring, int count) {
    ring->insert(ring->end(), static_cast<std::size_t>(count), surface_byte{0xFF, true});
}

void put_four_and_four(track_ring* ring, int v) {
    put(ring, {(v >> 1) | 0xAA, v | 0xAA});
}

// The 343 disk bytes of a data field: 86 values of low bit pairs, 256 of
// high six bits, each written XORed with the one before, then the checksum.
bytes encode_data_field(const std::uint8_t* sector) {
    std::array<std::uint8_t, 342> values{};
    for (int i = 0; i < sector_size; ++i) {
        const int low = sector[i] & 3;
        const int swapped = (low >> 1) | (low & 1) << 1;
        values[static_cast<std::size_t>(i % 86)] |=
            static_cast<std::uint8_t>(swapped << (2 * (i / 86)));
        values[static_cast<std::size_t>(86 + i)] = static_cast<std::uint8_t>(sector[i] >> 2);
    }
    bytes field;
    std::uint8_t before = 0;
    for (std::uint8_t v : values) {
        field.push_back(six_and_two[v ^ before]);
        before = v;
    }
    field.push_back(six_and_two[before]);
    return field;
}

bool has_data(const surface_options& options, int track) {
    return options.tracks.empty() ||
           std::count(options.tracks.begin(), options.tracks.end(), track) != 0;
}

bool damaged(const surface_options& options, int track, int sector, damage_kind kind) {
    return std::any_of(options.damage.begin(), options.damage.end(), [&](const sector_damage& d) {
        return d.track == track && d.kind == kind &&
               (d.sector == sector || kind == damage_kind::thirteen_sector);
    });
}

// Track `track` of image as a ring of disk bytes, gap 1 of gap1 sync bytes.
track_ring encode_track(const bytes& image, int track, int gap1, const surface_options& options) {
    const std::uint8_t* data = image.data() + track * track_size;
    const bool thirteen = damaged(options, track, 0, damage_kind::thirteen_sector);
    track_ring ring;
    put_sync(&ring, gap1);
    std::size_t ring_start = 0;
    for (int physical = 0; physical < sectors_per_track; ++physical) {
        const int logical = logical_of_physical[static_cast<std::size_t>(physical)];
        if (damaged(options, track, logical, damage_kind::no_data_field))
            put_sync(&ring, 349); // the ring keeps its size
        if (damaged(options, track, logical, damage_kind::no_address)) {
            put_sync(&ring, 14);
        } else {
            put(&ring, {0xD5, 0xAA, thirteen ? 0xB5 : 0x96});
            const int wrong = damaged(options, track, logical, damage_kind::bad_address) ? 1 : 0;
            const int named =
                physical + (damaged(options, track, logical, damage_kind::high_sector) ? 16 : 0);
            for (int v : {volume, track, named, volume ^ track ^ named ^ wrong})
                put_four_and_four(&ring, v);
            put(&ring, {0xDE, 0xAA, 0xEB});
        }
        put_sync(&ring, gap2);
        if (physical == track % sectors_per_track)
            ring_start = ring.size() + 100; // inside this sector's data field
        bytes field = encode_data_field(data + logical * sector_size);
        if (damaged(options, track, logical, damage_kind::bad_checksum))
            field.back() = field.back() == 0x96 ? 0x97 : 0x96;
        if (damaged(options, track, logical, damage_kind::bad_byte))
            field[100] = 0xD4;
        if (damaged(options, track, logical, damage_kind::no_data_field)) {
            put_sync(&ring, gap3); // the next address field comes right after
            continue;
        }
        put(&ring, {0xD5, 0xAA, 0xAD});
        for (std::uint8_t b : field)
            ring.push_back({b, false});
        put(&ring, {0xDE, 0xAA, 0xEB});
        put_sync(&ring, gap3);
    }
    std::rotate(ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(ring_start), ring.end());
    return ring;
}

// The ring as a bit stream, the first bit in bit 7 of the first byte.
bytes ring_bits(const track_ring& ring, std::uint32_t* bit_count) {
    bytes bits;
    std::uint32_t n = 0;
    const auto push_bit = [&](int bit) {
        if (n % 8 == 0)
            bits.push_back(0);
        if (bit != 0)
            bits.back() |= static_cast<std::uint8_t>(0x80 >> (n % 8));
        ++n;
    };
    for (const surface_byte& b : ring) {
        for (int k = 7; k >= 0; --k)
            push_bit((b.value >> k) & 1);
        if (b.sync) {
            push_bit(0);
            push_bit(0);
        }
    }
    *bit_count = n;
    return bits;
}

// The bit stream as flux: the ticks from each one bit to the next, a little
// early or late, the first counted from the last one bit of the turn before.
bytes ring_flux(const bytes& bits, std::uint32_t bit_count) {
    const auto bit = [&](std::uint32_t i) { return (bits[i / 8] >> (7 - i % 8)) & 1; };
    std::int64_t last = 0;
    for (std::uint32_t i = 0; i < bit_count; ++i)
        if (bit(i) != 0)
            last = i;
    bytes flux;
    std::int64_t before = last - bit_count;
    for (std::uint32_t i = 0, k = 0; i < bit_count; ++i) {
        if (bit(i) == 0)
            continue;
        std::int64_t ticks =
            (i - before) * bit_timing + static_cast<std::int64_t>(k++ * 7 % 11) - 5;
        before = i;
        for (; ticks >= 255; ticks -= 255)
            flux.push_back(255);
        flux.push_back(static_cast<std::uint8_t>(ticks));
    }
    return flux;
}

void append_le(bytes* out, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
        out->push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void set_le(bytes* out, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
        (*out)[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

void append_chunk(bytes* out, const char* id, const bytes& data) {
    out->insert(out->end(), id, id + 4);
    append_le(out, static_cast<std::uint32_t>(data.size()), 4);
    out->insert(out->end(), data.begin(), data.end());
}

bytes woz_info(int version) {
    bytes info(60, 0);
    info[0] = static_cast<std::uint8_t>(version);
    info[1] = 1; // 5.25-inch
    const std::string creator = "qarvex diskbuild";
    std::fill(info.begin() + 5, info.begin() + 37, ' ');
    std::copy(creator.begin(), creator.end(), info.begin() + 5);
    if (version >= 2) {
        info[37] = 1; // one side
        info[38] = 1; // 16-sector boot sector
        info[39] = bit_timing;
    }
    return info;
}

// Quarter tracks 4t - 1 to 4t + 1 name the record of each track in tracks:
// record t (WOZ 2), or the track's place in the list (WOZ 1).
bytes track_map(const std::vector<int>& tracks, bool by_place) {
    bytes map(160, 0xFF);
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const int t = tracks[i];
        for (int q = std::max(0, 4 * t - 1); q <= 4 * t + 1; ++q)
            map[static_cast<std::size_t>(q)] =
                static_cast<std::uint8_t>(by_place ? static_cast<int>(i) : t);
    }
    return map;
}

} // namespace

std::vector<std::uint8_t> nibble_file(const std::vector<std::uint8_t>& image,
                                      std::uint32_t track_bytes, const surface_options& options) {
    bytes file;
    const int gap1 = static_cast<int>(track_bytes) - sectors_per_track * sector_bytes;
    for (int t = 0; t < track_count; ++t) {
        if (!has_data(options, t)) {
            file.insert(file.end(), track_bytes, 0xFF);
            continue;
        }
        for (const surface_byte& b : encode_track(image, t, gap1, options))
            file.push_back(b.value);
    }
    return file;
}

std::vector<std::uint8_t> woz_file(const std::vector<std::uint8_t>& image,
                                   const surface_options& options) {
    const bool woz2 = options.woz_version == 2;
    const bool has_flux = woz2 && !options.flux_tracks.empty();
    std::vector<int> bit_tracks;
    std::vector<int> flux_tracks;
    for (int t = 0; t < track_count; ++t) {
        if (!has_data(options, t))
            continue;
        const bool flux =
            has_flux && std::count(options.flux_tracks.begin(), options.flux_tracks.end(), t) != 0;
        (flux ? flux_tracks : bit_tracks).push_back(t);
    }
    bytes file = {'W',  'O',  'Z',  static_cast<std::uint8_t>(woz2 ? '2' : '1'),
                  0xFF, 0x0A, 0x0D, 0x0A,
                  0,    0,    0,    0};
    append_chunk(&file, "INFO", woz_info(has_flux ? 3 : options.woz_version));
    append_chunk(&file, "TMAP", track_map(bit_tracks, !woz2));
    bytes trks;
    std::vector<int> tracks = bit_tracks;
    tracks.insert(tracks.end(), flux_tracks.begin(), flux_tracks.end());
    std::sort(tracks.begin(), tracks.end());
    if (!woz2) {
        for (int t : tracks) {
            std::uint32_t bit_count = 0;
            bytes record = ring_bits(encode_track(image, t, bit_track_gap1, options), &bit_count);
            record.resize(6646, 0);
            append_le(&record, (bit_count + 7) / 8, 2);
            append_le(&record, bit_count, 2);
            append_le(&record, 0xFFFF, 2); // no splice point
            append_le(&record, 0, 4);
            trks.insert(trks.end(), record.begin(), record.end());
        }
        append_chunk(&file, "TRKS", trks);
    } else {
        trks.resize(160 * 8, 0);
        std::uint32_t largest = 0;
        for (int t : tracks) {
            std::uint32_t bit_count = 0;
            const bytes bits =
                ring_bits(encode_track(image, t, bit_track_gap1, options), &bit_count);
            const bool flux = std::count(flux_tracks.begin(), flux_tracks.end(), t) != 0;
            bytes data = flux ? ring_flux(bits, bit_count) : bits;
            const auto count = flux ? static_cast<std::uint32_t>(data.size()) : bit_count;
            const auto blocks = static_cast<std::uint32_t>((data.size() + 511) / 512);
            const auto block = static_cast<std::uint32_t>((file.size() + 8 + trks.size()) / 512);
            largest = std::max(largest, blocks);
            data.resize(blocks * 512, 0);
            set_le(&trks, static_cast<std::size_t>(t) * 8, block, 2);
            set_le(&trks, static_cast<std::size_t>(t) * 8 + 2, blocks, 2);
            set_le(&trks, static_cast<std::size_t>(t) * 8 + 4, count, 4);
            trks.insert(trks.end(), data.begin(), data.end());
        }
        set_le(&file, 20 + 44, largest, 2);
        append_chunk(&file, "TRKS", trks);
        if (has_flux) {
            set_le(&file, 20 + 46, static_cast<std::uint32_t>(file.size() / 512), 2);
            set_le(&file, 20 + 48, largest, 2);
            append_chunk(&file, "FLUX", track_map(flux_tracks, false));
        }
    }
    const std::string meta = "title\tqarvex built disk\n";
    append_chunk(&file, "META", bytes(meta.begin(), meta.end()));
    stamp_woz_crc(&file);
    return file;
}

std::uint32_t crc32_of(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) != 0 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return crc ^ 0xFFFFFFFFu;
}

void stamp_woz_crc(std::vector<std::uint8_t>* woz) {
    set_le(woz, 8, crc32_of(woz->data() + 12, woz->size() - 12), 4);
}

std::vector<std::uint8_t> two_img_file(const std::vector<std::uint8_t>& data,
                                       std::uint32_t format) {
    bytes file = {'2', 'I', 'M', 'G', 'Q', 'R', 'V', 'X'};
    append_le(&file, 64, 2); // header length
    append_le(&file, 1, 2);  // version
    append_le(&file, format, 4);
    append_le(&file, 0, 4); // flags
    append_le(&file, format == 1 ? static_cast<std::uint32_t>(data.size() / 512) : 0, 4);
    append_le(&file, 64, 4); // data offset
    append_le(&file, static_cast<std::uint32_t>(data.size()), 4);
    file.resize(64, 0);
    file.insert(file.end(), data.begin(), data.end());
    return file;
}
