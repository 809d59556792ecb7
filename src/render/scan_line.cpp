// Reading one scan line of the composed map as window keys: the half-dot
// markers resolved, then each column's key from five consecutive lit samples
// of a copy of the row, taken a step of columns at a time, that holds the two
// samples beyond each end (the other end of a ring, or dark). So every
// column, ends included, takes the same step, and the compiler can take many
// columns at once.
#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>

#include "render/render.h"

namespace {

// A marker takes the value of the dot before it; at column 0, the row's last
// dot with join_ends, else dark.
void resolve_markers(std::uint8_t* row, std::int32_t width, int join_ends) {
    for (std::int32_t x = 0; x < width; x += pixels_per_byte) {
        if (row[x] != half_dot_marker)
            continue;
        if (x > 0)
            row[x] = row[x - 1];
        else
            row[x] = join_ends ? row[width - 1] : dot_dark;
    }
}

// Columns whose keys are read a step, through a copy on the stack of their
// samples and the two either side.
constexpr std::int32_t key_step = 1024;
static_assert(key_step % 4 == 0, "every step starts at subcarrier phase 0");

// Key bits 6 and 5 of the columns of a step, from the phase offset on.
constexpr std::array<std::uint8_t, key_step + 3> phase_bits = [] {
    std::array<std::uint8_t, key_step + 3> bits{};
    for (std::size_t j = 0; j < bits.size(); ++j)
        bits[j] = static_cast<std::uint8_t>((j & 3u) << 5);
    return bits;
}();

} // namespace

void read_window_keys(std::uint8_t* row, std::int32_t width, int join_ends, unsigned phase_offset,
                      std::uint8_t* keys) {
    assert(width >= 0 && (!join_ends || width >= 2));
    resolve_markers(row, width, join_ends);
    // The lit sample of column p beyond an end (-2, -1, width, width + 1).
    const auto beyond = [&](std::int32_t p) {
        return static_cast<std::uint8_t>(join_ends &&
                                         row[p < 0 ? p + width : p - width] != dot_dark);
    };
    std::array<std::uint8_t, key_step + 4> samples; // columns first - 2 .. first + count + 1
    for (std::int32_t first = 0; first < width; first += key_step) {
        const std::int32_t count = std::min(key_step, width - first);
        // The row's own samples straight, the ones beyond its ends through beyond().
        const std::int32_t inside_from = std::max(first - 2, 0);
        const std::int32_t inside_to = std::min(first + count + 2, width);
        for (std::int32_t p = first - 2; p < inside_from; ++p)
            samples[static_cast<std::size_t>(p - first + 2)] = beyond(p);
        for (std::int32_t p = inside_from; p < inside_to; ++p)
            samples[static_cast<std::size_t>(p - first + 2)] = row[p] != dot_dark;
        for (std::int32_t p = std::max(inside_to, first - 2); p < first + count + 2; ++p)
            samples[static_cast<std::size_t>(p - first + 2)] = beyond(p);
        const std::uint8_t* s = samples.data();
        const std::uint8_t* phase = phase_bits.data() + (phase_offset & 3u);
        for (std::int32_t j = 0; j < count; ++j)
            keys[first + j] = static_cast<std::uint8_t>(phase[j] | s[j] << 4 | s[j + 1] << 3 |
                                                        s[j + 2] << 2 | s[j + 3] << 1 | s[j + 4]);
    }
}
