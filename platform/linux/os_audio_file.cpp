// Sound files through libsndfile, read through the caller's callbacks (sf_open_virtual), so
// files linked into an applet open directly. 8- and 16-bit PCM of a container that stores its
// samples as they are is read raw, with its sign and byte order kept; everything else is decoded
// to 32-bit floats. A compressed container (FLAC, Ogg, MPEG, ...) reports no bits whatever
// subtype libsndfile names for it: its raw bytes are no samples.
#include "platform/os.h"

#include <sndfile.h>

#include <cstdlib>
#include <cstring>

struct OsAudioFile {
    SNDFILE *sf;
    OsAudioFileIO io;
    OsAudioFileInfo info;
    int major;
    int raw;
    int aifc;           // an AIFF-C file (libsndfile names both kinds AIFF)
    int64_t at;         // the frame the decoder reads next
};

static sf_count_t VioSize(void *user)
{
    const OsAudioFileIO *io = static_cast<const OsAudioFileIO *>(user);
    return io->size(io->user);
}
static sf_count_t VioSeek(sf_count_t offset, int whence, void *user)
{
    const OsAudioFileIO *io = static_cast<const OsAudioFileIO *>(user);
    return io->seek(io->user, offset, whence);
}
static sf_count_t VioRead(void *ptr, sf_count_t count, void *user)
{
    const OsAudioFileIO *io = static_cast<const OsAudioFileIO *>(user);
    return io->read(io->user, ptr, count);
}
static sf_count_t VioWrite(const void *, sf_count_t, void *)
{
    return 0;
}
static sf_count_t VioTell(void *user)
{
    const OsAudioFileIO *io = static_cast<const OsAudioFileIO *>(user);
    return io->tell(io->user);
}

// Bits of a PCM or floating-point subtype, 0 for compressed data.
static int SubtypeBits(int subtype)
{
    switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return 8;
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT: return 32;
    case SF_FORMAT_DOUBLE: return 64;
    default: return 0;
    }
}

// Containers whose 8- and 16-bit PCM lies in the file exactly as sf_read_raw delivers it.
static int StoresRawPcm(int major)
{
    switch (major) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_W64:
    case SF_FORMAT_RF64:
    case SF_FORMAT_AIFF:
    case SF_FORMAT_AU:
    case SF_FORMAT_CAF:
    case SF_FORMAT_SD2:
    case SF_FORMAT_IRCAM:
    case SF_FORMAT_NIST:
    case SF_FORMAT_PAF:
    case SF_FORMAT_SVX:
    case SF_FORMAT_VOC:
    case SF_FORMAT_AVR:
    case SF_FORMAT_HTK:
    case SF_FORMAT_MAT4:
    case SF_FORMAT_MAT5:
    case SF_FORMAT_PVF:
    case SF_FORMAT_MPC2K: return 1;
    default: return 0;
    }
}

// Opens the decoder on the file from its start.
static SNDFILE *OpenDecoder(OsAudioFile *f, SF_INFO *sfi)
{
    SF_VIRTUAL_IO vio = {VioSize, VioSeek, VioRead, VioWrite, VioTell};
    *sfi = SF_INFO{};
    f->io.seek(f->io.user, 0, SEEK_SET);
    f->at = 0;
    return sf_open_virtual(&vio, SFM_READ, sfi, &f->io);
}

