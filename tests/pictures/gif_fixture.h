// GIF files for the tests, written by giflib (a test-only library), and a reference model of how
// frames compose on the screen (disposal methods, transparency, interlace handled by giflib).
#pragma once
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

struct GifFrameSpec {
  int left, top, w, h;
  bool interlace;
  int disposal;                     // 0..3
  int transparent;                  // index or -1
  int delay;                        // hundredths
  std::vector<uint32_t> local;      // local colour table (power of two entries) or empty
  std::vector<uint8_t> indices;     // w x h, rows top to bottom
};

inline ColorMapObject *MakeMap(const std::vector<uint32_t> &pal) {
  std::vector<GifColorType> c(pal.size());
  for (size_t i = 0; i < pal.size(); i++) {
    c[i].Red = (GifByteType)(pal[i] >> 16);
    c[i].Green = (GifByteType)(pal[i] >> 8);
    c[i].Blue = (GifByteType)pal[i];
  }
  return GifMakeMapObject((int)pal.size(), c.data());
}

// Writes the frames with giflib; false on any giflib failure.
inline bool WriteGiflibGif(const std::string &path, int W, int H, const std::vector<uint32_t> &global, int bg,
                           const std::vector<GifFrameSpec> &frames) {
  int err = 0;
  GifFileType *g = EGifOpenFileName(path.c_str(), false, &err);
  if (!g) return false;
  EGifSetGifVersion(g, true);
  ColorMapObject *gm = global.empty() ? nullptr : MakeMap(global);
  bool ok = EGifPutScreenDesc(g, W, H, 8, bg, gm) == GIF_OK;
  GifFreeMapObject(gm);
  for (const GifFrameSpec &f : frames) {
    if (!ok) break;
    GraphicsControlBlock gcb;
    gcb.DisposalMode = f.disposal;
    gcb.UserInputFlag = false;
    gcb.DelayTime = f.delay;
    gcb.TransparentColor = f.transparent < 0 ? NO_TRANSPARENT_COLOR : f.transparent;
    GifByteType ext[4];
    EGifGCBToExtension(&gcb, ext);
    ok = EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, 4, ext) == GIF_OK;
    ColorMapObject *lm = f.local.empty() ? nullptr : MakeMap(f.local);
    ok = ok && EGifPutImageDesc(g, f.left, f.top, f.w, f.h, f.interlace, lm) == GIF_OK;
    GifFreeMapObject(lm);
    std::vector<int> order;
    if (f.interlace) {
      const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
      for (int p = 0; p < 4; p++)
        for (int y = start[p]; y < f.h; y += step[p]) order.push_back(y);
    } else {
      for (int y = 0; y < f.h; y++) order.push_back(y);
    }
    for (int y : order) {
      if (!ok) break;
      ok = EGifPutLine(g, const_cast<GifPixelType *>(f.indices.data() + (size_t)y * f.w), f.w) == GIF_OK;
    }
    // giflib keeps a copy of a frame's local colour table that a later frame without one
    // drops unfreed.
    GifFreeMapObject(g->Image.ColorMap);
    g->Image.ColorMap = nullptr;
  }
  if (EGifCloseFile(g, &err) != GIF_OK) ok = false;
  return ok;
}

// A pixel of a screen that shows nothing (colours are 0x00RRGGBB).
constexpr uint32_t kClearPixel = 0xFF000000u;

// The screen after each frame, as the player composes it: the first frame with disposal 2 and a
// transparent index starts from a screen of that colour, else from the background colour;
// disposal 2 fills the frame's rectangle with the transparent (else background) colour, 3
// restores what was under it. With clearBackground, as web browsers and most other readers
// compose: the screen starts clear (kClearPixel) and disposal 2 clears the rectangle.
inline std::vector<std::vector<uint32_t>> ComposeGif(int W, int H, const std::vector<uint32_t> &global, int bg,
                                                     const std::vector<GifFrameSpec> &frames,
                                                     bool clearBackground = false) {
  auto entry = [](const std::vector<uint32_t> &p, int i) { return i >= 0 && i < (int)p.size() ? p[i] : 0u; };
  std::vector<uint32_t> canvas((size_t)W * H, clearBackground ? kClearPixel : entry(global, bg));
  std::vector<std::vector<uint32_t>> out;
  for (size_t n = 0; n < frames.size(); n++) {
    const GifFrameSpec &f = frames[n];
    const std::vector<uint32_t> &pal = f.local.empty() ? global : f.local;
    if (n == 0 && f.transparent >= 0 && f.disposal == 2 && !clearBackground)
      canvas.assign(canvas.size(), entry(pal, f.transparent));
    std::vector<uint32_t> saved = canvas;
    for (int y = 0; y < f.h; y++)
      for (int x = 0; x < f.w; x++) {
        const int i = f.indices[(size_t)y * f.w + x];
        if (i == f.transparent || f.left + x >= W || f.top + y >= H) continue;
        canvas[(size_t)(f.top + y) * W + f.left + x] = entry(pal, i);
      }
    out.push_back(canvas);
    for (int y = f.top; y < std::min(H, f.top + f.h); y++)
      for (int x = f.left; x < std::min(W, f.left + f.w); x++) {
        if (f.disposal == 2)
          canvas[(size_t)y * W + x] = clearBackground ? kClearPixel : entry(pal, f.transparent >= 0 ? f.transparent : bg);
        if (f.disposal == 3) canvas[(size_t)y * W + x] = saved[(size_t)y * W + x];
      }
  }
  return out;
}

// The screens giflib's frames and control blocks make, composed by ComposeGif.
inline std::vector<std::vector<uint32_t>> GiflibScreens(const std::string &path, int *W, int *H,
                                                        bool clearBackground = false) {
  int err = 0;
  GifFileType *g = DGifOpenFileName(path.c_str(), &err);
  EXPECT_NE(g, nullptr);
  if (!g) return {};
  EXPECT_EQ(DGifSlurp(g), GIF_OK);
  *W = g->SWidth;
  *H = g->SHeight;
  auto pal = [](const ColorMapObject *m) {
    std::vector<uint32_t> p;
    for (int i = 0; m && i < m->ColorCount; i++)
      p.push_back((uint32_t)m->Colors[i].Red << 16 | (uint32_t)m->Colors[i].Green << 8 | m->Colors[i].Blue);
    return p;
  };
  std::vector<GifFrameSpec> frames;
  for (int i = 0; i < g->ImageCount; i++) {
    const SavedImage &s = g->SavedImages[i];
    GraphicsControlBlock gcb = {0, false, 0, NO_TRANSPARENT_COLOR};
    DGifSavedExtensionToGCB(g, i, &gcb);
    GifFrameSpec f{s.ImageDesc.Left, s.ImageDesc.Top, s.ImageDesc.Width, s.ImageDesc.Height, false, gcb.DisposalMode,
                   gcb.TransparentColor, gcb.DelayTime, pal(s.ImageDesc.ColorMap),
                   std::vector<uint8_t>(s.RasterBits, s.RasterBits + (size_t)s.ImageDesc.Width * s.ImageDesc.Height)};
    frames.push_back(f);
  }
  const std::vector<uint32_t> global = pal(g->SColorMap);
  const int bg = g->SBackGroundColor;
  DGifCloseFile(g, &err);
  return ComposeGif(*W, *H, global, bg, frames, clearBackground);
}
