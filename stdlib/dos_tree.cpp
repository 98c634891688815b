// Copying and deleting files and whole directory trees, with the script's callback that can
// skip a file, unprotect it or abort the command.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "stdlib/dos.h"

enum { TREE_ABORT = -1, TREE_SKIP = -2, COPY_BLOCK = 16384 };

// One running copy or delete.
struct TreeOp {
    lua_State *L;
    int callback;           // stack index of the callback, 0 for none
    int userdata;           // stack index of the user data
    const char *newName;    // CopyFile: the new name of a single file, or none
    char destRoot[KV_PATH_SIZE];   // CopyFile: real path of the destination directory
};

// The entries of a directory, read before any of them is changed.
struct Entry {
    char *name;
    int isDir;
};

static void FreeEntries(Entry *entries, int count)
{
    for (int i = 0; i < count; i++) MemFree(entries[i].name);
    MemFree(entries);
}

static int CompareEntries(const void *a, const void *b)
{
    return strcmp(((const Entry *)a)->name, ((const Entry *)b)->name);
}

// The entries in name order, so that a walk (and its callbacks) runs the same on every file
// system.
static int ListEntries(FileLock *lock, Entry **out, int *count)
{
    Entry *entries = nullptr;
    int n = 0, capacity = 0;
    const char *name;
    int isDir;
    while (ReadNextDirEntry(lock, &name, &isDir, nullptr)) {
        if (n == capacity) {
            capacity = capacity ? capacity * 2 : 32;
            Entry *grown = (Entry *)MemAlloc(sizeof(Entry) * (size_t)capacity, 0);
            if (!grown) {
                FreeEntries(entries, n);
                return 1000;
            }
            if (n) memcpy(grown, entries, sizeof(Entry) * (size_t)n);
            MemFree(entries);
            entries = grown;
        }
        size_t len = strlen(name) + 1;
        entries[n].name = (char *)MemAlloc(len, 0);
        if (!entries[n].name) {
            FreeEntries(entries, n);
            return 1000;
        }
        memcpy(entries[n].name, name, len);
        entries[n].isDir = isDir;
        n++;
    }
    if (n > 1) qsort(entries, (size_t)n, sizeof(Entry), CompareEntries);
    *out = entries;
    *count = n;
    return 0;
}

// Calls the callback with the table on the stack top: 0 and its answer, an error, or TREE_ABORT
// when the stop flag was set.
static int Ask(TreeOp *op, double *answer)
{
    lua_pushvalue(op->L, op->userdata);
    lua_pushstring(op->L, "userdata");
    lua_insert(op->L, -2);
    lua_settable(op->L, -3);
    int stop;
    int code = CallDosCallback(op->L, op->callback, answer, &stop);
    if (code) return code;
    return stop ? TREE_ABORT : 0;
}

// Asks whether the protected file at path may be unprotected (the callback's table: action and
// key = path). 0 once it is unprotected; TREE_SKIP when it is to be left alone (always so
// without a callback), TREE_ABORT, or an error.
static int AskUnprotect(TreeOp *op, int action, const char *key, const char *path)
{
    if (!op->callback) return TREE_SKIP;
    lua_newtable(op->L);
    SetFieldInt(op->L, "action", action);
    SetFieldString(op->L, key, path);
    double answer;
    int code = Ask(op, &answer);
    if (code) return code;
    if (answer == -1) return TREE_ABORT;
    if (answer == 0) return TREE_SKIP;
    OsSetProtection(path, DOS_FILEATTR_NORMAL);
    return 0;
}

// 1 when path equals root or lies inside it.
static int IsInside(const char *path, const char *root)
{
    size_t n = strlen(root);
    if (strncmp(path, root, n) != 0) return 0;
    return path[n] == 0 || path[n] == '/' || (n > 0 && root[n - 1] == '/');
}

// The real path of a directory (Latin-1), or 0.
static int RealDirPath(const char *path, char *out)
{
    FileLock *lock = LockFile(path, 0);
    if (!lock) return 0;
    int ok = GetLockPath(lock, out, KV_PATH_SIZE);
    UnLockFile(lock);
    return ok;
}

// Makes dir the current directory for a walk; returns the previous one for LeaveDir.
static char *EnterDir(const char *dir)
{
    char *native = OsNativePath(dir);
    char *previous = OsChangeDir(native ? native : dir);
    MemFree(native);
    return previous;
}

static void LeaveDir(char *previous)
{
    if (previous) MemFree(OsChangeDir(previous));
    MemFree(previous);
}

// ---------------------------------------------------------------------------------------------
// Deleting