int OsOpenAudioFile(const OsAudioFileIO *io, OsAudioFile **file, OsAudioFileInfo *info)
{
    *file = nullptr;
    OsAudioFile *f = static_cast<OsAudioFile *>(calloc(1, sizeof(OsAudioFile)));
    if (!f) return 1000;
    f->io = *io;
    // The form type is read before the decoder has the file, whose place it must not move.
    char head[12] = {};
    f->io.seek(f->io.user, 0, SEEK_SET);
    f->aifc = f->io.read(f->io.user, head, 12) == 12 && memcmp(head, "FORM", 4) == 0 && memcmp(head + 8, "AIFC", 4) == 0;
    SF_INFO sfi;
    f->sf = OpenDecoder(f, &sfi);
    if (!f->sf) {
        free(f);
        return 1235;
    }
    if (sfi.frames <= 0 || sfi.samplerate < 1 || sfi.channels < 1) {
        sf_close(f->sf);
        free(f);
        return 1294;
    }
    f->major = sfi.format & SF_FORMAT_TYPEMASK;
    int subtype = sfi.format & SF_FORMAT_SUBMASK;
    OsAudioFileInfo *in = &f->info;
    in->frames = sfi.frames;
    in->rate = sfi.samplerate;
    in->channels = sfi.channels;
    in->bits = StoresRawPcm(f->major) ? SubtypeBits(subtype) : 0;
    f->raw = in->bits == 8 || in->bits == 16;
    if (f->raw) {
        in->isSigned = subtype != SF_FORMAT_PCM_U8;
        // Raw bytes need swapping on this little-endian host exactly when they are big-endian.
        in->bigEndian = in->bits == 16 && sf_command(f->sf, SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) != 0;
        in->bytesPerFrame = in->channels * in->bits / 8;
    } else {
        in->isFloat = 1;
        in->isSigned = 1;
        in->bytesPerFrame = in->channels * (int)sizeof(float);
    }
    *info = *in;
    *file = f;
    return 0;
}

// Reads on from where the decoder stands.
static int64_t ReadOn(OsAudioFile *file, void *buffer, int64_t frames)
{
    int64_t got;
    if (file->raw) {
        int bpf = file->info.bytesPerFrame;
        sf_count_t bytes = sf_read_raw(file->sf, buffer, frames * bpf);
        got = bytes > 0 ? bytes / bpf : 0;
        // a partial frame leaves the decoder between frames: the next read seeks
        if (bytes > 0 && bytes % bpf) file->at = -1;
    } else {
        sf_count_t n = sf_readf_float(file->sf, static_cast<float *>(buffer), frames);
        got = n > 0 ? n : 0;
    }
    if (file->at >= 0) file->at += got;
    return got;
}

// Puts the decoder at the frame. Some formats cannot seek at all (GSM 6.10, not even to frame
// 0): the decoder is then opened again from the start when it stands past the frame, and reads
// on into the buffer (which holds `room` frames) up to it. 1 when it stands there.
static int MoveTo(OsAudioFile *file, int64_t position, void *buffer, int64_t room)
{
    if (file->at == position) return 1;
    sf_count_t moved = sf_seek(file->sf, position, SEEK_SET);
    if (moved >= 0) file->at = moved;
    if (file->at == position) return 1;
    if (file->at < 0 || file->at > position) {
        sf_close(file->sf);
        SF_INFO sfi;
        file->sf = OpenDecoder(file, &sfi);
        if (!file->sf) return 0;
    }
    while (file->at >= 0 && file->at < position) {
        int64_t step = position - file->at < room ? position - file->at : room;
        if (ReadOn(file, buffer, step) == 0) return 0;
    }
    return file->at == position;
}

int64_t OsReadAudioFile(OsAudioFile *file, int64_t position, void *buffer, int64_t frames)
{
    if (!file || !file->sf || frames <= 0 || position < 0) return 0;
    if (!MoveTo(file, position, buffer, frames)) return 0;
    return ReadOn(file, buffer, frames);
}

void OsCloseAudioFile(OsAudioFile *file)
{
    if (!file) return;
    if (file->sf) sf_close(file->sf);
    free(file);
}

const char *OsAudioFormatName(OsAudioFile *file)
{
    switch (file ? file->major : 0) {
    case SF_FORMAT_AIFF: return file->aifc ? "AIFC" : "AIFF";
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX: return "RIFF WAVE";
    case SF_FORMAT_SD2: return "Sound Designer 2";
    case SF_FORMAT_AU: return "NeXT";
    case SF_FORMAT_MPEG: return "MPEG Audio";
    case SF_FORMAT_CAF: return "Core Audio";
    default: return "Mac Audio File";
    }
}
