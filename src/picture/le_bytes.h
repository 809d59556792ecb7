// Little-endian numbers inside disk sectors and BMP headers, byte by byte, so
// that nothing depends on the host's byte order or on copying bytes onto a
// struct.
#pragma once

#include <cstdint>

// Stores value at p, least significant byte first; returns p + 4 or p + 2.
inline std::uint8_t* put_le32(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
    p[2] = static_cast<std::uint8_t>(value >> 16);
    p[3] = static_cast<std::uint8_t>(value >> 24);
    return p + 4;
}

inline std::uint8_t* put_le16(std::uint8_t* p, std::uint16_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
    return p + 2;
}

// The value at p; when next is given it receives p + 4 or p + 2.
inline std::uint32_t get_le32(const std::uint8_t* p, const std::uint8_t** next = nullptr) {
    if (next != nullptr)
        *next = p + 4;
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::uint16_t get_le16(const std::uint8_t* p, const std::uint8_t** next = nullptr) {
    if (next != nullptr)
        *next = p + 2;
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
