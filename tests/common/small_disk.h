// Small file systems for tests of what happens when a disk is full or read-only. The test
// process moves into a mount namespace of its own the first time, so every mount vanishes with
// it; where that cannot be done (not root) the calls fail and the test skips itself.
#pragma once
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

// 1 once this process has a private mount namespace.
inline int EnterPrivateMounts()
{
    static int state = -1;
    if (state < 0) {
        state = geteuid() == 0 && unshare(CLONE_NEWNS) == 0 &&
                mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }
    return state;
}

// Mounts a tmpfs of `kilobytes` at dir (created if missing). 1 on success.
inline int MountSmallDisk(const std::string &dir, int kilobytes)
{
    if (!EnterPrivateMounts()) return 0;
    mkdir(dir.c_str(), 0755);
    std::string options = "size=" + std::to_string(kilobytes) + "k,mode=0755";
    return mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

// Fills the file system of dir until at most `leave` bytes (in whole 4096-byte pages) are free,
// with the file dir/.filler. 1 on success.
inline int FillDisk(const std::string &dir, long leave)
{
    std::string filler = dir + "/.filler";
    FILE *f = fopen(filler.c_str(), "wb");
    if (!f) return 0;
    static char block[4096];
    long written = 0;
    while (fwrite(block, 1, sizeof block, f) == sizeof block) written += (long)sizeof block;
    fclose(f);
    long pages = leave / 4096;
    long size = written - pages * 4096;
    return truncate(filler.c_str(), size > 0 ? size : 0) == 0;
}

// Makes the file system mounted at dir read-only. 1 on success.
inline int MakeDiskReadOnly(const std::string &dir)
{
    return mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}
