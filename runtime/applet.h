// The applet container: the AppletRecord and its declarations, and LoadScriptFile.
#pragma once
#include <cstdint>

#include "runtime/filelayer.h"

struct lua_State;
struct ClArgsRecord;

// One region of a display's drag or size region list.
struct RegionEntry {
    int32_t type, x, y, width, height;
};

enum { MAX_DISPLAY_REGIONS = 64 };

// Display flag bits (display declarations and the AppletRecord's display flags).
enum {
    DISPF_BORDERLESS = 1, DISPF_SIZEABLE = 2, DISPF_FIXED = 4, DISPF_NOMODESWITCH = 8,
    DISPF_HIDEPOINTER = 16, DISPF_NOHIDE = 32, DISPF_AUTOSCALE = 64, DISPF_SMOOTHSCALE = 128,
    DISPF_LAYERSCALE = 256, DISPF_BGPIC = 0x200, DISPF_ACTIVE = 0x400, DISPF_HIDDEN = 0x800,
    DISPF_LAYERS = 0x1000, DISPF_USEQUARTZ = 0x2000, DISPF_NOCLOSE = 0x4000,
    DISPF_KEEPPROPORTIONS = 0x8000, DISPF_FITSCALE = 0x10000
};

// A display declaration (block of a type-10 PreprocObject).
struct DisplayDecl {
    char title[256];
    uint32_t flags;
    uint32_t givenMask;            // flags the applet set explicitly
    uint32_t bgpicId;
    int32_t x, y, width, height;
    uint32_t color;
    int32_t scaleWidth, scaleHeight;
    RegionEntry dragRegions[MAX_DISPLAY_REGIONS];
    RegionEntry sizeRegions[MAX_DISPLAY_REGIONS];
    int32_t dragRegionCount;
    int32_t sizeRegionCount;
    int32_t fillStyle;             // default 1
    uint32_t gradientEndColor;
    int32_t gradientAngle;
    uint32_t textureBrush;
    int32_t textureX, textureY;
};

// Declaration types.
enum {
    PREPROC_BGPIC = 0, PREPROC_BRUSH = 1, PREPROC_ANIM = 2, PREPROC_MUSIC = 3, PREPROC_SAMPLE = 4,
    PREPROC_BUTTON = 5, PREPROC_KEYDOWN = 6, PREPROC_SPRITE = 7, PREPROC_FILE = 8, PREPROC_FONT = 9,
    PREPROC_DISPLAY = 10
};

// Per-type blocks: BGPic (7 words), brush/anim/sprite (11 words), button (4 words).
struct BGPicDeclBlock {
    int32_t fillStyle;
    uint32_t color1, color2;
    int32_t gradientAngle;
    uint32_t textureBrush;
    int32_t textureX, textureY;
};
struct PictureDeclBlock {
    int32_t width, height, x, y, frames, framesPerRow;
    int32_t globalAlpha;           // -1 = none
    int32_t cache, cacheAlpha, cachedLoad, fromDisk;
};
struct ButtonDeclBlock {
    int32_t values[4];
};

// One declared object.
struct PreprocObject {
    PreprocObject *next;
    int type;
    uint32_t id;
    int word;                      // set to 1
    char *fileName;                // allocated
    uint32_t nameOffset, nameLength;
    uint32_t linkOffset, linkSize; // linkSize 0 = not linked
    uint32_t param1;               // transparency colour, or font size
    uint32_t param2;               // load-alpha flag, or font engine (bits 0-15) + no-cache (bit 16)
    int line;                      // source line of the declaration
    void *block;                   // per-type block (allocated) or nullptr
    char containerPath[1024];
    int quiet;
};

// Which source lines of the compiled code belong to which file.
struct SourceRange {
    SourceRange *next;
    int32_t firstLine, lastLine, lineOffset;
    char fileName[1024];           // shown to the user
    char sourceName[1024];         // source the range belongs to
};

// Backfill kinds.
enum { BACKFILL_NONE = 0, BACKFILL_COLOR = 1, BACKFILL_GRADIENT = 2, BACKFILL_TEXTURE = 3, BACKFILL_PICTURE = 4 };

// The loaded applet: one per process, allocated cleared, kept in the registry under "applet".
struct AppletRecord {
    unsigned char *bytecode;       // bytecode blob (allocated)
    uint32_t bytecodeLength;
    char infoTexts[5][256];        // program information texts (sections 0x0b-0x0f)
    PreprocObject *objects;        // declared objects, in file order
    SourceRange *sourceRanges;
    LinkedFileEntry *linkedFiles;
    int noGlobalDisplaySettings;
    int desktopSizedFirstDisplay;
    uint32_t displayFlags;         // option bits (see DISPF_*)
    int32_t scrWidth, scrHeight, depth;
    int32_t scaleWidth, scaleHeight;   // a negative value is a percentage
    int32_t backfillKind;
    int32_t backfillStartColor, backfillEndColor;
    int32_t backfillPicX, backfillPicY;
    uint32_t backfillBrushId;
    int32_t scalePicture;
    int32_t backfillPicTrans;
    char backfillBrushFile[1024];
    int32_t displayMode;
    int32_t titleBarWord;

    PreprocObject *defaultDisplay; // the declaration the display sections edit, or nullptr
    int64_t appletStart;           // file offset of the applet in the file read: the base of
                                   // linked-data offsets (0 once a packed applet is unpacked)
};

// The record compiled into the executable that tells where an appended applet starts.
enum { APPLET_LOCATOR_SIZE = 53, APPLET_LOCATOR_OFFSET = 40 };
extern volatile const unsigned char AppletLocator[APPLET_LOCATOR_SIZE];
// The offset word of the AppletLocator (big-endian bytes 40-43); 0xdeadc0de when no applet
// is appended. Read through a volatile access so that it is never folded.
uint32_t ReadAppletLocatorOffset(void);

// Sets the record's display settings to their not-given values.
void SetAppletDisplayDefaults(AppletRecord *applet);

// Reads the applet named by clargs->scriptPath into the record; 0 or an error code.
int LoadScriptFile(ClArgsRecord *clargs, AppletRecord *applet, lua_State *L);

// Appends the default display declaration (id 1, 640 x 480, centred); 0 or 1000.
int AddDefaultDisplayDecl(AppletRecord *applet, const char *title);

// Appends one declaration; blocks are copied. 0 or 1000.
int AddPreprocObject(AppletRecord *applet, int type, uint32_t id, const char *name, uint32_t param1,
                     uint32_t param2, int line, int word, const void *block);

// Frees one declaration (name, block, node).
void FreePreprocObject(PreprocObject *obj);

// Frees everything the record owns (bytecode, declarations, linked files, source ranges);
// the record itself stays.
void FreeAppletContents(AppletRecord *applet);
