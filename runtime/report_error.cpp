// ReportError's raising half: stores the code and, with exit-on-error on, raises it.
#include "runtime/errors.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/calls.h"
#include "runtime/vm/interpwords.h"

// Fills the error context. A code returned by a command called from a CALL is reported while
// the command's own record is still the running one, and the line is that of its caller
// (level 1). A code returned by a native function that the interpreter called for an
// instruction of its own (a TFORLOOP generator, a tag method) is reported after that record
// is gone: the running record is the script frame, and its current instruction is the place.
static void UpdateReportContext(lua_State *L)
{
  lua_Debug ar;
  if (L && ErrorLine == -1 && lua_getstack(L, 0, &ar) && lua_getinfo(L, "l", &ar))
    ErrorLine = ar.currentline;  // stays -1 for a native record
  UpdateErrorContext(L);
}

int ReportError(lua_State *L, int code)
{
  LastErrorCode = code;
  if (RuntimeSettings.callbackNesting == 0) {
    if (RuntimeSettings.exitOnError) {
      UpdateReportContext(L);
      StopFlag = 1;
      luaD_throw(L, code);
    }
    ResetErrorContext();
    return 0;
  }
  // inside a callback: the callback's protected call receives the code
  if (RuntimeSettings.exitOnError) {
    UpdateReportContext(L);
    luaD_throw(L, code);
  }
  return 0;
}
