// The picture writer: a bitmap with its optional mask or alpha channel written as BMP (by this
// code), PNG or JPEG (encoded by the platform into memory), GIF (quantised, by the GIF writer) or
// IFF ILBM (the ILBM writer). Every
// file goes through the file layer, so "PROGDIR:" names work, and a write that falls short is an
// error, never a success. A save over an older file writes a new file beside it that takes its
// place only once it is whole: a failed save leaves the older file as it was.
#include <cstring>

#include "display/graphics.h"
#include "pictures/anim_stream.h"
#include "pictures/brush.h"
#include "pictures/picture_readers.h"
#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

enum { ERR_CANTWRITE = 1052, ERR_SHORTWRITE = 1005, ERR_WRONGUSAGE = 1055, BMP_HEADER = 54 };

uint32_t *MakeARGBImage(const BitMap *bitmap, int32_t width, int32_t height, const Mask *mask,
                        const AlphaChannel *alpha, uint32_t background, int alphaMode)
{
    uint32_t *words = BitMapToARGB(bitmap, width, height);
    if (!words) return nullptr;
    const uint32_t bg = background & 0xFFFFFF;
    for (int32_t y = 0; y < height; y++) {
        uint32_t *row = words + (size_t)y * (size_t)width;
        const uint8_t *m = mask ? mask->pixels + (ptrdiff_t)y * mask->bytesPerRow : nullptr;
        const uint8_t *a = (!mask && alpha) ? alpha->pixels + (ptrdiff_t)y * alpha->bytesPerRow : nullptr;
        for (int32_t x = 0; x < width; x++) {
            uint32_t rgb = row[x] & 0xFFFFFF;
            if (m) {
                int set = MaskRowBit(m, x);
                if (alphaMode) row[x] = (set ? 0xFF000000u : 0) | rgb;
                else row[x] = 0xFF000000u | (set ? rgb : bg);
            } else if (a) {
                row[x] = (uint32_t)a[x] << 24 | (a[x] == 0 ? bg : rgb);
            } else {
                row[x] = 0xFF000000u | rgb;
            }
        }
    }
    return words;
}

static void PutLE(uint8_t *p, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; i++) p[i] = (uint8_t)(v >> (8 * i));
}

static FileHandle *OpenForWriting(const char *name)
{
    FileHandle *fh = FOpen(name, FMODE_REPLACE);
    if (!fh) SetErrorString(name);
    return fh;
}

// Puts the written file in place; a failed write or close gives it up.
static int CloseWritten(FileHandle *fh, int ok)
{
    return FCloseSave(fh, ok) ? 0 : ERR_SHORTWRITE;
}

int WriteBMP(const char *name, const uint32_t *argb, int32_t width, int32_t height)
{
    if (width < 1 || height < 1) return ERR_WRONGUSAGE;
    const uint64_t rowSize = 3 * (uint64_t)width + (uint64_t)(width % 4);
    const uint64_t fileSize = rowSize * (uint64_t)height + BMP_HEADER;
    if (fileSize > 0xFFFFFFFFu) return ERR_WRONGUSAGE;
    uint8_t *row = (uint8_t *)MemAlloc((size_t)rowSize, 1);
    if (!row) return 1000;
    FileHandle *fh = OpenForWriting(name);
    if (!fh) {
        MemFree(row);
        return ERR_CANTWRITE;
    }
    uint8_t header[BMP_HEADER];
    memset(header, 0, sizeof header);
    header[0] = 'B';
    header[1] = 'M';
    PutLE(header + 2, (uint32_t)fileSize, 4);
    PutLE(header + 10, BMP_HEADER, 4);
    PutLE(header + 14, 40, 4);
    PutLE(header + 18, (uint32_t)width, 4);
    PutLE(header + 22, (uint32_t)height, 4);
    PutLE(header + 26, 1, 2);
    PutLE(header + 28, 24, 2);
    int ok = FWrite(fh, header, sizeof header) == sizeof header;
    for (int32_t y = height - 1; ok && y >= 0; y--) {
        const uint32_t *src = argb + (size_t)y * (size_t)width;
        for (int32_t x = 0; x < width; x++) {
            row[3 * x] = (uint8_t)src[x];
            row[3 * x + 1] = (uint8_t)(src[x] >> 8);
            row[3 * x + 2] = (uint8_t)(src[x] >> 16);
        }
        ok = FWrite(fh, row, (size_t)rowSize) == rowSize;
    }
    MemFree(row);
    return CloseWritten(fh, ok);
}