// Deletes one file (or an emptied directory): 0, TREE_SKIP when it was left alone (protected),
// TREE_ABORT, an error raised by the callback, or 1143.
static int DeleteStep(TreeOp *op, const char *path, uint32_t flags)
{
    lua_State *L = op->L;
    double answer;
    int code;
    if (OsIsSymLink(path)) flags |= DOS_FILEATTR_WRITE_USR;   // removing a link never touches its target
    if (!(flags & DOS_FILEATTR_WRITE_USR)) {
        code = AskUnprotect(op, DOS_DELETEFILE_UNPROTECT, "file", path);
        if (code) return code;
    }
    if (op->callback) {
        lua_newtable(L);
        SetFieldInt(L, "action", DOS_DELETEFILE_STATUS);
        SetFieldString(L, "file", path);
        if ((code = Ask(op, &answer)) != 0) return code;
        if (answer == 1) return TREE_ABORT;
    }
    return OsDelete(path) ? 0 : 1143;
}

// Deletes the contents of a directory (the current directory while it runs); then, unless keep
// is set, the directory itself. Symbolic links are never followed: a link is removed like a file.
// 0 when everything is gone, TREE_SKIP when protected files were left behind (and with them the
// directories that hold them), else the first error or TREE_ABORT.
static int DeleteTree(TreeOp *op, const char *dir, int keep)
{
    FileLock *lock = LockFile(dir, 0);
    if (!lock) return 1143;   // a directory that cannot be read cannot be emptied
    OsFileInfo dirInfo;
    ExamineLock(lock, &dirInfo);
    Entry *entries = nullptr;
    int count = 0;
    int code = ListEntries(lock, &entries, &count);
    UnLockFile(lock);
    if (code) return code;
    char *path = (char *)MemAlloc(KV_PATH_SIZE, 0);
    if (!path) {
        FreeEntries(entries, count);
        return 1000;
    }
    int leftBehind = 0;
    char *previous = EnterDir(dir);
    for (int i = 0; i < count && !code; i++) {
        snprintf(path, KV_PATH_SIZE, "%s", dir);
        if (!AddPart(path, entries[i].name, KV_PATH_SIZE)) {
            code = 1143;
            break;
        }
        if (entries[i].isDir && !OsIsSymLink(path)) {
            code = DeleteTree(op, path, 0);
        } else {
            FileLock *file = LockFile(path, 0);
            OsFileInfo info;
            info.flags = DOS_FILEATTR_WRITE_USR;   // a dangling link cannot be locked
            if (file) ExamineLock(file, &info);
            UnLockFile(file);
            code = DeleteStep(op, path, info.flags);
        }
        if (code == TREE_SKIP) {
            leftBehind = 1;
            code = 0;
        }
    }
    LeaveDir(previous);
    MemFree(path);
    FreeEntries(entries, count);
    if (!code && !keep) {
        // A directory that still holds the files left behind cannot go; any other failure to
        // remove it is reported.
        code = DeleteStep(op, dir, dirInfo.flags);
        if (code == 1143 && leftBehind) code = TREE_SKIP;
    }
    if (!code && leftBehind) code = TREE_SKIP;
    return code;
}

// DeleteFile(path [, callback [, userdata]])
int DosDeleteFile(lua_State *L)
{
    CheckArgs(L, 1, 3);
    char buffer[KV_PATH_SIZE];
    const char *path = DosPathArg(L, 1, 0, buffer);
    if (lua_gettop(L) >= 2) luaL_checkfunction(L, 2);
    if (!path || !*path || IsVirtualName(path)) return 1055;
    TreeOp op;
    op.L = L;
    op.callback = lua_gettop(L) >= 2 ? 2 : 0;
    op.userdata = 3;
    op.newName = nullptr;
    if (lua_gettop(L) < 3) lua_settop(L, 3);

    size_t len = strlen(path);
    int keep = path[len - 1] == '/' || path[len - 1] == '\\';
    int code;
    if (OsIsSymLink(path)) {
        // A link is removed itself; its target's contents are never walked.
        code = keep ? 0 : DeleteStep(&op, path, DOS_FILEATTR_WRITE_USR);
    } else {
        FileLock *lock = LockFile(path, 0);
        // Nothing to delete; but a name that is there and cannot be examined is not deleted.
        if (!lock) return OsNameExists(path) ? 1143 : 0;
        OsFileInfo info;
        ExamineLock(lock, &info);
        char full[KV_PATH_SIZE];
        int havePath = GetLockPath(lock, full, sizeof(full));
        UnLockFile(lock);
        if (!havePath) return 1143;
        if (info.directory) code = DeleteTree(&op, full, keep);
        else code = DeleteStep(&op, full, info.flags);
    }
    return code == TREE_ABORT || code == TREE_SKIP ? 0 : code;
}

// ---------------------------------------------------------------------------------------------
// Copying

