// The clipboard beyond text: the list of offered types and pictures, through xclip on X11 or
// wl-paste and wl-copy on Wayland. Pictures go out as PNG and come in as whatever picture type
// is offered (PNG preferred), decoded by SDL_image into 0xAARRGGBB words.
#include <SDL.h>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/os_clipboard_internal.h"
#include "platform/linux/os_internal.h"
#include "platform/linux/os_requester_internal.h"
#include "platform/os.h"

enum { CLIPHELPER_NONE = 0, CLIPHELPER_XCLIP, CLIPHELPER_WAYLAND };
// A clipboard owner that does not answer must not stop the player for long.
enum { CLIP_TIMEOUT_MILLIS = 5000 };
static const size_t CLIP_MAX_TYPES = 1 << 16;
static const size_t CLIP_MAX_PICTURE = (size_t)256 << 20;
static const uint64_t CLIP_MAX_PIXELS = (uint64_t)1 << 28;

static int ClipboardHelper(void)
{
    if (!HelperProgramsAllowed()) return CLIPHELPER_NONE;
    const char *wayland = getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland && FindOnPath("wl-paste") && FindOnPath("wl-copy")) return CLIPHELPER_WAYLAND;
    if (FindOnPath("xclip")) return CLIPHELPER_XCLIP;
    return CLIPHELPER_NONE;
}

// Runs a clipboard helper; 1 when it ran and exited with status 0. On success with capture
// set, run->output holds what it printed (the caller frees it).
static int RunClipboardHelper(std::vector<const char *> argv, const void *input, size_t inputSize,
                              int capture, size_t maxOutput, HelperRun *run)
{
    argv.push_back(nullptr);
    *run = {};
    run->argv = (char *const *)argv.data();
    run->input = input;
    run->inputSize = inputSize;
    run->captureOutput = capture;
    run->maxOutput = maxOutput;
    run->timeoutMillis = CLIP_TIMEOUT_MILLIS;
    int how = RunHelper(run);
    if (how == HELPER_EXITED && run->exitStatus == 0) return 1;
    free(run->output);
    run->output = nullptr;
    return 0;
}

// The offered types in the owner's order; 0 when there is no helper or it failed.
static int ReadTypes(int helper, std::vector<std::string> *types)
{
    HelperRun run;
    int ok = helper == CLIPHELPER_WAYLAND
                 ? RunClipboardHelper({"wl-paste", "--list-types"}, nullptr, 0, 1, CLIP_MAX_TYPES, &run)
                 : RunClipboardHelper({"xclip", "-selection", "clipboard", "-t", "TARGETS", "-o"}, nullptr,
                                      0, 1, CLIP_MAX_TYPES, &run);
    if (!ok) return 0;
    std::string line;
    for (size_t i = 0; i <= run.outputSize; i++) {
        char c = i < run.outputSize ? run.output[i] : '\n';
        if (c != '\n' && c != '\r') {
            line += c;
        } else if (!line.empty()) {
            types->push_back(line);
            line.clear();
        }
    }
    free(run.output);
    return 1;
}

// The kind of one offered type: text 1, picture 2, other contents 4, and 0 for the types
// that only describe the selection itself (X11's TARGETS, TIMESTAMP ...).
static int KindOfType(const std::string &type)
{
    static const char *const textTypes[] = {"UTF8_STRING", "STRING", "TEXT", "COMPOUND_TEXT"};
    static const char *const selectionTypes[] = {"TARGETS", "TIMESTAMP", "MULTIPLE", "SAVE_TARGETS",
                                                 "DELETE", "INSERT_SELECTION", "INSERT_PROPERTY"};
    for (const char *t : textTypes)
        if (type == t) return OS_CLIP_TEXT;
    if (type.compare(0, 10, "text/plain") == 0) return OS_CLIP_TEXT;
    if (type.compare(0, 6, "image/") == 0) return OS_CLIP_IMAGE;
    for (const char *t : selectionTypes)
        if (type == t) return OS_CLIP_EMPTY;
    return OS_CLIP_UNKNOWN;
}

int ClipboardHelperKind(void)
{
    int helper = ClipboardHelper();
    std::vector<std::string> types;
    if (helper == CLIPHELPER_NONE || !ReadTypes(helper, &types)) return -1;
    // The first type that is text or a picture decides; other contents alone give 4.
    int kind = OS_CLIP_EMPTY;
    for (const std::string &t : types) {
        int k = KindOfType(t);
        if (k == OS_CLIP_TEXT || k == OS_CLIP_IMAGE) return k;
        if (k == OS_CLIP_UNKNOWN) kind = OS_CLIP_UNKNOWN;
    }
    return kind;
}

