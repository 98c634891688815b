// Time values, the clock behind event stamps and timers, and local dates.
#include "platform/os.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <locale.h>
#include <time.h>

static OsClockFunc ClockOverride = nullptr;

void OsSetClock(OsClockFunc clock)
{
    ClockOverride = clock;
}

void OsGetSysTime(OsTimeVal *out)
{
    if (ClockOverride) {
        ClockOverride(out);
        return;
    }
    // Monotonic, so stamps and timers never jump with the wall clock.
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    out->seconds = (uint32_t)ts.tv_sec;
    out->micros = (uint32_t)(ts.tv_nsec / 1000);
}

double OsGetTimeSeconds(void)
{
    OsTimeVal t;
    OsGetSysTime(&t);
    return (double)t.seconds + (double)t.micros / 1000000.0;
}

void OsSubTime(OsTimeVal *a, const OsTimeVal *b)
{
    uint32_t micros = a->micros;
    uint32_t seconds = a->seconds - b->seconds;
    if (micros < b->micros) {
        micros += 1000000;
        seconds--;
    }
    a->micros = micros - b->micros;
    a->seconds = seconds;
}

void OsAddTime(OsTimeVal *a, const OsTimeVal *b)
{
    a->seconds += b->seconds;
    a->micros += b->micros;
    if (a->micros > 999999) {
        a->micros -= 1000000;
        a->seconds++;
    }
}

int OsCmpTime(const OsTimeVal *a, const OsTimeVal *b)
{
    if (a->seconds != b->seconds) return a->seconds < b->seconds ? -1 : 1;
    if (a->micros != b->micros) return a->micros < b->micros ? -1 : 1;
    return 0;
}

// The user's time and character conventions, private to this file: the process locale stays
// "C" so that number formatting never changes.
static locale_t UserLocale(void)
{
    static locale_t loc = (locale_t)0;
    static int tried = 0;
    if (!tried) {
        tried = 1;
        loc = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "", (locale_t)0);
        if (loc == (locale_t)0) loc = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "C", (locale_t)0);
    }
    return loc;
}

// UTF-8 to Latin-1 in place; characters above U+00FF and broken sequences become '?'.
static void Utf8ToLatin1(char *s)
{
    const unsigned char *in = (const unsigned char *)s;
    unsigned char *out = (unsigned char *)s;
    while (*in) {
        unsigned c = *in;
        if (c < 0x80) {
            *out++ = (unsigned char)c;
            in++;
            continue;
        }
        int extra = c >= 0xf0 ? 3 : c >= 0xe0 ? 2 : c >= 0xc0 ? 1 : -1;
        if (extra < 0) {
            *out++ = '?';
            in++;
            continue;
        }
        unsigned cp = c & (0x3f >> extra);
        int i = 1;
        for (; i <= extra; i++) {
            if ((in[i] & 0xc0) != 0x80) break;
            cp = (cp << 6) | (in[i] & 0x3f);
        }
        in += i;
        *out++ = (i == extra + 1 && cp <= 0xff) ? (unsigned char)cp : '?';
    }
    *out = 0;
}

static void LocalFormat(char *text, const char *format, const struct tm *tm)
{
    locale_t loc = UserLocale();
    size_t n = loc != (locale_t)0 ? strftime_l(text, 64, format, tm, loc) : strftime(text, 64, format, tm);
    if (n == 0) text[0] = 0;
    Utf8ToLatin1(text);
}

void OsGetDateString(int kind, char *text1, char *text2)
{
    time_t now = time(nullptr);
    struct tm tm;
    localtime_r(&now, &tm);
    switch (kind) {
    case 0:
        LocalFormat(text1, "%x", &tm);
        break;
    case 1:
        snprintf(text1, 64, "%.2d-%.2d-%.2d", tm.tm_mon + 1, tm.tm_mday, (tm.tm_year + 1900 - 2000) % 100);
        if (text2) snprintf(text2, 64, "%.2d:%.2d:%.2d", tm.tm_hour, tm.tm_min, tm.tm_sec);
        break;
    case 2:
        snprintf(text1, 64, "%.2d:%.2d:%.2d", tm.tm_hour, tm.tm_min, tm.tm_sec);
        break;
    case 3:
        LocalFormat(text1, "%A", &tm);
        break;
    default:
        text1[0] = 0;
        break;
    }
}

void OsTimeToDate(time_t t, int date[6])
{
    struct tm tm;
    if (!localtime_r(&t, &tm)) {
        memset(date, 0, 6 * sizeof(int));
        return;
    }
    date[0] = tm.tm_sec;
    date[1] = tm.tm_min;
    date[2] = tm.tm_hour;
    date[3] = tm.tm_mday;
    date[4] = tm.tm_mon;
    date[5] = tm.tm_year + 1900;
}

time_t OsDateToTime(const int date[6])
{
    struct tm tm;
    memset(&tm, 0, sizeof(tm));
    tm.tm_sec = date[0];
    tm.tm_min = date[1];
    tm.tm_hour = date[2];
    tm.tm_mday = date[3];
    tm.tm_mon = date[4];
    tm.tm_year = date[5] - 1900;
    tm.tm_isdst = -1;
    time_t t = mktime(&tm);
    return t == (time_t)-1 ? 0 : t;
}
