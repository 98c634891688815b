// The real player with a music stream: a script that starts and stops a FLAC music over and
// over still ends through the orderly shutdown when it is sent SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/sound/sound_fixture.h"

namespace {

const std::string Player = std::string(KV_BINARY_DIR) + "/KestroviaPlayer";
const std::string Kvasm = std::string(KV_BINARY_DIR) + "/kvasm";

std::string ReadText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Waits up to ms for the child to end; its wait status, or -1 while it still runs.
int WaitChild(pid_t child, int ms)
{
    for (int waited = 0; waited <= ms; waited += 10) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) return status;
        usleep(10000);
    }
    return -1;
}

TEST(PlayerSignal, SigtermEndsAPlayerThatKeepsStoppingAStream)
{
    if (access(Player.c_str(), X_OK) != 0 || access(Kvasm.c_str(), X_OK) != 0)
        GTEST_SKIP() << "no player or kvasm built";
    ScratchDir dir;
    SF_INFO info = {};
    info.samplerate = 22050;
    info.channels = 2;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE *f = sf_open((dir.path + "/tone.flac").c_str(), SFM_WRITE, &info);
    ASSERT_NE(nullptr, f) << "libsndfile cannot write FLAC here";
    std::vector<short> pcm(44100 * 2);
    for (size_t i = 0; i < pcm.size(); i++) pcm[i] = (short)(std::sin(i * 0.03) * 12000);
    sf_writef_short(f, pcm.data(), 44100);
    sf_close(f);
    std::ofstream(dir.path + "/s.kvs") << "  cmd OpenMusic(1, \"tone.flac\")\n"
                                          "  cmd DebugPrint(\"playing\")\n"
                                          "loop:\n"
                                          "  cmd PlayMusic(1, 0)\n"
                                          "  cmd Wait(20, #MILLISECONDS)\n"
                                          "  cmd StopMusic(1)\n"
                                          "  jmp loop\n"
                                          "  return r0\n";
    std::string assemble = "cd '" + dir.path + "' && '" + Kvasm + "' -o s.kva s.kvs >/dev/null 2>&1";
    ASSERT_EQ(0, system(assemble.c_str()));

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(dir.path.c_str()) != 0 || !freopen("out.txt", "w", stdout)) _exit(127);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        execl(Player.c_str(), Player.c_str(), "s.kva", "-debugdevice", "1", "-quiet", (char *)nullptr);
        _exit(127);
    }
    usleep(1000000);                    // started, and a good many plays and stops
    ASSERT_EQ(-1, WaitChild(child, 0)) << "the player ended by itself";
    kill(child, SIGTERM);
    int status = WaitChild(child, 5000);
    if (status == -1) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        FAIL() << "SIGTERM did not end the player";
    }
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_EQ("playing\n", ReadText(dir.path + "/out.txt"));
}

}  // namespace
