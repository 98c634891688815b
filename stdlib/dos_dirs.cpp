// Directory listings (ReadDirectory) and directory objects (OpenDirectory, NextDirectoryEntry,
// CloseDirectory).
#include <cstdlib>
#include <cstring>

#include "runtime/errors.h"
#include "runtime/memory.h"
#include "stdlib/dos.h"

// A growing array of names (MemAlloc).
struct NameList {
    char **names;
    int count;
    int capacity;
};

static int AddName(NameList *list, const char *name)
{
    if (list->count == list->capacity) {
        int capacity = list->capacity ? list->capacity * 2 : 64;
        char **grown = (char **)MemAlloc(sizeof(char *) * (size_t)capacity, 0);
        if (!grown) return 1000;
        if (list->count) memcpy(grown, list->names, sizeof(char *) * (size_t)list->count);
        MemFree(list->names);
        list->names = grown;
        list->capacity = capacity;
    }
    size_t n = strlen(name) + 1;
    char *copy = (char *)MemAlloc(n, 0);
    if (!copy) return 1000;
    memcpy(copy, name, n);
    list->names[list->count++] = copy;
    return 0;
}

static void FreeNames(NameList *list)
{
    for (int i = 0; i < list->count; i++) MemFree(list->names[i]);
    MemFree(list->names);
}

// The script's less-than on strings is a byte comparison.
static int CompareNames(const void *a, const void *b)
{
    return strcmp(*(char *const *)a, *(char *const *)b);
}

// Stores the names at keys 0 .. n-1 of the table at index t and "" at key n.
static void StoreNames(lua_State *L, int t, NameList *list, int sort)
{
    if (sort && list->count > 1) qsort(list->names, (size_t)list->count, sizeof(char *), CompareNames);
    for (int i = 0; i < list->count; i++) {
        lua_pushstring(L, list->names[i]);
        lua_rawseti(L, t, i);
    }
    lua_pushstring(L, "");
    lua_rawseti(L, t, list->count);
}

// ReadDirectory(path, files, directories [, sort = 1]): the counts of files and directories.
int DosReadDirectory(lua_State *L)
{
    CheckArgs(L, 3, 4);
    char buffer[KV_PATH_SIZE];
    const char *path = DosPathArg(L, 1, 0, buffer);
    luaL_checktable(L, 2);
    luaL_checktable(L, 3);
    int sort = luaL_optinteger(L, 4, 1);
    if (!path) return 1055;
    FileLock *lock;
    int code = LockExisting(path, &lock);
    if (code) return code;
    int isDir;
    code = CheckDirLock(lock, &isDir);
    NameList files = {nullptr, 0, 0}, dirs = {nullptr, 0, 0};
    const char *name;
    while (!code && ReadNextDirEntry(lock, &name, &isDir, nullptr))
        code = AddName(isDir ? &dirs : &files, name);
    UnLockFile(lock);
    if (!code) {
        StoreNames(L, 2, &files, sort);
        StoreNames(L, 3, &dirs, sort);
        lua_pushnumber(L, files.count);
        lua_pushnumber(L, dirs.count);
    }
    FreeNames(&files);
    FreeNames(&dirs);
    return code ? code : 2;
}

// ---------------------------------------------------------------------------------------------
// Directory objects

static int FindDir(ObjectId id, DirNode **out)
{
    for (DirNode *d = DosDirs; d; d = d->next) {
        if (ObjectIdMatches(d->id, id)) {
            *out = d;
            return 0;
        }
    }
    if (id.handle) return 1041;
    SetErrorNumber((long)id.number);
    return 1318;
}

void FreeDirNode(DirNode *d)
{
    for (DirNode **p = &DosDirs; *p; p = &(*p)->next) {
        if (*p == d) {
            *p = d->next;
            break;
        }
    }
    UnLockFile(d->lock);
    MemFree(d);
}

// OpenDirectory(id or Nil, path)
int DosOpenDirectory(lua_State *L)
{
    CheckArgs(L, 2, 2);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 1, &isNil);
    char buffer[KV_PATH_SIZE];
    const char *path = DosPathArg(L, 2, 0, buffer);
    if (!path) return 1055;
    if (!isNil) {
        ObjectId id = {number, nullptr};
        DirNode *old;
        if (FindDir(id, &old) == 0) FreeDirNode(old);
    }
    FileLock *lock;
    int code = LockExisting(path, &lock);
    if (code) return code;
    int isDir;
    code = CheckDirLock(lock, &isDir);
    if (code) {
        UnLockFile(lock);
        SetErrorString(path);
        return code;
    }
    DirNode *d = (DirNode *)MemAlloc(sizeof(DirNode), 1);
    if (!d) {
        UnLockFile(lock);
        return 1000;
    }
    d->id.number = isNil ? 0 : number;
    d->id.handle = isNil ? d : nullptr;
    d->lock = lock;
    DirNode **p = &DosDirs;
    while (*p) p = &(*p)->next;
    *p = d;
    if (isNil) {
        lua_pushlightuserdata(L, d);
        return 1;
    }
    return 0;
}

int DosCloseDirectory(lua_State *L)
{
    CheckArgs(L, 1, 1);
    DirNode *d;
    int code = FindDir(GetObjectIdArg(L, 1), &d);
    if (code) return code;
    FreeDirNode(d);
    return 0;
}

// NextDirectoryEntry(directory): the next entry's attribute table, nothing at the end.
int DosNextDirectoryEntry(lua_State *L)
{
    CheckArgs(L, 1, 1);
    DirNode *d;
    int code = FindDir(GetObjectIdArg(L, 1), &d);
    if (code) return code;
    if (d->endReached) return 0;
    const char *name;
    int isDir;
    OsFileInfo info;
    if (!ReadNextDirEntry(d->lock, &name, &isDir, &info)) {
        d->endReached = 1;
        return 0;
    }
    PushAttributeTable(L, "name", name, &info);
    return 1;
}
