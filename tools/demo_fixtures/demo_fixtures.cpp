// Writes the demo's two pictures into a folder: demo_brush.iff, a 24-plane ILBM of a sunset
// over the sea (WriteILBM), and demo_brush.bmp, a 24-bit BMP of a ringed planet on a starry
// sky (WriteBMP). Both are drawn here, so the demo needs no picture files from elsewhere.
// Usage: demo_fixtures OUTDIR
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "display/graphics.h"
#include "pictures/picture_readers.h"

static uint32_t Rgb(double r, double g, double b)
{
    auto c = [](double v) { return (uint32_t)(v < 0 ? 0 : v > 255 ? 255 : v + 0.5); };
    return (c(r) << 16) | (c(g) << 8) | c(b);
}

static uint32_t Mix(uint32_t a, uint32_t b, double t)
{
    double r = ((a >> 16) & 255) * (1 - t) + ((b >> 16) & 255) * t;
    double g = ((a >> 8) & 255) * (1 - t) + ((b >> 8) & 255) * t;
    double bl = (a & 255) * (1 - t) + (b & 255) * t;
    return Rgb(r, g, bl);
}

// A sky from violet to orange, a sun half set behind the horizon and the sea with bands of light.
static std::vector<uint32_t> Sunset(int w, int h)
{
    std::vector<uint32_t> px((size_t)w * h);
    const int horizon = h * 5 / 8;
    const double sunX = w * 0.5, sunY = horizon, sunR = h * 0.28;
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            uint32_t c;
            if (y < horizon) {
                c = Mix(0x402070, 0xF08030, (double)y / horizon);
                double d = std::hypot(x - sunX, y - sunY);
                if (d < sunR) c = Mix(0xFFE060, 0xFFA020, d / sunR);
            } else {
                double t = (double)(y - horizon) / (h - horizon);
                c = Mix(0x204080, 0x081830, t);
                double band = std::fabs(x - sunX) / (sunR * (1.2 - 0.6 * t));
                if (band < 1 && (y - horizon) % 3 != 2) c = Mix(0xFFC050, c, band);
            }
            px[(size_t)y * w + x] = c;
        }
    }
    return px;
}

// A planet shaded from its lit side, its ring in front, and stars scattered by a fixed seed.
static std::vector<uint32_t> Planet(int w, int h)
{
    std::vector<uint32_t> px((size_t)w * h, 0x080818);
    unsigned seed = 7;
    for (int i = 0; i < w * h / 40; i++) {
        seed = seed * 1103515245u + 12345u;
        int x = (int)((seed >> 8) % (unsigned)w);
        seed = seed * 1103515245u + 12345u;
        int y = (int)((seed >> 8) % (unsigned)h);
        px[(size_t)y * w + x] = Mix(0xFFFFFF, 0x8080C0, (seed >> 4) % 100 / 100.0);
    }
    const double cx = w * 0.5, cy = h * 0.5, r = h * 0.3;
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            double dx = x - cx, dy = y - cy;
            // The ring: an ellipse band tilted by 20 degrees.
            double rx = dx * 0.94 + dy * 0.34, ry = -dx * 0.34 + dy * 0.94;
            double e = std::hypot(rx / (r * 1.8), ry / (r * 0.5));
            int ring = e > 0.8 && e < 1.0;
            double d = std::hypot(dx, dy);
            uint32_t &p = px[(size_t)y * w + x];
            if (d < r && !(ring && ry > 0)) {
                double light = 1.0 - std::hypot(dx + r * 0.4, dy + r * 0.4) / (r * 1.9);
                p = Mix(0x203060, 0x50C0A0, light < 0 ? 0 : light);
            } else if (ring && (d >= r || ry > 0)) {
                p = Mix(0xE0C080, 0x906040, (e - 0.8) / 0.2);
            }
        }
    }
    return px;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: demo_fixtures OUTDIR\n");
        return 2;
    }
    std::string dir = argv[1];
    std::vector<uint32_t> sunset = Sunset(96, 64);
    std::string iff = dir + "/demo_brush.iff";
    if (int code = WriteILBM(iff.c_str(), sunset.data(), 96, 64)) {
        fprintf(stderr, "demo_fixtures: cannot write %s (error %d)\n", iff.c_str(), code);
        return 1;
    }
    std::vector<uint32_t> planet = Planet(80, 80);
    std::string bmp = dir + "/demo_brush.bmp";
    if (int code = WriteBMP(bmp.c_str(), planet.data(), 80, 80)) {
        fprintf(stderr, "demo_fixtures: cannot write %s (error %d)\n", bmp.c_str(), code);
        return 1;
    }
    return 0;
}
