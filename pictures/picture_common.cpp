// Steps every picture reader shares: the size check and the file around the decoding.
#include "pictures/picture_readers.h"

#include "platform/os.h"
#include "runtime/errors.h"
#include "runtime/filelayer.h"

int CheckPictureSize(int64_t width, int64_t height) {
  if (width < 1 || height < 1) return 1358;
  if ((uint64_t)width * (uint64_t)height > OS_MAX_PICTURE_PIXELS) return 1000;
  return 0;
}

int ReadPictureFile(const char *name, PictureDecoder decode, int32_t *width, int32_t *height, uint32_t **pixels,
                    uint32_t **palette) {
  if (pixels) *pixels = nullptr;
  if (palette) *palette = nullptr;
  FileHandle *fh = FOpen(name, FMODE_READ);
  if (!fh) {
    SetErrorString(name);
    return 1045;
  }
  const int err = decode(fh, width, height, pixels, palette);
  FClose(fh);
  if (err) SetErrorString(name);
  return err;
}
