// Fake helper programs for the requester and clipboard tests: a temporary directory that is the
// whole PATH while a FakeHelpers lives, holding shell scripts named like the real helpers.
// Each fake may record its arguments in NAME.args (NUL-separated) beside itself.
#pragma once
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/os.h"

struct FakeHelpers {
    std::string dir;
    std::string oldPath;

    FakeHelpers()
    {
        char tmpl[] = "/tmp/kvfakes.XXXXXX";
        dir = mkdtemp(tmpl) ? tmpl : "";
        const char *path = getenv("PATH");
        oldPath = path ? path : "";
        setenv("PATH", dir.c_str(), 1);
        OsSetHelperTestMode(1);
    }
    ~FakeHelpers()
    {
        OsSetHelperTestMode(0);
        setenv("PATH", oldPath.c_str(), 1);
        std::string cmd = "/bin/rm -rf '" + dir + "'";
        if (system(cmd.c_str()) != 0) {
        }
    }
    // A fake helper: its arguments are recorded, then `body` runs under /bin/sh (PATH holds
    // only the fakes: other programs are named by their full path).
    void Add(const std::string &name, const std::string &body)
    {
        std::string path = dir + "/" + name;
        std::ofstream(path) << "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$0.args\"\n" << body << "\n";
        chmod(path.c_str(), 0755);
    }
    std::string File(const std::string &name) const
    {
        std::ifstream in(dir + "/" + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void Write(const std::string &name, const std::string &text) const
    {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
    }
    // The arguments the fake recorded (without its own name).
    std::vector<std::string> Args(const std::string &name) const
    {
        std::vector<std::string> args;
        std::string text = File(name + ".args"), arg;
        for (char c : text) {
            if (c) {
                arg += c;
            } else {
                args.push_back(arg);
                arg.clear();
            }
        }
        return args;
    }
};
