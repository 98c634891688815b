// Command-line options and the configuration file.
//
// The option text (the command line) and the configuration file named after the script are
// matched against one table of 56 options. Their values land in the option slots; names that
// match no option become (name, value) pairs for the script. ApplyStartupOptions then turns the
// slots into fields of the ClArgsRecord and the AppletRecord.
//
// Use at start-up:
//   OptionsRecord opts;  InitOptionsRecord(&opts);
//   GatherOptionText(argc, argv, text, sizeof text);   ParseOptionText(&opts, text);
//   StoreCompileOutput(clargs, &opts);
//   ... choose the script ...
//   MakeConfigFileName(script, appended, name, sizeof name);  ReadConfigFile(&opts, name);
//   ApplyStartupOptions(clargs, &opts, applet);  FreeOptionsRecord(&opts);
#pragma once
#include <cstddef>

struct ClArgsRecord;
struct AppletRecord;
struct UserArgNode;   // runtime/player.h

enum {
    OPTION_COUNT = 56,          // entries of the option table
    OPTION_SLOT_COUNT = 63,     // slots indexed by option id
    OPTION_TEXT_SIZE = 4096,    // the joined command line, terminator included
    OPTION_NAME_MAX = 127       // longest name of a configuration entry
};

// Option ids (slot numbers). Slot 0 receives the script name.
enum {
    OPT_SCRIPT = 0,
    OPT_WINDOW = 1, OPT_BORDERLESS = 2, OPT_SIZEABLE = 3, OPT_BACKFILL = 4, OPT_HIDETITLEBAR = 5,
    OPT_BRUSH = 6, OPT_STARTCOLOR = 7, OPT_ENDCOLOR = 8, OPT_DEPTH = 9, OPT_COMPILE = 10,
    OPT_QUIET = 11, OPT_PUBSCREEN = 12, OPT_BRUSHFILE = 13, OPT_MASTERVOLUME = 14, OPT_FIXED = 15,
    OPT_NOSOUND = 16, OPT_EXETYPE = 17, OPT_SCALEPICTURE = 18, OPT_PICXPOS = 19,
    OPT_PICYPOS = 20, OPT_PICTRANS = 21, OPT_FULLSCREEN = 22, OPT_PRIVATE1 = 23,
    OPT_PRIVATE2 = 24, OPT_USEQUARTZ = 25, OPT_NOHIDE = 26, OPT_OWNSCREEN = 27,
    OPT_SCRWIDTH = 28, OPT_SCRHEIGHT = 29, OPT_FAKEFULLSCREEN = 30, OPT_HIDEPOINTER = 31,
    OPT_NOMODESWITCH = 32, OPT_LINKFILES = 33, OPT_DEBUGDEVICE = 34, OPT_COMPRESS = 35,
    OPT_OVERWRITE = 36, OPT_AUTOSCALE = 37, OPT_SCALEWIDTH = 38, OPT_SCALEHEIGHT = 39,
    OPT_SMOOTHSCALE = 40, OPT_LAYERSCALE = 41, OPT_USEWPA = 42, OPT_WPAMODE = 43,
    OPT_LOCKSETTINGS = 48, OPT_LINKFONTS = 49, OPT_PRIVATE3 = 50, OPT_SCRIPTALIAS = 52,
    OPT_ICON16X16 = 53, OPT_ICON24X24 = 54, OPT_ICON32X32 = 55, OPT_ICON48X48 = 56,
    OPT_ICON128X128 = 57, OPT_ICON256X256 = 58, OPT_ICON512X512 = 59,
    OPT_KEEPPROPORTIONS = 60, OPT_FITSCALE = 61
};

// One entry of the option table; options that take no value are switches.
struct OptionDef {
    const char *name;
    int id;
    int takesValue;
};
extern const OptionDef OptionTable[OPTION_COUNT];

// The option table's entry for a name (whole name, without regard to case), or none.
const OptionDef *FindOption(const char *name);