// Copies a decoded surface into data as 0xAARRGGBB words. 0, 1000 or 1365.
static int SurfaceToPixels(SDL_Surface *surface, OsClipboardData *data)
{
    int hasAlpha = surface->format->Amask != 0 || SDL_HasColorKey(surface);
    if ((uint64_t)surface->w * (uint64_t)surface->h > CLIP_MAX_PIXELS) return 1000;
    SDL_Surface *argb = SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_ARGB8888, 0);
    if (!argb) return 1365;
    size_t count = (size_t)argb->w * (size_t)argb->h;
    data->pixels = (uint32_t *)malloc(count * 4);
    if (!data->pixels) {
        SDL_FreeSurface(argb);
        return 1000;
    }
    for (int y = 0; y < argb->h; y++) {
        const uint32_t *row = (const uint32_t *)((const uint8_t *)argb->pixels + (size_t)y * argb->pitch);
        uint32_t *out = data->pixels + (size_t)y * argb->w;
        for (int x = 0; x < argb->w; x++) out[x] = hasAlpha ? row[x] : (row[x] | 0xff000000u);
    }
    data->width = argb->w;
    data->height = argb->h;
    data->hasAlpha = hasAlpha;
    SDL_FreeSurface(argb);
    return 0;
}

int ClipboardHelperGetImage(OsClipboardData *data)
{
    int helper = ClipboardHelper();
    std::vector<std::string> types;
    if (helper == CLIPHELPER_NONE || !ReadTypes(helper, &types)) return 1365;
    // the first offered of the raster formats pictures are decoded from, PNG preferred
    static const char *const readable[] = {"image/png", "image/jpeg", "image/tiff", "image/webp"};
    std::string type;
    for (const char *want : readable) {
        for (const std::string &t : types)
            if (t == want) type = t;
        if (!type.empty()) break;
    }
    if (type.empty()) return 1365;
    HelperRun run;
    int ok = helper == CLIPHELPER_WAYLAND
                 ? RunClipboardHelper({"wl-paste", "--no-newline", "--type", type.c_str()}, nullptr, 0, 1,
                                      CLIP_MAX_PICTURE, &run)
                 : RunClipboardHelper({"xclip", "-selection", "clipboard", "-t", type.c_str(), "-o"}, nullptr,
                                      0, 1, CLIP_MAX_PICTURE, &run);
    if (!ok || run.outputSize == 0) {
        free(run.output);
        return 1365;
    }
    const OsImageRoutines *img = OsImageLibrary();
    SDL_RWops *rw = img ? SDL_RWFromConstMem(run.output, (int)run.outputSize) : nullptr;
    const char *format = rw ? OsImageRasterType(img, rw) : nullptr;
    if (rw && !format) SDL_RWclose(rw);
    SDL_Surface *surface = format ? img->loadTyped(rw, 1, format) : nullptr;
    free(run.output);
    if (!surface) return 1365;
    int code = SurfaceToPixels(surface, data);
    SDL_FreeSurface(surface);
    return code;
}

int ClipboardHelperPutImage(const uint32_t *pixels, int32_t width, int32_t height, int hasAlpha)
{
    int helper = ClipboardHelper();
    if (helper == CLIPHELPER_NONE) return 1368;
    OsData *png = nullptr;
    int code = OsEncodeImage(nullptr, pixels, width, height, width * 4, OS_IMAGE_PNG, hasAlpha, 100, &png);
    if (code) return code == 1000 ? 1000 : 1368;
    const uint8_t *bytes;
    size_t size = OsGetDataBytes(png, &bytes);
    HelperRun run;
    int ok = helper == CLIPHELPER_WAYLAND
                 ? RunClipboardHelper({"wl-copy", "--type", "image/png"}, bytes, size, 0, 0, &run)
                 : RunClipboardHelper({"xclip", "-selection", "clipboard", "-t", "image/png", "-i"}, bytes,
                                      size, 0, 0, &run);
    OsReleaseData(png);
    return ok ? 0 : 1368;
}

void ClipboardHelperClear(void)
{
    if (ClipboardHelper() != CLIPHELPER_WAYLAND) return;
    HelperRun run;
    RunClipboardHelper({"wl-copy", "--clear"}, nullptr, 0, 0, 0, &run);
}
