// Date and time commands of the system library. The texts come from the platform layer
// (OsGetDateString); the fixed date form is "DD-Mon-YYYY HH:MM:SS" with English month
// abbreviations, whatever the user's locale.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "platform/os.h"
#include "runtime/handler_support.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"
#include "stdlib/system.h"

enum { ERR_BADDATE = 1285 };
enum { DATE_TEXT_SIZE = 64 };

static const char *const MonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The current local date and time as numbers, from the platform's "MM-DD-YY" and "HH:MM:SS".
struct DateParts {
    int month, day, year2, hours, minutes, seconds;
};

static void GetDateParts(DateParts *d)
{
    char date[DATE_TEXT_SIZE] = "", time[DATE_TEXT_SIZE] = "";
    OsGetDateString(1, date, time);
    d->month = (int)strtol(date, nullptr, 10);
    d->day = strlen(date) > 3 ? (int)strtol(date + 3, nullptr, 10) : 0;
    d->year2 = strlen(date) > 6 ? (int)strtol(date + 6, nullptr, 10) : 0;
    d->hours = (int)strtol(time, nullptr, 10);
    d->minutes = strlen(time) > 3 ? (int)strtol(time + 3, nullptr, 10) : 0;
    d->seconds = strlen(time) > 6 ? (int)strtol(time + 6, nullptr, 10) : 0;
}

int SysGetDate(lua_State *L)
{
    CheckArgs(L, 0, 1);
    int form = GetOptIntArg(L, 1, 0);
    char text[DATE_TEXT_SIZE * 2] = "";
    if (form == 0) {
        OsGetDateString(0, text, nullptr);
    } else {
        DateParts d;
        GetDateParts(&d);
        const char *month = d.month >= 1 && d.month <= 12 ? MonthNames[d.month - 1] : "???";
        snprintf(text, sizeof text, "%.2d-%s-20%.2d %.2d:%.2d:%.2d", d.day, month, d.year2,
                 d.hours, d.minutes, d.seconds);
    }
    lua_pushstring(L, text);
    return 1;
}

int SysGetTime(lua_State *L)
{
    CheckArgs(L, 0, 1);
    int withSeconds = GetOptIntArg(L, 1, 0);
    char text[DATE_TEXT_SIZE] = "";
    OsGetDateString(2, text, nullptr);
    size_t len = strlen(text);
    if (!withSeconds && len >= 3) text[len - 3] = 0;
    lua_pushstring(L, text);
    return 1;
}

int SysGetWeekday(lua_State *L)
{
    CheckArgs(L, 0, 0);
    char text[DATE_TEXT_SIZE] = "";
    OsGetDateString(3, text, nullptr);
    lua_pushstring(L, text);
    return 1;
}

int SysGetDateNum(lua_State *L)
{
    CheckArgs(L, 1, 1);
    int part = GetIntArg(L, 1);
    DateParts d;
    GetDateParts(&d);
    int n;
    switch (part) {
    case SYS_DATEYEAR: n = 2000 + d.year2; break;
    case SYS_DATEMONTH: n = d.month; break;
    case SYS_DATEDAY: n = d.day; break;
    case SYS_DATETIME: n = d.hours * 10000 + d.minutes * 100 + d.seconds; break;
    default: n = 0; break;
    }
    lua_pushnumber(L, n);
    return 1;
}

// Reads a date text of the fixed form into six numbers (year, month, day, hours, minutes,
// seconds; the last three only with the time). The text must be exactly 20 bytes with the time
// or 11 without; the month abbreviation at offset 3 is matched without regard to case and
// replaced by its two-digit number, after which the fields stand at the offsets 0, 3, 6, 11,
// 14 and 17. 0 or 1285.
static int ParseDate(const char *s, size_t len, int withTime, long out[6])
{
    if (len != (withTime ? 20u : 11u)) return ERR_BADDATE;
    int month = -1;
    for (int i = 0; i < 12; i++) {
        if (strncasecmp(s + 3, MonthNames[i], 3) == 0) month = i + 1;
    }
    if (month < 0) return ERR_BADDATE;
    char text[24] = {0};
    snprintf(text, sizeof text, "%.3s%.2d%s", s, month, s + 6);
    out[0] = strtol(text + 6, nullptr, 10);
    out[1] = strtol(text + 3, nullptr, 10);
    out[2] = strtol(text, nullptr, 10);
    out[3] = withTime ? strtol(text + 11, nullptr, 10) : 0;
    out[4] = withTime ? strtol(text + 14, nullptr, 10) : 0;
    out[5] = withTime ? strtol(text + 17, nullptr, 10) : 0;
    return 0;
}

int SysCompareDates(lua_State *L)
{
    CheckArgs(L, 2, 3);
    size_t len1, len2;
    const char *d1 = luaL_checklstring(L, 1, &len1);
    const char *d2 = luaL_checklstring(L, 2, &len2);
    int datesOnly = GetOptIntArg(L, 3, 0);
    long a[6], b[6];
    if (int err = ParseDate(d1, len1, !datesOnly, a)) return err;
    if (int err = ParseDate(d2, len2, !datesOnly, b)) return err;
    int result = 0;
    for (int i = 0; i < 6 && !result; i++) {
        if (a[i] > b[i]) result = 1;
        else if (a[i] < b[i]) result = 2;
    }
    lua_pushnumber(L, result);
    return 1;
}
