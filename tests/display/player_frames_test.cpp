// Applets run by the real player under the dummy video driver, which saves every presented
// frame of a window as a BMP file (SDL_VIDEO_DUMMY_SAVE_FRAMES=1); the last frame of a window
// is what it showed when the applet ended (closing a window presents it).
#include <gtest/gtest.h>

#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>

namespace {

const std::string Kvasm = std::string(KV_BINARY_DIR) + "/kvasm";
const std::string Player = std::string(KV_BINARY_DIR) + "/KestroviaPlayer";

struct PlayerFramesTest : ::testing::Test {
    std::string dir;
    void SetUp() override
    {
        char tmpl[] = "/tmp/kvframes.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    // Assembles and runs the applet; returns its standard output.
    std::string Run(const std::string &source)
    {
        FILE *f = fopen((dir + "/t.kvs").c_str(), "w");
        fputs(source.c_str(), f);
        fclose(f);
        std::string cmd = "cd '" + dir + "' && '" + Kvasm + "' -o t.kva t.kvs >/dev/null 2>&1 && SDL_VIDEODRIVER=dummy " +
                          "SDL_VIDEO_DUMMY_SAVE_FRAMES=1 timeout 20 '" + Player + "' t.kva -debugdevice 1 -quiet 2>&1";
        std::string out;
        FILE *p = popen(cmd.c_str(), "r");
        char buf[512];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
        return out;
    }

    // The last saved frame of window `index` (SDL numbers windows from 1), or none.
    SDL_Surface *LastFrame(int index)
    {
        std::string prefix = "SDL_window" + std::to_string(index) + "-", last;
        DIR *d = opendir(dir.c_str());
        while (dirent *e = readdir(d)) {
            std::string name = e->d_name;
            if (name.rfind(prefix, 0) == 0 && name > last) last = name;
        }
        closedir(d);
        if (last.empty()) return nullptr;
        SDL_Surface *s = SDL_LoadBMP((dir + "/" + last).c_str());
        if (!s) return nullptr;
        SDL_Surface *rgb = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_RGB888, 0);
        SDL_FreeSurface(s);
        return rgb;
    }
};

uint32_t Pixel(SDL_Surface *s, int x, int y)
{
    return *(uint32_t *)((uint8_t *)s->pixels + y * s->pitch + x * 4) & 0xFFFFFF;
}

TEST_F(PlayerFramesTest, DeclaredDisplayShowsItsColour)
{
    EXPECT_EQ(Run(".display size 64 48\n.display color 0xff8000\n  return r0\n"), "");
    SDL_Surface *s = LastFrame(1);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->w, 64);
    EXPECT_EQ(s->h, 48);
    EXPECT_EQ(Pixel(s, 0, 0), 0xFF8000u);
    EXPECT_EQ(Pixel(s, 63, 47), 0xFF8000u);
    SDL_FreeSurface(s);
}

TEST_F(PlayerFramesTest, AutoscaledDisplayFillsItsScaledWindow)
{
    EXPECT_EQ(Run(".display size 64 48\n.display color 0x0080ff\n.display scale 0 128 96 0\n  return r0\n"), "");
    SDL_Surface *s = LastFrame(1);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->w, 128);
    EXPECT_EQ(s->h, 96);
    EXPECT_EQ(Pixel(s, 127, 95), 0x0080FFu);
    SDL_FreeSurface(s);
}

TEST_F(PlayerFramesTest, ScriptMadeDisplaysAndResizing)
{
    std::string out = Run(".reg opts r10\n"
                          "  newtable opts\n"
                          "  settable opts, \"width\", 30\n"
                          "  settable opts, \"height\", 20\n"
                          "  settable opts, \"color\", 0x00ff00\n"
                          "  cmd CreateDisplay(2, opts)\n"
                          "  cmd OpenDisplay(2)\n"
                          "  cmd ChangeDisplaySize(\"200%\", 100000)\n"
                          "  return r0\n");
    EXPECT_EQ(out, "");
    SDL_Surface *s = LastFrame(2);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->w, 60);
    EXPECT_EQ(s->h, 40);
    EXPECT_EQ(Pixel(s, 59, 39), 0x00FF00u);
    SDL_FreeSurface(s);
}

}  // namespace
