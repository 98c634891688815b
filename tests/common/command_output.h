// Runs a shell command line and collects its standard output, for the tests that start the
// player or a tool as a program of its own.
#pragma once
#include <sys/wait.h>

#include <cstdio>
#include <string>

// Appends what the command printed to *out; returns its exit status, or -1 when it could not be
// started or did not exit by itself.
inline int RunCommandOutput(const std::string &command, std::string *out)
{
    FILE *p = popen(command.c_str(), "r");
    if (!p) return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out->append(buf, n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
