// Writes the demo's module: a short four-channel tune (bass, melody, chords, drums) of
// generated samples. Usage: make_demo_module OUT.mod
#include <cmath>
#include <cstdio>

#include "tests/sound/mod_fixture.h"

static std::vector<int8_t> Wave(int period, int cycles, int kind)
{
    std::vector<int8_t> v;
    for (int c = 0; c < cycles; c++)
        for (int i = 0; i < period; i++) {
            double t = double(i) / period;
            double s = kind == 0 ? (t < 0.5 ? 1 : -1) : kind == 1 ? 2 * t - 1 : std::sin(2 * M_PI * t);
            v.push_back((int8_t)(s * 90));
        }
    return v;
}

int main(int argc, char **argv)
{
    if (argc != 2) return 2;
    ModBuilder b(2);
    b.samples[1].data = Wave(32, 16, 1);    // bass: saw
    b.samples[2].data = Wave(16, 32, 0);    // melody: square
    b.samples[3].data = Wave(32, 16, 2);    // chords: sine
    for (int s = 1; s <= 3; s++) {
        b.samples[s].loopLength = (int)b.samples[s].data.size();
        b.samples[s].volume = 48;
    }
    std::vector<int8_t> noise;              // drum: decaying noise, played once
    unsigned x = 1;
    for (int i = 0; i < 2048; i++) {
        x = x * 1103515245 + 12345;
        noise.push_back((int8_t)(((int)(x >> 16) % 200 - 100) * (2048 - i) / 2048));
    }
    b.samples[4].data = noise;
    const int bass[2][4] = {{428, 339, 381, 285}, {428, 320, 360, 285}};
    const int melody[16] = {214, 190, 170, 160, 170, 190, 214, 0, 226, 202, 180, 170, 180, 202, 226, 0};
    for (int p = 0; p < 2; p++)
        for (int r = 0; r < 64; r++) {
            if (r % 16 == 0) b.Cell(p, r, 0, 1, bass[p][r / 16], 0, 0);
            if (r % 4 == 0 && melody[(r / 4) % 16]) b.Cell(p, r, 1, 2, melody[(r / 4) % 16], 4, 0x34);
            if (r % 8 == 4) b.Cell(p, r, 2, 3, bass[p][r / 16] / 2, 0, 0x37);
            if (r % 8 == 0) b.Cell(p, r, 3, 4, 428, 0, 0);
        }
    b.order = {0, 1, 0, 1};
    std::vector<uint8_t> m = b.Build();
    FILE *f = fopen(argv[1], "wb");
    if (!f) return 1;
    size_t written = fwrite(m.data(), 1, m.size(), f);
    return fclose(f) == 0 && written == m.size() ? 0 : 1;
}
