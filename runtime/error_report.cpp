// The place of an error (command, source file, line) and the final error report: the error
// context filled from the interpreter's call stack, GetErrorText and the error requester.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "platform/os.h"
#include "runtime/applet.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/handler_support.h"
#include "runtime/settings.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "runtime/vm/interpwords.h"

enum { ERROR_COMMAND_SIZE = 128, ERROR_SOURCE_SIZE = 1024 };

static const char NO_COMMAND[] = "----";
static const char NO_FILE[] = "---";

static char ErrorCommand[ERROR_COMMAND_SIZE] = "----";
static char ErrorSource[ERROR_SOURCE_SIZE] = "?";

static void CopyBounded(char *dst, const char *src, size_t size)
{
    size_t n = strlen(src);
    if (n > size - 1) n = size - 1;
    memmove(dst, src, n);
    dst[n] = 0;
}

const char *GetErrorCommandName(void)
{
    return ErrorCommand;
}

const char *GetErrorSourceFile(void)
{
    return ErrorSource;
}

void SetErrorCommandName(const char *name)
{
    CopyBounded(ErrorCommand, name ? name : NO_COMMAND, sizeof ErrorCommand);
}

void SetErrorSourceFile(const char *source)
{
    CopyBounded(ErrorSource, source ? source : "?", sizeof ErrorSource);
}

void ResetErrorContext(void)
{
    SetErrorCommandName(NO_COMMAND);
    ErrorLine = -1;
}

void UpdateErrorContext(lua_State *L)
{
    if (!L) return;
    lua_Debug ar;
    int haveSource = 0;
    for (int level = 0; lua_getstack(L, level, &ar); level++) {
        if (!lua_getinfo(L, "Sn", &ar)) continue;
        const char *source = ar.source ? ar.source : "?";
        if (!haveSource && source[0] != '?' && source[0] != '=') {
            SetErrorSourceFile(source);
            haveSource = 1;
        }
        if (strcmp(ErrorCommand, NO_COMMAND) != 0) continue;
        int hasNameKind = ar.namewhat && ar.namewhat[0];
        if (ar.what && strcmp(ar.what, "C") == 0) {
            if (hasNameKind) {
                const char *spelling = ar.name ? FindCommandName(ar.name) : nullptr;
                SetErrorCommandName(spelling ? spelling : "?");
            }
        } else if (!hasNameKind) {
            SetErrorCommandName("<<unnamed>>");
        } else {
            SetErrorCommandName(ar.name ? ar.name : "anonymous");
        }
    }
    if (ErrorLine == -1 && lua_getstack(L, 1, &ar) && lua_getinfo(L, "l", &ar))
        ErrorLine = ar.currentline;
}

// Non-zero when the running script is an applet (the registry string "script" is ":none:").
static int RunningApplet(lua_State *L)
{
    const char *script = luaL_getregstring(L, "script");
    return script && strcmp(script, ":none:") == 0;
}

// The applet's source range that belongs to the current source file and holds ErrorLine.
static const SourceRange *FindErrorRange(lua_State *L)
{
    AppletRecord *applet = GetAppletRecord(L);
    if (!applet) return nullptr;
    const char *source = (ErrorSource[0] == '?') ? "" : ErrorSource;
    for (const SourceRange *r = applet->sourceRanges; r; r = r->next) {
        if (strcmp(r->sourceName, source) == 0 && ErrorLine >= r->firstLine &&
            ErrorLine <= r->lastLine)
            return r;
    }
    return nullptr;
}

int GetCurrentLine(lua_State *L)
{
    if (!L) return -1;
    if (!RunningApplet(L)) return ErrorLine;
    const SourceRange *r = FindErrorRange(L);
    if (!r) return -1;
    return ErrorLine - r->firstLine + r->lineOffset + 1;
}

// The file and line shown with an error: none and 0 while line information is off.
static void GetErrorPlace(lua_State *L, const char **file, int *line)
{
    const char *f = nullptr;
    int l = 0;
    if (L && RuntimeSettings.lineInfo) {
        l = GetCurrentLine(L);
        f = NO_FILE;
        if (RunningApplet(L)) {
            const SourceRange *r = FindErrorRange(L);
            if (r) f = r->fileName;
        }
    }
    if (file) *file = f;
    if (line) *line = l;
}

char *GetErrorText(lua_State *L, int code, char *buffer, size_t bufsize, const char **file,
                   int *line)
{
    FormatErrorMessage(code, buffer, bufsize);
    GetErrorPlace(L, file, line);
    return buffer;
}

int ShowErrorRequester(lua_State *L, const char *text, int plain, int iconKind)
{
    static char body[ERR_TEXT_SIZE + 2 * ERROR_SOURCE_SIZE];
    if (!text) text = "";
    if (plain || !RuntimeSettings.lineInfo) {
        CopyBounded(body, text, sizeof body);
    } else {
        const char *file;
        int line;
        GetErrorPlace(L, &file, &line);
        const char *filePart = file ? GetFilePart(file) : NO_FILE;
        const char *wFile = GetErrorString(MSG_FILE);
        const char *wLine = GetErrorString(MSG_CURRENT_LINE);
        if (strcmp(ErrorCommand, NO_COMMAND) == 0) {
            snprintf(body, sizeof body, "%s\n%s: %s (%s: %d)", text, wFile, filePart, wLine, line);
        } else {
            snprintf(body, sizeof body, "%s\n%s: %s (%s: %d - %s: %s)", text, wFile, filePart,
                     wLine, line, GetErrorString(MSG_IN_FUNCTION), ErrorCommand);
        }
    }
    return OsRequester("KestroviaPlayer", body, nullptr, iconKind);
}
