// A world of our own, grown from a seed: a height field of layered value
// noise makes continents and mountain ranges, a moisture field chooses
// between grass, scrub, forest and marsh, rivers run downhill from the
// heights to the sea, and towns, castles and villages settle on the land.
// Everything is drawn on a 256 x 256 grid and stored in the map's chunked
// layout. The same seed gives the same world on every machine: one small
// generator of our own, integer hashing and plain double arithmetic.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "demo.h"

namespace {

constexpr int size = 256;

// xorshift32: small, fast and the same everywhere.
struct generator {
    std::uint32_t state;
};

std::uint32_t next_number(generator* g) {
    std::uint32_t x = g->state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    g->state = x;
    return x;
}

int next_below(generator* g, int limit) {
    return static_cast<int>(next_number(g) % static_cast<std::uint32_t>(limit));
}

std::uint32_t hash_point(std::uint32_t seed, int x, int y) {
    std::uint32_t h = seed * 0x9E3779B1u ^ static_cast<std::uint32_t>(x) * 0x85EBCA77u ^
                      static_cast<std::uint32_t>(y) * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

// Value noise on a lattice of the given spacing, wrapping at the map's edge
// so that the world closes on itself like the scan lines of the picture.
double lattice_noise(std::uint32_t seed, int x, int y, int spacing) {
    const int cells = size / spacing;
    const int cx = x / spacing;
    const int cy = y / spacing;
    const double fx = static_cast<double>(x % spacing) / spacing;
    const double fy = static_cast<double>(y % spacing) / spacing;
    const double sx = fx * fx * (3.0 - 2.0 * fx);
    const double sy = fy * fy * (3.0 - 2.0 * fy);
    auto corner = [&](int i, int j) {
        return static_cast<double>(hash_point(seed, (cx + i) % cells, (cy + j) % cells) & 0xFFFF) /
               65535.0;
    };
    const double top = corner(0, 0) + (corner(1, 0) - corner(0, 0)) * sx;
    const double bottom = corner(0, 1) + (corner(1, 1) - corner(0, 1)) * sx;
    return top + (bottom - top) * sy;
}

// Layered noise, 0..1: broad shapes from the coarse lattices, detail from the fine.
std::vector<double> noise_field(std::uint32_t seed) {
    std::vector<double> field(size * size);
    constexpr std::array<int, 5> spacings = {64, 32, 16, 8, 4};
    constexpr std::array<double, 5> weights = {0.45, 0.25, 0.15, 0.1, 0.05};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double sum = 0.0;
            for (std::size_t k = 0; k < spacings.size(); ++k) {
                sum += weights[k] *
                       lattice_noise(seed + static_cast<std::uint32_t>(k), x, y, spacings[k]);
            }
            field[static_cast<std::size_t>(y * size + x)] = sum;
        }
    }
    return field;
}

// The height below which a given share of the map lies.
double level_of_share(std::vector<double> field, double share) {
    const auto at =
        field.begin() + static_cast<std::ptrdiff_t>(share * static_cast<double>(field.size() - 1));
    std::nth_element(field.begin(), at, field.end());
    return *at;
}

struct world {
    std::vector<std::uint8_t> tiles; // row by row, 256 x 256
    std::vector<double> height;
    double sea_level;
};

std::uint8_t& tile_at(world* w, int x, int y) {
    return w->tiles[static_cast<std::size_t>(((y % size + size) % size) * size +
                                             (x % size + size) % size)];
}

bool is_water(std::uint8_t t) {
    return t == demo_tile::deep_sea || t == demo_tile::sea || t == demo_tile::sea_swell ||
           t == demo_tile::shallows;
}

void lay_terrain(world* w, std::uint32_t seed) {
    w->height = noise_field(seed);
    const std::vector<double> moisture = noise_field(seed ^ 0x5A5A5A5Au);
    w->sea_level = level_of_share(w->height, 0.55);
    const double mountain = level_of_share(w->height, 0.93);
    const double peak = level_of_share(w->height, 0.985);
    const double hill = level_of_share(w->height, 0.86);
    for (int i = 0; i < size * size; ++i) {
        const double h = w->height[static_cast<std::size_t>(i)];
        const double m = moisture[static_cast<std::size_t>(i)];
        const double depth = w->sea_level - h;
        std::uint8_t t;
        if (depth > 0.08)
            t = demo_tile::deep_sea;
        else if (depth > 0.015)
            t = (hash_point(seed, i, 7) & 7) == 0 ? demo_tile::sea_swell : demo_tile::sea;
        else if (depth > 0.0)
            t = demo_tile::shallows;
        else if (h < w->sea_level + 0.008)
            t = demo_tile::beach;
        else if (h >= peak)
            t = demo_tile::peaks;
        else if (h >= mountain)
            t = demo_tile::mountains;
        else if (h >= hill)
            t = demo_tile::hills;
        else if (m > 0.70)
            t = demo_tile::marsh;
        else if (m > 0.57)
            t = demo_tile::forest;
        else if (m < 0.40)
            t = demo_tile::scrub;
        else
            t = demo_tile::grass;
        w->tiles[static_cast<std::size_t>(i)] = t;
    }
}

