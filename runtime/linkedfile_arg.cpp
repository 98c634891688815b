// ResolveLinkedFile on a command argument (kept apart so that the file layer links without the
// interpreter).
#include "runtime/filelayer.h"
#include "runtime/vm/auxlib.h"

const char *ResolveLinkedFileArg(lua_State *L, int index, int fontFlag, int *linked)
{
    const char *name = luaL_checklstring(L, index, nullptr);
    int fontFound = 0;
    const char *resolved = ResolveLinkedFile(L, name, fontFlag, &fontFound);
    if (linked) *linked = resolved != name;
    return resolved;
}
