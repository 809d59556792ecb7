// What a disk image file holds, told from its content (image_load.cpp); for
// the loader and for the tests that feed it every cut of a real file.
#pragma once

#include <cstddef>

#include "disk/surface/surface.h"

enum class image_kind {
    raw,     // a flat file of sectors, read in the order the run asks for
    sectors, // 2IMG sectors: a region of the file, in the order its header names
    surface, // WOZ or NIB/NB2 tracks (a NIB may sit inside a 2IMG), to be decoded
};

struct image_layout {
    image_kind kind = image_kind::raw;
    int order = dos_order;  // sectors: 1 DOS, 2 ProDOS
    std::size_t offset = 0; // sectors: where they begin
    std::size_t length = 0; // sectors: how many bytes, all inside the file
    surface_layout surface; // surface: its tracks
};

// The layout of the file of size bytes in memory: raw unless its content says
// otherwise (a WOZ or 2IMG signature, or a NIB's size and an address field on
// its first track), with every header field checked. 0, or -1 after its line.
int read_image_layout(const std::uint8_t* file, std::size_t size, const char* path,
                      image_layout* layout);
