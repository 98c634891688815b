// Byte-order helpers shared by the sound file readers.
#pragma once
#include <cstdint>

inline uint32_t ReadBE32(const uint8_t *p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}
inline int ReadBE16(const uint8_t *p)
{
    return (p[0] << 8) | p[1];
}
inline uint32_t ReadLE32(const uint8_t *p)
{
    return ((uint32_t)p[3] << 24) | ((uint32_t)p[2] << 16) | ((uint32_t)p[1] << 8) | p[0];
}
inline int ReadLE16(const uint8_t *p)
{
    return (p[1] << 8) | p[0];
}
