// The registration table of the command libraries: its order, opening in that order, and
// closing when nothing (or everything) was opened.
#include <gtest/gtest.h>

#include <string>

#include "runtime/handler_support.h"
#include "runtime/libraries.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"

namespace {

const char *const Order[] = {"string", "math", "graphics", "draw", "moveobject", "dos",
                             "event", "system", "layers", "text", "anim", "display",
                             "sound", "brush", "bgpic", "transitionfx", "sprite", "memblock"};

TEST(Libraries, TableHoldsTheEighteenLibrariesInOrder)
{
    ASSERT_EQ(LibraryCount, 18);
    for (int i = 0; i < LibraryCount; i++) {
        EXPECT_STREQ(LibraryTable[i].name, Order[i]) << i;
        EXPECT_NE(LibraryTable[i].open, nullptr) << i;
    }
    EXPECT_EQ(LibraryTable[LibraryCount].name, nullptr);
    EXPECT_EQ(LibraryTable[LibraryCount].open, nullptr);
}

// Position of a library in the table, or -1.
int TablePosition(const std::string &name)
{
    for (int i = 0; i < LibraryCount; i++)
        if (name == Order[i]) return i;
    return -1;
}

TEST(Libraries, OpenInTableOrderAndCloseSafely)
{
    lua_State *L = lua_open();
    ASSERT_NE(L, nullptr);
    ASSERT_EQ(InitRuntime(), 0);
    // Every close function is safe while its library never opened.
    CloseAllLibraries(L);

    ASSERT_EQ(OpenAllLibraries(L), 0);
    EXPECT_EQ(lua_gettop(L), 0);    // the stack is emptied after each open function
    // The libraries built so far registered their command tables in the table's order.
    int last = -1, count = 0;
    for (CommandTableNode *n = GetCommandTables(); n; n = n->next) {
        int pos = TablePosition(n->libName);
        EXPECT_GE(pos, 0) << n->libName;
        EXPECT_GE(pos, last) << n->libName;
        last = pos;
        count++;
    }
    EXPECT_GE(count, 1);

    CloseAllLibraries(L);
    FreeRuntime();
    lua_close(L);
}

}  // namespace
