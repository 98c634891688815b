// Error codes and texts: the message argument, the code and message tables, and the filling of
// a message with its argument.
#include "runtime/errors.h"

#include <cstdio>
#include <cstring>

#include "runtime/catalog.h"
#include "runtime/filelayer.h"
#include "platform/os.h"

extern const short ErrorCodeMessages[ERR_CODE_COUNT];
extern const char *const BuiltInMessages[ERR_MESSAGE_COUNT];

static char ErrorString[ERR_STRING_SIZE];
static long ErrorNumber;
static int ErrorStringNamesFile;  // set by WriteFailure: a 1005 message shows the error string

// Copies src into dst (capacity size), cut to fit and terminated; src and dst may overlap.
static void CopyBounded(char *dst, const char *src, size_t size)
{
    if (size == 0) return;
    size_t n = strlen(src);
    if (n > size - 1) n = size - 1;
    memmove(dst, src, n);
    dst[n] = 0;
}

char *SetErrorString(const char *text)
{
    CopyBounded(ErrorString, text ? text : "", sizeof ErrorString);
    ErrorStringNamesFile = 0;
    return ErrorString;
}

void SetErrorNumber(long number)
{
    ErrorNumber = number;
    ErrorStringNamesFile = 0;
}

int WriteFailure(const char *name)
{
    SetErrorString(name);
    ErrorStringNamesFile = 1;
    return 1005;
}

const char *GetErrorArgString(void)
{
    return ErrorString;
}

long GetErrorArgNumber(void)
{
    return ErrorNumber;
}

int GetErrorMessageNumber(int code)
{
    if (code < ERR_FIRST_CODE || code > ERR_LAST_CODE) return -2;
    return ErrorCodeMessages[code - ERR_FIRST_CODE];
}

const char *GetBuiltInErrorString(int n)
{
    if (n < 0 || n >= ERR_MESSAGE_COUNT) return nullptr;
    return BuiltInMessages[n];
}

const char *GetErrorString(int n)
{
    if (n < 0 || n >= ERR_MESSAGE_COUNT) return nullptr;
    const char *builtIn = BuiltInMessages[n];
    const MessageCatalog *cat = GetLoadedCatalog();
    if (cat) {
        // A catalog text replaces the built-in one only when it asks for the same argument in
        // the same form; anything else could make the filling read a wrong argument.
        const char *text = FindCatalogString(cat, (uint32_t)n);
        if (text && SameConversionSpecifiers(builtIn, text)) return text;
    }
    return builtIn;
}

// Output cursor over a caller's buffer: appends are cut at the capacity, the text always ends
// with a terminator.
struct TextOut {
    char *buf;
    size_t size;
    size_t len;
};

static void PutText(TextOut *out, const char *s, size_t n)
{
    if (out->size == 0) return;
    size_t room = out->size - 1 - out->len;
    if (n > room) n = room;
    memcpy(out->buf + out->len, s, n);
    out->len += n;
    out->buf[out->len] = 0;
}

enum { FILL_NONE, FILL_STRING, FILL_NUMBER };

// Length of the conversion specifier at s (s[0] == '%') that the fill mode replaces, else 0.
static size_t SpecifierLength(const char *s, int mode)
{
    if (mode == FILL_STRING) return (s[1] == 's') ? 2 : 0;
    if (mode == FILL_NUMBER) {
        if (s[1] == 'd') return 2;
        if (s[1] == 'l' && s[2] == 'd') return 3;
    }
    return 0;
}

// Copies the template with its first "%s" (FILL_STRING) or first "%d"/"%ld" (FILL_NUMBER)
// replaced by arg; "%%" stands for one '%', any other '%' is copied as it is.
static void FillTemplate(TextOut *out, const char *tmpl, int mode, const char *arg)
{
    int filled = 0;
    const char *s = tmpl;
    while (*s) {
        const char *pct = strchr(s, '%');
        if (!pct) {
            PutText(out, s, strlen(s));
            break;
        }
        PutText(out, s, (size_t)(pct - s));
        if (pct[1] == '%') {
            PutText(out, "%", 1);
            s = pct + 2;
            continue;
        }
        size_t n = filled ? 0 : SpecifierLength(pct, mode);
        if (n) {
            PutText(out, arg, strlen(arg));
            filled = 1;
            s = pct + n;
        } else {
            PutText(out, pct, 1);
            s = pct + 1;
        }
    }
}

// Behind a message: a line naming the file it is about ("File: name").
static void PutFileName(TextOut *out, const char *name)
{
    const char *label = GetErrorString(MSG_FILE);
    if (!label) label = "File";
    PutText(out, "\n", 1);
    PutText(out, label, strlen(label));
    PutText(out, ": ", 2);
    PutText(out, name, strlen(name));
}

// Codes whose "%s" names a file: only the file part of the error string is shown.
static int ShowsFilePart(int code)
{
    switch (code) {
    case 1044: case 1045: case 1065: case 1170: case 1356: case 1357: case 1358: case 1403:
        return 1;
    default:
        return 0;
    }
}

char *FormatErrorMessage(int code, char *buffer, size_t bufsize)
{
    if (!buffer || bufsize == 0) return buffer;
    TextOut out = {buffer, bufsize, 0};
    buffer[0] = 0;

    int n = GetErrorMessageNumber(code);
    if (n == -1) {
        // No message of its own: the error string is the whole text, shown as it is (it is the
        // script's own text and never used as a template).
        PutText(&out, ErrorString, strlen(ErrorString));
        return buffer;
    }
    const char *tmpl = (n >= 0) ? GetErrorString(n) : GetErrorString(MSG_UNKNOWN_ERROR);
    if (!tmpl) tmpl = GetBuiltInErrorString(MSG_UNKNOWN_ERROR);

    if (strstr(tmpl, "%s")) {
        const char *arg = ErrorString;
        if (IsVirtualName(arg) || ShowsFilePart(code)) arg = GetFilePart(arg);
        FillTemplate(&out, tmpl, FILL_STRING, arg ? arg : "");
    } else if (strstr(tmpl, "%d") || strstr(tmpl, "%ld")) {
        char number[32];
        snprintf(number, sizeof number, "%ld", ErrorNumber);
        FillTemplate(&out, tmpl, FILL_NUMBER, number);
    } else {
        FillTemplate(&out, tmpl, FILL_NONE, "");
        if (code == 1005 && ErrorStringNamesFile) PutFileName(&out, ErrorString);
    }
    return buffer;
}

void PrintWriteFailure(const char *name)
{
    char text[ERR_TEXT_SIZE];
    TextOut out = {text, sizeof text, 0};
    text[0] = 0;
    const char *tmpl = GetErrorString(GetErrorMessageNumber(1005));
    FillTemplate(&out, tmpl ? tmpl : "", FILL_NONE, "");
    PutFileName(&out, name ? name : "");
    const char *error = GetErrorString(MSG_ERROR);
    fprintf(stderr, "%s: %s\n", error ? error : "Error", text);
}

// Platform calls that fail on a path (making a directory, a lock that is no directory) name it
// through this upcall.
static const int ErrorStringRegistered = [] {
    OsUpcalls up = {};
    up.setErrorString = [](const char *text) { SetErrorString(text); };
    OsSetUpcalls(&up);
    return 1;
}();