// A river from a high place, always to the lowest neighbour but the one it
// came from, until it meets water (the sea, a lake or another river).
void run_river(world* w, generator* g, double source_level) {
    constexpr int max_steps = 400;
    constexpr std::array<std::array<int, 2>, 4> ways = {{{1, 0}, {-1, 0}, {0, 1}, {0, -1}}};
    int x = next_below(g, size);
    int y = next_below(g, size);
    if (w->height[static_cast<std::size_t>(y * size + x)] < source_level)
        return;
    int came_from = -1;
    for (int step = 0; step < max_steps; ++step) {
        tile_at(w, x, y) = demo_tile::shallows;
        int best = -1;
        double lowest = 1e9;
        for (int k = 0; k < 4; ++k) {
            if (k == came_from)
                continue;
            const int nx = (x + ways[static_cast<std::size_t>(k)][0] + size) % size;
            const int ny = (y + ways[static_cast<std::size_t>(k)][1] + size) % size;
            const double h = w->height[static_cast<std::size_t>(ny * size + nx)] +
                             (next_number(g) & 0xFF) * 1e-5;
            if (h < lowest) {
                lowest = h;
                best = k;
            }
        }
        x = (x + ways[static_cast<std::size_t>(best)][0] + size) % size;
        y = (y + ways[static_cast<std::size_t>(best)][1] + size) % size;
        came_from = best ^ 1; // the way back
        if (is_water(tile_at(w, x, y)))
            return;
    }
}

// Bridges where a river runs straight between land on both sides.
void place_bridges(world* w, generator* g) {
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            if (tile_at(w, x, y) != demo_tile::shallows || next_below(g, 14) != 0)
                continue;
            const bool north_south = tile_at(w, x, y - 1) == demo_tile::shallows &&
                                     tile_at(w, x, y + 1) == demo_tile::shallows &&
                                     !is_water(tile_at(w, x - 1, y)) &&
                                     !is_water(tile_at(w, x + 1, y));
            const bool east_west = tile_at(w, x - 1, y) == demo_tile::shallows &&
                                   tile_at(w, x + 1, y) == demo_tile::shallows &&
                                   !is_water(tile_at(w, x, y - 1)) &&
                                   !is_water(tile_at(w, x, y + 1));
            if (north_south)
                tile_at(w, x, y) = demo_tile::bridge_across;
            else if (east_west)
                tile_at(w, x, y) = demo_tile::bridge_along;
        }
    }
}

bool near_water(world* w, int x, int y, int reach) {
    for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx)
            if (is_water(tile_at(w, x + dx, y + dy)))
                return true;
    return false;
}

// Settlements on open land, apart from each other; castles fly a flag.
void settle(world* w, generator* g) {
    struct kind {
        std::uint8_t tile;
        int count;
        int spacing;
    };
    constexpr std::array<kind, 3> kinds = {
        {{demo_tile::castle, 8, 40}, {demo_tile::town, 18, 24}, {demo_tile::village, 30, 12}}};
    std::vector<std::array<int, 2>> placed;
    constexpr int max_tries = 20000;
    for (const kind& k : kinds) {
        int made = 0;
        for (int attempt = 0; attempt < max_tries && made < k.count; ++attempt) {
            const int x = next_below(g, size);
            const int y = next_below(g, size);
            const std::uint8_t here = tile_at(w, x, y);
            if (here != demo_tile::grass && here != demo_tile::scrub)
                continue;
            if (k.tile != demo_tile::village && !near_water(w, x, y, 3))
                continue;
            bool crowded = false;
            for (const auto& p : placed) {
                const int dx = std::min(std::abs(p[0] - x), size - std::abs(p[0] - x));
                const int dy = std::min(std::abs(p[1] - y), size - std::abs(p[1] - y));
                crowded = crowded || dx * dx + dy * dy < k.spacing * k.spacing;
            }
            if (crowded)
                continue;
            tile_at(w, x, y) = k.tile;
            if (k.tile == demo_tile::castle && !is_water(tile_at(w, x + 1, y - 1))) {
                tile_at(w, x + 1, y - 1) = demo_tile::flag;
            }
            placed.push_back({x, y});
            ++made;
        }
    }
}

// Where the moon gates open, the land is open grass, so that a gate drawn
// there stands on a meadow rather than in the sea.
void clear_gate_places(world* w) {
    constexpr std::array<std::array<int, 2>, 8> gates = {
        {{224, 133}, {96, 102}, {38, 224}, {50, 37}, {166, 19}, {104, 194}, {23, 126}, {187, 167}}};
    for (const auto& gate : gates) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                tile_at(w, gate[0] + dx, gate[1] + dy) =
                    dx == 0 && dy == 0 ? demo_tile::grass : demo_tile::scrub;
    }
}

} // namespace

std::vector<std::uint8_t> generate_world(std::uint32_t seed) {
    world w;
    w.tiles.assign(size * size, demo_tile::sea);
    lay_terrain(&w, seed);
    generator g{seed * 2654435761u + 1u};
    if (g.state == 0)
        g.state = 1;
    const double source_level = level_of_share(w.height, 0.80);
    for (int river = 0; river < 120; ++river)
        run_river(&w, &g, source_level);
    place_bridges(&w, &g);
    settle(&w, &g);
    clear_gate_places(&w);
    // The chunked layout: 16 x 16 chunks of 16 x 16 tiles.
    std::vector<std::uint8_t> chunked(size * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int i = (y / 16) * 4096 + (x / 16) * 256 + (y % 16) * 16 + x % 16;
            chunked[static_cast<std::size_t>(i)] = w.tiles[static_cast<std::size_t>(y * size + x)];
        }
    }
    return chunked;
}
