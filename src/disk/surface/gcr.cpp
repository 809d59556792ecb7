// The 16-sector track format: the drive's latch that turns a bit stream into
// disk bytes, and the address and data fields found in a run of
// disk bytes, with their 4-and-4 and 6-and-2 codes.
#include <algorithm>
#include <array>
#include <cstring>

#include "disk/surface/surface.h"

namespace {

// One sector on the surface, after the gap bytes (0xFF) before it:
//   BYTES  CONTENT
//          address field
//     3    D5 AA 96 (D5 AA B5 on a 13-sector disk)
//     2    volume in 4-and-4: (v >> 1) | 0xAA, then v | 0xAA
//     2    track
//     2    physical sector
//     2    checksum: volume ^ track ^ sector
//     3    DE AA EB (not checked: the EB is often missing; the checksum decides)
//          gap: some 0xFF bytes
//          data field
//     3    D5 AA AD
//   343    342 six-bit values and their checksum through the 6-and-2 table,
//          each stored XORed with the value before it
//     3    DE AA EB (not checked)
constexpr std::uint8_t mark_first = 0xD5;
constexpr std::uint8_t mark_second = 0xAA;
constexpr std::uint8_t address_mark = 0x96;
constexpr std::uint8_t thirteen_sector_mark = 0xB5;
constexpr std::uint8_t data_mark = 0xAD;
constexpr std::size_t mark_size = 3;
constexpr std::size_t address_size = mark_size + 8;
constexpr std::size_t data_size = 343;
// The first 86 values hold the low two bits of the sector's bytes, three
// bytes to a value; the next 256 the high six bits of bytes 0 to 255.
constexpr std::size_t twos_count = 86;
// Gap bytes looked through between an address field and its data mark; DOS
// writes five to ten.
constexpr std::size_t max_data_gap = 64;

constexpr std::uint8_t not_a_value = 0xFF;
constexpr std::array<std::uint8_t, 256> six_and_two_values = [] {
    std::array<std::uint8_t, 256> values{};
    values.fill(not_a_value);
    for (std::size_t v = 0; v < six_and_two.size(); ++v)
        values[six_and_two[v]] = static_cast<std::uint8_t>(v);
    return values;
}();

// Physical sector P, as the address field numbers it, holds DOS 3.3 logical
// sector logical_of_physical[P].
constexpr std::array<int, 16> logical_of_physical = {0,  7, 14, 6, 13, 5, 12, 4,
                                                     11, 3, 10, 2, 9,  1, 8,  15};

bool is_mark(const std::uint8_t* p, std::uint8_t third) {
    return p[0] == mark_first && p[1] == mark_second && p[2] == third;
}

int four_and_four(const std::uint8_t* p) {
    return ((p[0] << 1) | 1) & p[1];
}

// The 343 bytes of a data field into sector: sector_good, or what was wrong.
sector_state decode_data_field(const std::uint8_t* field, std::uint8_t* sector) {
    std::array<std::uint8_t, data_size - 1> values;
    std::uint8_t running = 0;
    for (std::size_t k = 0; k < data_size; ++k) {
        const std::uint8_t value = six_and_two_values[field[k]];
        if (value == not_a_value)
            return sector_bad_byte;
        running ^= value;
        if (k < values.size())
            values[k] = running;
    }
    if (running != 0)
        return sector_bad_checksum;
    for (std::size_t i = 0; i < sector_size; ++i) {
        const int twos = (values[i % twos_count] >> (2 * (i / twos_count))) & 3;
        const int swapped = (twos >> 1) | (twos & 1) << 1;
        sector[i] = static_cast<std::uint8_t>(values[twos_count + i] << 2 | swapped);
    }
    return sector_good;
}

// The data field after an address field that ends at from. sector_not_found
// when the run ends before the field is seen whole: it is seen whole on the
// turn before, or past the ring's end.
sector_state read_data_field(const std::uint8_t* bytes, std::size_t count, std::size_t from,
                             std::uint8_t* sector) {
    for (std::size_t at = from; at < from + max_data_gap; ++at) {
        if (at + mark_size > count)
            return sector_not_found;
        if (is_mark(bytes + at, address_mark))
            return sector_no_data_field;
        if (is_mark(bytes + at, data_mark)) {
            if (at + mark_size + data_size > count)
                return sector_not_found;
            return decode_data_field(bytes + at + mark_size, sector);
        }
    }
    return sector_no_data_field;
}

} // namespace

std::size_t read_disk_bytes(const std::uint8_t* bits, std::uint32_t bit_count, std::uint8_t* out) {
    // The latch shifts each bit in at the bottom; once bit 7 is set it holds a
    // disk byte, which is taken and the latch cleared. So zeros between bytes
    // are skipped, and each byte taken needs at least eight bits.
    std::size_t count = 0;
    unsigned latch = 0;
    // One turn, then on from the ring's start past its end.
    for (const std::uint32_t turn : {bit_count, std::min(bit_count, wrap_bytes * 8)}) {
        for (std::uint32_t i = 0; i < turn; ++i) {
            latch = latch << 1 | ((bits[i >> 3] >> (7 - (i & 7))) & 1u);
            if ((latch & 0x80) != 0) {
                out[count++] = static_cast<std::uint8_t>(latch);
                latch = 0;
            }
        }
    }
    return count;
}

void decode_track_bytes(const std::uint8_t* bytes, std::size_t count, int track,
                        std::uint8_t* track_data, std::uint8_t* states) {
    bool sixteen_sector = false;
    bool thirteen_sector = false;
    std::array<std::uint8_t, sector_size> sector;
    for (std::size_t at = 0; at + address_size <= count; ++at) {
        if (bytes[at] != mark_first || bytes[at + 1] != mark_second)
            continue;
        thirteen_sector |= bytes[at + 2] == thirteen_sector_mark;
        if (bytes[at + 2] != address_mark)
            continue;
        sixteen_sector = true;
        const std::uint8_t* field = bytes + at + mark_size;
        const int volume = four_and_four(field);
        const int found_track = four_and_four(field + 2);
        const int physical = four_and_four(field + 4);
        // A damaged field, or one of another track, names no sector here.
        if ((volume ^ found_track ^ physical) != four_and_four(field + 6) || found_track != track ||
            physical >= sectors_per_track)
            continue;
        const int logical = logical_of_physical[static_cast<std::size_t>(physical)];
        std::uint8_t* state = &states[logical];
        if (*state == sector_good)
            continue; // seen whole before
        const sector_state got = read_data_field(bytes, count, at + address_size, sector.data());
        if (got == sector_good)
            std::memcpy(track_data + logical * sector_size, sector.data(), sector.size());
        if (*state < got)
            *state = got;
    }
    if (thirteen_sector && !sixteen_sector) {
        for (int s = 0; s < sectors_per_track; ++s)
            if (states[s] == sector_not_found)
                states[s] = sector_thirteen;
    }
}

bool holds_address_mark(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t at = 0; at + mark_size <= count; ++at)
        if (is_mark(bytes + at, address_mark) || is_mark(bytes + at, thirteen_sector_mark))
            return true;
    return false;
}
