// The sound library through its commands where a script cannot look: the registered command
// list, the silent switch-off when no audio device opens, the state behind the commands and
// the attribute provider.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "runtime/errors.h"
#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/vm/api.h"
#include "sound/audio_output.h"
#include "sound/mod_player.h"
#include "sound/sample_file.h"
#include "sound/sound_lib.h"
#include "tests/sound/mod_fixture.h"
#include "tests/sound/sound_fixture.h"

namespace {

int OpenSound(lua_State *L)
{
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    int code = OpenSoundLib(L);
    lua_settop(L, 0);
    return code;
}

struct Call {
    const char *name;
    std::function<int(lua_State *)> push;   // pushes the arguments, returns their count
    int results = 0;
    double first = 0;
    int code = 0;
};

int RunCall(lua_State *L)
{
    Call *c = static_cast<Call *>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    lua_pushstring(L, c->name);
    lua_gettable(L, LUA_GLOBALSINDEX);
    lua_CFunction f = lua_tocfunction(L, -1);
    lua_settop(L, 0);
    c->push(L);
    // The handler is called directly, so a returned error code is seen as the script would.
    int top = lua_gettop(L);
    int n = f(L);
    if (n >= 1000) {
        c->code = n;
        return 0;
    }
    c->results = n;
    c->first = n ? lua_tonumber(L, top + 1) : 0;
    return 0;
}

class SoundLib : public ::testing::Test {
protected:
    lua_State *L = nullptr;
    ScratchDir dir;
    void SetUp() override
    {
        SoundState = SoundLibraryState{};
        L = lua_open();
        ASSERT_EQ(0, lua_cpcall(L, OpenSound, nullptr));
    }
    void TearDown() override
    {
        StopAllSound(L);
        FreeSoundObjects(L);
        lua_close(L);
        FreeCommandTables();
    }
    int Run(Call &c)
    {
        int raised = lua_cpcall(L, RunCall, &c);
        return raised ? raised : c.code;
    }
    int Run(const char *name, std::function<int(lua_State *)> push, double *first = nullptr)
    {
        Call c = {name, push};
        int code = Run(c);
        if (first) *first = c.first;
        return code;
    }
    std::string ModuleFile()
    {
        ModBuilder b(2);
        b.samples[1].data = SquareWave(16, 8);
        b.samples[1].loopLength = 128;
        b.Cell(0, 0, 0, 1, 428, 0, 0);
        return dir.Write("t.mod", b.Build());
    }
};

TEST_F(SoundLib, RegistersItsCommandList)
{
    std::string list = dir.path + "/commands";
    ASSERT_EQ(1, ExportCommandList(list.c_str()));
    std::ifstream in(list);
    std::string line;
    int count = -1;
    while (std::getline(in, line)) {
        if (line == "::sound") {
            std::getline(in, line);
            count = std::stoi(line);
        }
    }
    EXPECT_EQ(35, count);
}

TEST_F(SoundLib, NoDeviceSwitchesSoundOffSilently)
{
    const char *old = getenv("SDL_AUDIODRIVER");
    std::string saved = old ? old : "";
    setenv("SDL_AUDIODRIVER", "bogus", 1);
    Call load = {"loadsample", [](lua_State *L) {
                     lua_pushnil(L);
                     lua_pushstring(L, "missing.wav");
                     return 2;
                 }};
    EXPECT_EQ(0, Run(load));
    EXPECT_EQ(0, load.results);
    EXPECT_EQ(1, SoundState.disabled);
    double sound = -1;
    EXPECT_EQ(0, Run("issound", [](lua_State *) { return 0; }, &sound));
    EXPECT_EQ(0, sound);
    if (old) setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
    else unsetenv("SDL_AUDIODRIVER");
}

TEST_F(SoundLib, CommandsKeepTheirValuesInRange)
{
    std::string mod = ModuleFile();
    ASSERT_EQ(0, Run("openmusic", [&](lua_State *L) {
        lua_pushnumber(L, 1);
        lua_pushstring(L, mod.c_str());
        return 2;
    }));
    ASSERT_NE(nullptr, Musics);
    ASSERT_EQ(0, Run("playmusic", [](lua_State *L) {
        lua_pushnumber(L, 1);
        lua_newtable(L);
        lua_pushstring(L, "volume");
        lua_pushnumber(L, 100);
        lua_settable(L, -3);
        return 2;
    }));
    EXPECT_EQ(64, Musics->volume);
    EXPECT_EQ(Musics, SoundState.playing);

    // an automatic id comes back as the handle
    Call create = {"createsample", [](lua_State *L) {
                       lua_pushnil(L);
                       lua_newtable(L);
                       for (int i = 0; i < 16; i++) {
                           lua_pushnumber(L, i);
                           lua_pushnumber(L, i < 8 ? 100 : -100);
                           lua_settable(L, -3);
                       }
                       lua_pushnumber(L, 8000);
                       return 3;
                   }};
    ASSERT_EQ(0, Run(create));
    ASSERT_EQ(1, create.results);
    ASSERT_NE(nullptr, Samples);
    EXPECT_EQ(16u, Samples->buffer->frames);
    EXPECT_EQ(8000, Samples->pitch);
    EXPECT_EQ(Samples, Samples->id.handle);
}

TEST_F(SoundLib, FailedPlaySampleLeavesNoPreparedChannel)
{
    Call create = {"createsample", [](lua_State *L) {
                       lua_pushnumber(L, 1);
                       lua_newtable(L);
                       for (int i = 0; i < 800; i++) {
                           lua_pushnumber(L, i);
                           lua_pushnumber(L, i % 16 < 8 ? 100 : -100);
                           lua_settable(L, -3);
                       }
                       lua_pushnumber(L, 8000);
                       return 3;
                   }};
    ASSERT_EQ(0, Run(create));
    EXPECT_EQ(1178, Run("playsample", [](lua_State *L) {
        lua_pushnumber(L, 1);
        lua_pushnumber(L, 1);
        lua_pushnumber(L, 2);
        return 3;
    }));
    for (AudioChannel &ch : AudioChannels) EXPECT_EQ(CH_FREE, ch.state.load());
}

TEST_F(SoundLib, AStreamThatEndsIsNoLongerThePlayingMusic)
{
    std::string wav = dir.Write("short.wav", Wave(1, 8000, 8, Bytes(800, 200)));   // 0.1 s
    ASSERT_EQ(0, Run("openmusic", [&](lua_State *L) {
        lua_pushnumber(L, 1);
        lua_pushstring(L, wav.c_str());
        return 2;
    }));
    ASSERT_EQ(0, Run("playmusic", [](lua_State *L) {
        lua_pushnumber(L, 1);
        lua_pushnumber(L, 1);
        return 2;
    }));
    double playing = 1;
    for (int i = 0; i < 300 && playing; i++) {
        OsSleepMillis(nullptr, 10);
        ASSERT_EQ(0, Run("ismusicplaying", [](lua_State *L) {
            lua_pushnumber(L, 1);
            return 1;
        }, &playing));
    }
    EXPECT_EQ(0, playing);
    EXPECT_EQ(nullptr, SoundState.playing);
}

// A tone of 1.5 s written by libsndfile, or "" when it cannot write the format.
std::string WriteTone(const ScratchDir &dir, const char *name, int format, int rate, int channels)
{
    std::string p = dir.path + "/" + name;
    SF_INFO info = {};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE *f = sf_open(p.c_str(), SFM_WRITE, &info);
    if (!f) return "";
    int frames = rate * 3 / 2;
    std::vector<short> pcm((size_t)frames * channels);
    for (size_t i = 0; i < pcm.size(); i++) pcm[i] = (short)(std::sin(i * 0.03) * 12000);
    sf_writef_short(f, pcm.data(), frames);
    sf_close(f);
    return p;
}

// A 16-bit stereo FLAC tone (libsndfile names FLAC 16-bit PCM).
std::string WriteFlac(const ScratchDir &dir)
{
    return WriteTone(dir, "tone.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 22050, 2);
}

long MillisSince(std::chrono::steady_clock::time_point t)
{
    return (long)std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count();
}

// A FLAC file is no sample; as music it plays to its end once, and a stop in the middle of an
// endless play returns at once.
TEST_F(SoundLib, FlacIsMusicThatEndsAndStopsAtOnce)
{
    std::string flac = WriteFlac(dir);
    ASSERT_FALSE(flac.empty()) << "libsndfile cannot write FLAC here";
    EXPECT_EQ(1279, Run("loadsample", [&](lua_State *L) {
        lua_pushnumber(L, 1);
        lua_pushstring(L, flac.c_str());
        return 2;
    }));
    for (int id : {1, 2}) {
        ASSERT_EQ(0, Run("openmusic", [&](lua_State *L) {
            lua_pushnumber(L, id);
            lua_pushstring(L, flac.c_str());
            return 2;
        }));
    }
    auto isPlaying = [&](int id) {
        double playing = -1;
        EXPECT_EQ(0, Run("ismusicplaying", [&](lua_State *L) {
            lua_pushnumber(L, id);
            return 1;
        }, &playing));
        return playing;
    };

    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(0, Run("playmusic", [](lua_State *L) {
        lua_pushnumber(L, 1);
        lua_pushnumber(L, 1);
        return 2;
    }));
    while (isPlaying(1) == 1 && MillisSince(started) < 6000) OsSleepMillis(nullptr, 10);
    long played = MillisSince(started);
    EXPECT_EQ(0, isPlaying(1)) << "still playing after " << played << " ms";
    EXPECT_GE(played, 1300);

    ASSERT_EQ(0, Run("playmusic", [](lua_State *L) {
        lua_pushnumber(L, 2);
        lua_pushnumber(L, 0);
        return 2;
    }));
    OsSleepMillis(nullptr, 300);
    EXPECT_EQ(1, isPlaying(2));
    auto stopping = std::chrono::steady_clock::now();
    EXPECT_EQ(0, Run("stopmusic", [](lua_State *L) {
        lua_pushnumber(L, 2);
        return 1;
    }));
    EXPECT_LT(MillisSince(stopping), 200);
    EXPECT_EQ(0, isPlaying(2));
}

// An MPEG file (whose decoder keeps its own place in the file) and a GSM 6.10 WAVE (which
// cannot seek, not even to its start) play every pass to its end: the position runs on
// through the file, and a play of two passes lasts twice the file.
TEST_F(SoundLib, MpegAndUnseekableStreamsPlayAllTheirPasses)
{
    int id = 0;
    for (const StreamFormat &c : HardToSeekFormats) {
        std::string path = WriteTone(dir, c.name, c.format, c.rate, 1);
        if (path.empty()) GTEST_SKIP() << "libsndfile cannot write " << c.name << " here";
        id++;
        ASSERT_EQ(0, Run("openmusic", [&](lua_State *L) {
            lua_pushnumber(L, id);
            lua_pushstring(L, path.c_str());
            return 2;
        })) << c.name;
        SoundAttributeWords w = {id, 0};
        ASSERT_EQ(1, SoundGetTagHandler(L, 15, &w));
        const long duration = (long)w.first;
        EXPECT_NEAR(1500, duration, 50) << c.name;

        auto started = std::chrono::steady_clock::now();
        ASSERT_EQ(0, Run("playmusic", [&](lua_State *L) {
            lua_pushnumber(L, id);
            lua_pushnumber(L, 2);
            return 2;
        })) << c.name;
        double playing = 1;
        intptr_t furthest = 0;
        while (playing == 1 && MillisSince(started) < 3 * duration + 2000) {
            OsSleepMillis(nullptr, 10);
            w = {id, 0};
            if (SoundGetTagHandler(L, 16, &w) == 1 && w.first > furthest) furthest = w.first;
            ASSERT_EQ(0, Run("ismusicplaying", [&](lua_State *L) {
                lua_pushnumber(L, id);
                return 1;
            }, &playing));
        }
        long played = MillisSince(started);
        EXPECT_EQ(0, playing) << c.name << " still playing after " << played << " ms";
        EXPECT_GE(played, 2 * duration - 300) << c.name;
        EXPECT_GE(furthest, duration - 200) << c.name;
    }
}

TEST_F(SoundLib, AttributeProvider)
{
    std::string mod = ModuleFile();
    std::string wav = dir.Write("w.wav", Wave(2, 22050, 16, Bytes(22050 * 4, 0)));   // 1 s
    for (std::pair<int, const char *> music : {std::pair<int, const char *>{1, mod.c_str()}, {2, wav.c_str()}}) {
        ASSERT_EQ(0, Run("openmusic", [&](lua_State *L) {
            lua_pushnumber(L, music.first);
            lua_pushstring(L, music.second);
            return 2;
        }));
    }
    ASSERT_EQ(0, Run("loadsample", [&](lua_State *L) {
        lua_pushnumber(L, 5);
        lua_pushstring(L, wav.c_str());
        return 2;
    }));
    struct Case {
        uint32_t tag;
        int id;
        intptr_t first;
        const char *name;   // tag 18
    } cases[] = {
        {8, 5, SND_STEREO16, nullptr}, {9, 5, 1000, nullptr}, {10, 5, 22050, nullptr},
        {15, 1, -1, nullptr}, {15, 2, 1000, nullptr}, {16, 2, 0, nullptr},
        {18, 1, 1, "Protracker"}, {18, 2, 2, "RIFF WAVE"}, {20, 1, -1, nullptr},
        {21, 1, 48000, nullptr}, {21, 2, 22050, nullptr}, {22, 1, SND_STEREO16, nullptr},
        {22, 2, SND_STEREO16, nullptr},
    };
    for (const Case &c : cases) {
        SoundAttributeWords w = {c.id, 0};
        ASSERT_EQ(1, SoundGetTagHandler(L, c.tag, &w)) << c.tag << " " << c.id;
        EXPECT_EQ(c.first, w.first) << c.tag << " " << c.id;
        if (c.name) EXPECT_STREQ(c.name, reinterpret_cast<const char *>(w.second));
    }
    SoundAttributeWords w = {9, 0};
    EXPECT_EQ(0, SoundGetTagHandler(L, 8, &w));
    EXPECT_EQ(9, GetErrorArgNumber());
    w = {5, 0};
    ASSERT_EQ(1, SoundGetTagHandler(L, 17, &w));     // the output is open, nothing plays
    EXPECT_EQ(-1, w.first);
    EXPECT_EQ(-1, w.second);
    EXPECT_EQ(0, SoundGetTagHandler(L, 11, &w));
}

}  // namespace