// A linked-file list entry read by LINKFILES / LINKFONTS.
struct LinkNameNode {
    LinkNameNode *next;
    char *name;                 // allocated; fonts carry the prefix "::font:"
};

// What the option text and the configuration file gave.
struct OptionsRecord {
    // Switches: 0 or 1. Value options and slot 0: none, or the value text inside one of the
    // working copies of the option text and the configuration text.
    int on[OPTION_SLOT_COUNT];
    const char *value[OPTION_SLOT_COUNT];
    UserArgNode *userArgs;      // names that are no options, command line first (allocated)
    UserArgNode **userTail;     // the terminating link of userArgs (none: not known yet)
    void *textBlocks;           // the working copies (allocated, chained; freed together)
    LinkNameNode *linkNames;    // LINKFILES / LINKFONTS entries (COMPILE only)
};

void InitOptionsRecord(OptionsRecord *opts);
// A working copy of n bytes of text (terminated) that lives until FreeOptionsRecord; none when
// memory runs out.
char *AddOptionTextBlock(OptionsRecord *opts, const char *text, size_t n);
// Frees the texts, the user-argument list still held and the link names; the record is then
// empty again.
void FreeOptionsRecord(OptionsRecord *opts);

// Appends a user argument with copies of the first nameLen bytes of name and of value (value
// may be none). The node, or none when memory runs out.
UserArgNode *AddUserArg(OptionsRecord *opts, const char *name, size_t nameLen, const char *value);

// Joins argv[1..argc-1] with single blanks into buffer: an argument beginning with '-' as it is,
// any other in double quotes. 0, or 1060 when the text does not fit (the buffer then holds "").
int GatherOptionText(int argc, char **argv, char *buffer, size_t size);

// Parses an option text into the slots and the user-argument list: 0, 1060 "Wrong arguments
// specified!" (a value missing, a second free word, an unclosed quote, a dash without a name),
// or 1000.
int ParseOptionText(OptionsRecord *opts, const char *text);

// Copies the COMPILE value (when given) into the record's compile output name.
void StoreCompileOutput(ClArgsRecord *clargs, const OptionsRecord *opts);

// The configuration file's name: the script path with the extension of its file name replaced
// by ".ini" (a name without '.' keeps its whole length). With an applet appended to the
// executable (appended non-zero) the file is looked for in the executable's own directory
// (OsGetBundlePath). 1, or 0 when the name does not fit or the directory is unknown.
int MakeConfigFileName(const char *scriptPath, int appended, char *buffer, size_t size);

// Parses a configuration text (len bytes; a zero byte ends it early): entries "NAME = value",
// '#' and '[' lines skipped. Entries come after the command line, so they win. 0, 1363 "Syntax
// error in configuration file!", or 1000.
int ParseConfigText(OptionsRecord *opts, const char *text, size_t len);
// Reads the configuration file at path through the file layer and parses it; a file that cannot
// be opened is no error (0).
int ReadConfigFile(OptionsRecord *opts, const char *path);

// Applies the slots to the two records in the documented order; 0 or an error code: 1060,
// 1243 "Wrong backfill configuration!", 1266 "Unknown executable type specified!", 1305, 1000,
// or StrToNumber's 1018/1024. The user-argument list moves to clargs first (appended behind
// any names it holds already), so it is freed with the record even when an error follows.
int ApplyStartupOptions(ClArgsRecord *clargs, OptionsRecord *opts, AppletRecord *applet);

// Reads a LINKFILES / LINKFONTS list file: one entry a line (double quotes allowed, blanks
// around it); fonts lose a trailing ".font" and get the prefix "::font:"; names already listed
// are skipped. 0, 1305 "Syntax error in link file database!" (with the error string set to the
// file), 1045 when the file cannot be read, or 1000.
int ReadLinkFileDatabase(OptionsRecord *opts, const char *path, int fonts);
int ParseLinkFileText(OptionsRecord *opts, const char *text, size_t len, int fonts);