// PNG and JPEG: the platform encodes into memory; the bytes go out through the file layer.
static int WriteEncoded(const char *name, const uint32_t *argb, int32_t width, int32_t height, int type,
                        int alphaFlag, int quality)
{
    OsData *data = nullptr;
    int code = OsEncodeImage(nullptr, argb, width, height, width * 4, type, alphaFlag, quality, &data);
    if (code) return code;
    const uint8_t *bytes;
    size_t n = OsGetDataBytes(data, &bytes);
    FileHandle *fh = OpenForWriting(name);
    if (!fh) {
        OsReleaseData(data);
        return ERR_CANTWRITE;
    }
    int ok = FWrite(fh, bytes, n) == n;
    OsReleaseData(data);
    return CloseWritten(fh, ok);
}


int SaveImageFile(int format, const BitMap *bitmap, int32_t width, int32_t height, const char *name,
                  const Mask *mask, uint32_t transparentColor, const AlphaChannel *alpha, int quality,
                  int colours, int dither)
{
    if (format < IMGFMT_BMP || format > IMGFMT_ILBM) return ERR_WRONGUSAGE;
    // GIF keeps what is clear in the alpha byte: only those pixels get the transparent index.
    uint32_t *argb = MakeARGBImage(bitmap, width, height, mask, alpha, transparentColor, format == IMGFMT_GIF);
    if (!argb) return 1000;
    int code;
    switch (format) {
    case IMGFMT_BMP: code = WriteBMP(name, argb, width, height); break;
    case IMGFMT_PNG: code = WriteEncoded(name, argb, width, height, OS_IMAGE_PNG, alpha != nullptr, quality); break;
    case IMGFMT_JPEG: code = WriteEncoded(name, argb, width, height, OS_IMAGE_JPEG, 0, quality); break;
    case IMGFMT_GIF:
        code = SaveGifPicture(name, argb, width, height, colours, dither, mask || alpha, transparentColor & 0xFFFFFF);
        break;
    default: code = WriteILBM(name, argb, width, height); break;
    }
    MemFree(argb);
    if (code == ERR_CANTWRITE) SetErrorString(name);
    if (code == ERR_SHORTWRITE) WriteFailure(name);
    return code;
}

void GetSaveOptions(lua_State *L, int index, int *quality, int *colours, int *dither)
{
    *quality = 90;
    *colours = 256;
    *dither = 0;
    if (lua_gettop(L) != index) return;
    if (lua_istable(L, index)) {
        GetFieldInt(L, index, "quality", quality, nullptr);
        GetFieldInt(L, index, "colors", colours, nullptr);
        GetFieldInt(L, index, "dither", dither, nullptr);
    } else if (!lua_isnil(L, index)) {
        *quality = luaL_checkinteger(L, index);
    }
}

// SaveBrush(id, file [, transparent colour [, format [, options]]]): the brush with its mask or
// alpha channel; the transparent colour fills what the mask leaves out.
int GfxSaveBrush(lua_State *L)
{
    CheckArgs(L, 2, 5);
    BrushNode *b;
    int code = GetBrushNode(GetObjectIdArg(L, 1), &b, 0);
    if (code) return code;
    const char *name = luaL_checkstring(L, 2);
    uint32_t transparent = (uint32_t)luaL_optinteger(L, 3, 0);
    int format = luaL_optinteger(L, 4, IMGFMT_BMP);
    int quality, colours, dither;
    GetSaveOptions(L, 5, &quality, &colours, &dither);
    if (!b->bitmap) return ERR_WRONGUSAGE;
    return SaveImageFile(format, b->bitmap, b->width, b->height, name, b->mask, transparent, b->alpha, quality,
                         colours, dither);
}
