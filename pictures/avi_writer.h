// AVI 2.0 (OpenDML) writer: Motion-JPEG video from the platform's JPEG encoder and a silent
// 16-bit stereo 44100 Hz PCM track. The first RIFF part ends near 1,000,000,000 bytes with a
// legacy idx1 index; the file goes on in AVIX parts of up to 2,000,000,000 bytes, indexed by
// standard indexes of 2044 entries and a super index per stream in the header.
#pragma once
#include <cstdint>

struct AviWriter;
struct BitMap;

// Creates the file and writes its header. fps must divide into the audio rate (25, 30 and 60
// are accepted, 24 is not). 0; 1055 (frame rate, size below 1 or above 65535); 1000; 1052 when
// the file or the index's temporary file can't be created (error string: its name); 1005. The
// file is a new one beside an older file of the name, which it replaces at AviWriterClose only
// when every write succeeded; after a failure nothing is left.
int AviWriterOpen(const char *path, int32_t fps, int32_t flags, int32_t width, int32_t height, int32_t quality,
                  int smooth, const char *title, AviWriter **writer);
// Appends one frame (the width x height top-left part of the bitmap, scaled to the writer's
// size when it differs). 0; 1000; 1152 (bitmap can't be locked); the encoder's error; 1005 when
// a write fails; 1066 when the super index is full (nothing is written: the file stays valid).
int AviWriterAddFrame(AviWriter *writer, const BitMap *bitmap, int32_t width, int32_t height);
// Finishes the indexes and headers, closes the file, deletes the temporary file and frees the
// writer (none is ignored). 0 once the file is in place, or 1005 when a write or the close
// failed: the new file is then removed and an older one of its name stays as it was.
int AviWriterClose(AviWriter *writer);
// Gives the file up (removed; an older one of its name stays), deletes the temporary file and
// frees the writer; none is ignored.
void AviWriterDiscard(AviWriter *writer);
// Test hook: the size limits of the first and of every later RIFF part.
void AviWriterSetPartLimits(AviWriter *writer, int64_t first, int64_t later);