// Copies one file to dest. The copy goes to a new file that takes the place of an existing
// dest only once it is whole: on an error or an abort the old dest stays as it was and no
// partial copy is left.
static int CopyData(TreeOp *op, const char *source, const char *dest, const OsFileInfo *info)
{
    lua_State *L = op->L;
    unsigned char *block = (unsigned char *)MemAlloc(COPY_BLOCK, 0);
    if (!block) return 1000;
    FileHandle *in = FOpen(source, FMODE_READ);
    if (!in) {
        MemFree(block);
        SetErrorString(source);
        return 1045;
    }
    FileHandle *out = FOpen(dest, FMODE_REPLACE);
    if (!out) {
        FClose(in);
        MemFree(block);
        SetErrorString(dest);
        return 1052;
    }
    int code = 0;
    double copied = 0;
    size_t got;
    while ((got = FReadBlock(in, block, COPY_BLOCK)) > 0) {
        if (FWriteBlock(out, block, got) != got) {
            code = 1005;
            break;
        }
        copied += (double)got;
        if (op->callback) {
            lua_newtable(L);
            SetFieldInt(L, "action", DOS_COPYFILE_STATUS);
            SetFieldString(L, "source", source);
            SetFieldString(L, "destination", dest);
            SetFieldDouble(L, "copied", copied);
            SetFieldDouble(L, "filesize", (double)info->size);
            double answer;
            code = Ask(op, &answer);
            if (!code && answer == 1) code = TREE_ABORT;
            if (code) break;
        }
    }
    if (!code && copied < (double)info->size) code = 1009;
    FClose(in);
    MemFree(block);
    if (code) {
        FDiscard(out);
        return code;
    }
    if (!FClose(out)) return 1005;
    int64_t times[2] = {info->times[0], info->times[1]};
    OsSetFileDate(dest, times);
    OsSetProtection(dest, info->flags);
    return 0;
}

// The file step: name clashes and protection through the callback, then the copy.
static int CopyStep(TreeOp *op, const char *source, const char *destDir, const char *name,
                    const OsFileInfo *info)
{
    lua_State *L = op->L;
    char dest[KV_PATH_SIZE];
    snprintf(dest, sizeof(dest), "%s", destDir);
    if (!AddPart(dest, name, sizeof(dest))) {
        SetErrorString(name);
        return 1052;
    }
    FileLock *lock = LockFile(dest, 0);
    if (lock) {
        OsFileInfo destInfo;
        ExamineLock(lock, &destInfo);
        UnLockFile(lock);
        // Writing a file onto itself, under whatever name (a hard link, a bind mount), would
        // destroy it before it is read.
        int same = !IsVirtualName(source) && OsSameFile(source, dest);
        if (same || destInfo.directory) {
            SetErrorString(dest);
            return 1052;
        }
        double answer;
        int code;
        if (op->callback) {
            lua_newtable(L);
            SetFieldInt(L, "action", DOS_COPYFILE_OVERWRITE);
            SetFieldString(L, "source", source);
            SetFieldString(L, "destination", dest);
            if ((code = Ask(op, &answer)) != 0) return code;
            if (answer == -1) return TREE_ABORT;
            if (answer == 0) return 0;
        }
        if (!(destInfo.flags & DOS_FILEATTR_WRITE_USR)) {
            code = AskUnprotect(op, DOS_COPYFILE_UNPROTECT, "destination", dest);
            if (code) return code == TREE_SKIP ? 0 : code;
        }
    }
    return CopyData(op, source, dest, info);
}

// Copies the contents of the directory source (a real path, the current directory while it runs)
// into destDir.
static int CopyTree(TreeOp *op, const char *source, const char *destDir)
{
    FileLock *lock;
    int code = LockExisting(source, &lock);
    if (code) return code;
    OsFileInfo dirInfo;
    ExamineLock(lock, &dirInfo);
    Entry *entries = nullptr;
    int count = 0;
    code = ListEntries(lock, &entries, &count);
    UnLockFile(lock);
    if (code) return code;
    char *path = (char *)MemAlloc(3 * KV_PATH_SIZE, 0);
    if (!path) {
        FreeEntries(entries, count);
        return 1000;
    }
    char *sub = path + KV_PATH_SIZE;
    char *real = sub + KV_PATH_SIZE;
    char *previous = EnterDir(source);
    for (int i = 0; i < count && !code; i++) {
        snprintf(path, KV_PATH_SIZE, "%s", source);
        if (!AddPart(path, entries[i].name, KV_PATH_SIZE)) {
            SetErrorString(entries[i].name);
            code = 1045;
            break;
        }
        if (entries[i].isDir) {
            if (!RealDirPath(path, real)) {
                SetErrorString(path);
                code = 1286;
                break;
            }
            // A linked directory that leads back up the walk or into the copy is not entered.
            if (IsInside(source, real) || IsInside(real, op->destRoot)) continue;
            snprintf(sub, KV_PATH_SIZE, "%s", destDir);
            if (!AddPart(sub, entries[i].name, KV_PATH_SIZE)) {
                SetErrorString(entries[i].name);
                code = 1084;
                break;
            }
            code = MakeDirectoryPath(sub);
            if (!code) code = CopyTree(op, real, sub);
        } else {
            FileLock *file = LockFile(path, 0);
            if (!file) {
                if (OsIsSymLink(path)) continue;   // a link whose target is gone
                SetErrorString(path);
                code = 1045;
                break;
            }
            OsFileInfo info;
            ExamineLock(file, &info);
            UnLockFile(file);
            code = CopyStep(op, path, destDir, entries[i].name, &info);
        }
    }
    LeaveDir(previous);
    MemFree(path);
    FreeEntries(entries, count);
    if (!code) {
        int64_t times[2] = {dirInfo.times[0], dirInfo.times[1]};
        OsSetFileDate(destDir, times);
        OsSetProtection(destDir, dirInfo.flags);
    }
    return code;
}

