// The demo as a newcomer sees it: KestroviaDemo runs headless with -previews and saves the
// display at the start and the end of every scene (and the turning text before and after it
// turns) under build/previews/demo/, where they can be looked at. The test checks that the tour
// it prints is the one of tests/demo/demo.out, that every scene starts on its own picture with
// nothing of the scene before left on it, and that the turning text leaves nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/os.h"
#include "runtime/memory.h"
#include "tests/common/command_output.h"

namespace {

namespace fs = std::filesystem;

const std::string kDemo = std::string(KV_BINARY_DIR) + "/KestroviaDemo";
const std::string kPreviews = std::string(KV_BINARY_DIR) + "/previews/demo";

// The pictures the demo saves, in order: every scene's start (with its picture alone beside it)
// and end, and in the text scene the titles before the text turns and the text after it turned.
const char *const kShots[] = {
    "bgpics-start",   "bgpics",   "layers-start",   "layers",      "shapes-start", "shapes",
    "graphics-start", "graphics", "text-start",     "text-titles", "text-turned",  "text",
    "pictures-start", "pictures", "sprites-start",  "sprites",     "moves-start",  "moves",
    "effects-start",  "effects",  "anims-start",    "anims",       "events-start", "events",
};

// Lines of the tour whose values change from run to run: only their beginning is compared.
const char *const kVaryingLines[] = {"  a throw of a die", "  GetDate(1)", "  GetWeekday()",
                                     "  Wait(25) took about"};

struct Picture {
    int32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, rows top to bottom
};

// The pixels that differ between two pictures of one size: how many, and their bounding box.
struct Difference {
    long count = 0;
    int32_t left = 0, top = 0, right = -1, bottom = -1;
    int32_t Height() const { return bottom - top + 1; }
};

// The demo, run once for all the checks below (its events scene waits 8 seconds for a click).
struct DemoRun {
    int status = -1;
    std::string tour;
};

std::string ReadText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Picture LoadPicture(const std::string &path)
{
    Picture p;
    std::string bytes = ReadText(path);
    uint32_t *pixels = nullptr;
    if (bytes.empty() || OsLoadImage(bytes.data(), bytes.size(), &p.width, &p.height, &pixels, nullptr, nullptr)) {
        ADD_FAILURE() << "cannot read the picture " << path;
        return Picture();
    }
    p.pixels.assign(pixels, pixels + (size_t)p.width * (size_t)p.height);
    MemFree(pixels);
    return p;
}

Difference Compare(const Picture &a, const Picture &b)
{
    Difference d;
    if (a.width != b.width || a.height != b.height) {
        ADD_FAILURE() << "pictures of different sizes";
        return d;
    }
    for (int32_t y = 0; y < a.height; y++) {
        for (int32_t x = 0; x < a.width; x++) {
            size_t i = (size_t)y * (size_t)a.width + (size_t)x;
            if (a.pixels[i] == b.pixels[i]) continue;
            if (!d.count++) {
                d.left = d.right = x;
                d.top = d.bottom = y;
            }
            d.left = std::min(d.left, x);
            d.right = std::max(d.right, x);
            d.bottom = y;
        }
    }
    return d;
}

std::string Describe(const Difference &d)
{
    std::ostringstream s;
    s << d.count << " pixels differ, within (" << d.left << ", " << d.top << ") - (" << d.right << ", " << d.bottom
      << ")";
    return s.str();
}

std::string MaskVaryingLines(const std::string &text)
{
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line)) {
        for (const char *prefix : kVaryingLines)
            if (line.rfind(prefix, 0) == 0) line = prefix;
        out += line + "\n";
    }
    return out;
}

const DemoRun &RunDemo()
{
    static DemoRun run;
    static bool done = false;
    if (done) return run;
    done = true;
    std::error_code ec;
    fs::remove_all(kPreviews, ec);
    fs::create_directories(kPreviews, ec);
    // Headless, and never longer than a few minutes, whatever happens to it.
    std::string command = "SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 300 '" + kDemo + "' -previews '" +
                          kPreviews + "' 2>/dev/null";
    run.status = RunCommandOutput(command, &run.tour);
    return run;
}

std::string ShotPath(int index, const std::string &suffix)
{
    char number[16];
    snprintf(number, sizeof number, "%02d-", index + 1);
    return kPreviews + "/" + number + kShots[index] + suffix + ".png";
}

class Demo : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(kDemo)) << kDemo << " is not built";
        ASSERT_EQ(RunDemo().status, 0) << "the demo did not end cleanly; it printed:\n" << RunDemo().tour;
    }
};

TEST_F(Demo, PrintsItsTour)
{
    EXPECT_EQ(MaskVaryingLines(RunDemo().tour),
              MaskVaryingLines(ReadText(std::string(KV_SOURCE_DIR) + "/tests/demo/demo.out")));
}

TEST_F(Demo, SavesEveryScene)
{
    size_t files = 0;
    for (const auto &entry : fs::directory_iterator(kPreviews)) files += entry.is_regular_file();
    size_t starts = 0;
    for (size_t i = 0; i < std::size(kShots); i++) {
        Picture shot = LoadPicture(ShotPath((int)i, ""));
        EXPECT_EQ(shot.width, 640) << kShots[i];
        EXPECT_EQ(shot.height, 480) << kShots[i];
        starts += std::string(kShots[i]).find("-start") != std::string::npos;
    }
    EXPECT_EQ(files, std::size(kShots) + starts) << "the demo saved other pictures than these";
}

// Each scene starts on a picture of its own, with nothing of the scene before on it, and then
// draws on it.
TEST_F(Demo, EverySceneStartsOnItsOwnCleanPicture)
{
    for (size_t i = 0; i < std::size(kShots); i++) {
        std::string name = kShots[i];
        size_t cut = name.find("-start");
        if (cut == std::string::npos) continue;
        Picture start = LoadPicture(ShotPath((int)i, "")), picture = LoadPicture(ShotPath((int)i, "-picture"));
        Difference left = Compare(start, picture);
        EXPECT_EQ(left.count, 0) << name << " is not its clean picture: " << Describe(left);
        // The scene's last picture: the shot of its own name after its start.
        size_t end = i + 1;
        while (end < std::size(kShots) && kShots[end] != name.substr(0, cut)) end++;
        ASSERT_LT(end, std::size(kShots)) << name;
        EXPECT_GT(Compare(start, LoadPicture(ShotPath((int)end, ""))).count, 0) << name << ": the scene drew nothing";
    }
}

// Between the titles and the end of the turn only the text at its last angle (a whole turn,
// level again) is new: one line of the 28-pixel font, no bits of it at other angles around it.
TEST_F(Demo, TheTurningTextLeavesNothingBehind)
{
    int titles = 9, turned = 10;
    ASSERT_STREQ(kShots[titles], "text-titles");
    ASSERT_STREQ(kShots[turned], "text-turned");
    Difference text = Compare(LoadPicture(ShotPath(titles, "")), LoadPicture(ShotPath(turned, "")));
    EXPECT_GT(text.count, 0) << "no turning text";
    EXPECT_LE(text.Height(), 40) << Describe(text);
}

}  // namespace
