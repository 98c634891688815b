// The MPEG audio probe: the ID3v2 tag length, the bit rate of a frame header, the
// variable-bit-rate markers and the average rate of a variable-rate file.
#include <climits>
#include <cstring>

#include "sound/sample_file.h"

// kbit/s by bit-rate index: MPEG-1 layers I, II, III; MPEG-2 layer I; MPEG-2 layers II and III.
static const short BitRates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};

int MpegTagLength(const uint8_t *b, size_t n)
{
    if (n < 10 || memcmp(b, "ID3", 3) != 0 || b[3] == 0xFF || b[4] == 0xFF) return 0;
    if ((b[6] | b[7] | b[8] | b[9]) & 0x80) return 0;
    int size = (b[6] << 21) | (b[7] << 14) | (b[8] << 7) | b[9];
    return 10 + size + ((b[5] & 0x10) ? 10 : 0);
}

int MpegHeaderBitRate(const uint8_t *h)
{
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return 0;
    int version = (h[1] >> 3) & 3;      // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5, 1 reserved
    int layer = (h[1] >> 1) & 3;        // 3 layer I, 2 layer II, 1 layer III, 0 reserved
    int index = h[2] >> 4;
    if (layer == 0 || (version != 3 && version != 2)) return 0;
    int row = version == 3 ? 3 - layer : (layer == 3 ? 3 : 4);
    return BitRates[row][index];
}

int MpegHasVbrMarker(const uint8_t *b, size_t n)
{
    for (size_t i = 0; i + 32 < n; i++)
        if (memcmp(b + i, "Xing", 4) == 0 || memcmp(b + i, "VBRI", 4) == 0) return 1;
    return 0;
}

int MpegAverageBitRate(int64_t bytes, int64_t frames, int rate)
{
    if (frames <= 0 || rate <= 0 || bytes <= 0) return 0;
    // A decoder may report few frames for a large file: the quotient can pass any int.
    double perSecond = (double)bytes * rate / (double)frames / 128.0;
    return perSecond >= (double)INT_MAX ? INT_MAX : (int)perSecond;
}