// The real path a destination will have: the deepest existing directory of the path made real,
// with the missing rest appended. 0 when no part of it exists or it does not fit.
static int FutureRealPath(const char *path, char *out)
{
    char head[KV_PATH_SIZE];
    snprintf(head, sizeof(head), "%s", path);
    size_t len = strlen(head);
    while (len > 1 && (head[len - 1] == '/' || head[len - 1] == '\\')) head[--len] = 0;
    size_t cut = len;
    for (;;) {
        head[cut] = 0;
        if (RealDirPath(cut ? head : ".", out)) break;
        while (cut > 0 && head[cut - 1] != '/' && head[cut - 1] != '\\') cut--;
        if (cut == 0) {
            if (!RealDirPath(".", out)) return 0;
            break;
        }
        while (cut > 1 && (head[cut - 1] == '/' || head[cut - 1] == '\\')) cut--;
        if (cut == 1 && head[0] == '/') {
            strcpy(out, "/");
            break;
        }
    }
    const char *rest = path + cut;
    while (*rest == '/' || *rest == '\\') rest++;
    if (*rest && !AddPart(out, rest, KV_PATH_SIZE)) return 0;
    return 1;
}

// CopyFile(source, destination directory [, new name [, callback [, userdata]]])
int DosCopyFile(lua_State *L)
{
    CheckArgs(L, 2, 5);
    char sourceBuffer[KV_PATH_SIZE], destBuffer[KV_PATH_SIZE];
    const char *source = DosPathArg(L, 1, 1, sourceBuffer);
    const char *dest = DosPathArg(L, 2, 0, destBuffer);
    const char *newName = lua_gettop(L) >= 3 && !lua_isnil(L, 3) ? luaL_checkstring(L, 3) : nullptr;
    if (newName && !*newName) newName = nullptr;
    if (lua_gettop(L) >= 4) luaL_checkfunction(L, 4);
    if (!source || !dest || !*source) return 1055;
    TreeOp op;
    op.L = L;
    op.callback = lua_gettop(L) >= 4 ? 4 : 0;
    op.userdata = 5;
    op.newName = newName;
    if (lua_gettop(L) < 5) lua_settop(L, 5);

    FileLock *lock;
    int code = LockExisting(source, &lock);
    if (code) return code;
    OsFileInfo info;
    ExamineLock(lock, &info);
    char sourceFull[KV_PATH_SIZE];
    int havePath = GetLockPath(lock, sourceFull, sizeof(sourceFull));
    UnLockFile(lock);
    if (!havePath) {
        SetErrorString(source);
        return 1286;
    }
    if (info.directory && newName) return 1055;

    // A directory copied into its own subtree would copy without end.
    char future[KV_PATH_SIZE];
    if (info.directory && *dest && (!FutureRealPath(dest, future) || IsInside(future, sourceFull)))
        return 1055;

    if (*dest) {
        FileLock *d = LockFile(dest, 0);
        if (d) UnLockFile(d);
        else if ((code = MakeDirectoryPath(dest)) != 0) return code;
    }
    if (!RealDirPath(*dest ? dest : "", op.destRoot)) {
        SetErrorString(dest);
        return 1286;
    }
    if (info.directory) {
        code = CopyTree(&op, sourceFull, op.destRoot);
    } else {
        // A linked file keeps its own name; any other the file part of its path.
        const char *name = newName ? GetFilePart(newName) : GetFilePart(source);
        char own[KV_PATH_SIZE];
        snprintf(own, sizeof(own), "%s", name);
        code = CopyStep(&op, IsVirtualName(source) ? source : sourceFull, op.destRoot, own, &info);
    }
    return code == TREE_ABORT ? 0 : code;
}
