// Reading one scan line of the composed map: half-dot markers and the lit
// samples around a column, with the row's ends joined into a ring or dark.
#include <cstdint>

#include "render/render.h"

void resolve_markers(std::uint8_t* row, std::int32_t width, int join_ends) {
    for (std::int32_t x = 0; x < width; x += pixels_per_byte) {
        if (row[x] != half_dot_marker)
            continue;
        if (x > 0)
            row[x] = row[x - 1];
        else
            row[x] = join_ends ? row[width - 1] : 0;
    }
}

int read_lit(const std::uint8_t* row, std::int32_t width, std::int64_t p, int join_ends) {
    if (p >= 0 && p < width)
        return row[p] != 0;
    if (!join_ends || width <= 0)
        return 0;
    std::int64_t wrapped = p % width;
    if (wrapped < 0)
        wrapped += width;
    return row[wrapped] != 0;
}

unsigned read_window(const std::uint8_t* row, std::int32_t width, std::int32_t x, int join_ends) {
    unsigned window = 0;
    for (std::int64_t k = -2; k <= 2; ++k)
        window = (window << 1) | static_cast<unsigned>(read_lit(row, width, x + k, join_ends));
    return window;
}
