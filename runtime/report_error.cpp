// ReportError's raising half: stores the code and, with exit-on-error on, raises it.
#include "runtime/errors.h"
#include "runtime/settings.h"
#include "runtime/vm/calls.h"
#include "runtime/vm/interpwords.h"

int ReportError(lua_State *L, int code)
{
  LastErrorCode = code;
  if (RuntimeSettings.callbackNesting == 0) {
    if (RuntimeSettings.exitOnError) {
      UpdateErrorContext(L);
      StopFlag = 1;
      luaD_throw(L, code);
    }
    ResetErrorContext();
    return 0;
  }
  // inside a callback: the callback's protected call receives the code
  if (RuntimeSettings.exitOnError) {
    UpdateErrorContext(L);
    luaD_throw(L, code);
  }
  return 0;
}
