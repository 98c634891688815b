// The player process: start-up, the one shutdown path, and the start-up settings record.
#pragma once
#include <cstdint>

struct lua_State;
struct AppletRecord;

// A name given on the command line or in the configuration file that is no option.
struct UserArgNode {
    UserArgNode *next;
    char *name;    // allocated copy
    char *value;   // allocated copy, or nullptr
};

// Number of icon options (ICON16X16 ... ICON512X512).
enum { ICON_OPTION_COUNT = 7 };

// Start-up settings: one per process, allocated cleared, kept in the registry under "clargs".
struct ClArgsRecord {
    uint32_t isApplet;             // set by LoadScriptFile when the script is an applet
    char scriptPath[1024];         // the script (or, unpacked, its temporary copy)
    char exePath[1024];            // the player's own executable
    char compileOutput[1024];      // COMPILE value (output name)
    char scriptAlias[1024];        // SCRIPTALIAS value: the name shown in "Opening script"
    int quiet;                     // QUIET (forced on for an appended applet)
    int soundOff;                  // NOSOUND
    int masterVolume;              // MASTERVOLUME, default 30
    int compile;                   // COMPILE given
    uint32_t exeType;              // EXETYPE bits
    char errorText[1024];          // final error text, written by GetErrorText at shutdown
    int compress;                  // COMPRESS
    int overwrite;                 // OVERWRITE
    int lockSettings;              // LOCKSETTINGS
    UserArgNode *userArgs;         // names that are no options, in the order met

    // Option copies kept until shutdown (written by ApplyStartupOptions).
    int debugDevice;               // DEBUGDEVICE: final report on standard output
    char *private1File;            // PRIVATE1: command list export file (allocated)
    char *private2File;            // PRIVATE2: constant names export file (allocated)
    char private3[1024];           // PRIVATE3 text handed to OpenInitialDisplay
    char *iconFiles[ICON_OPTION_COUNT];  // ICON16X16 ... ICON512X512 (allocated copies)
};

// Files deleted at shutdown (an unpacked applet).
struct TempFileNode {
    TempFileNode *next;
    char *path;                    // allocated
};

// 0 when no applet is appended to the executable, else the applet's file offset, taken
// from the AppletLocator at start-up. It is the base of linked-data offsets, so LoadScriptFile
// sets it back to 0 once a packed appended applet has been unpacked to a file of its own.
extern uint32_t AppendedAppletOffset;

// The whole life of the player process; returns the exit status.
int PlayerMain(int argc, char **argv);

// Closes everything in the fixed order, reports the final error once (code > 0 and not
// 1003) and frees both records and the state. Always returns 0.
int PlayerCleanup(int code, lua_State *L, ClArgsRecord *clargs, AppletRecord *applet);

// Adds a copy of path to the temporary-file list; returns 0 or 1000.
int AddTempFile(const char *path);
// Deletes every file of the temporary-file list and frees the list.
void DeleteTempFiles(void);

// Start-up step 13: the two records in the registry, the include-level table, and "_g" in the
// globals.
void SetUpRegistry(lua_State *L, ClArgsRecord *clargs, AppletRecord *applet);

// Loads the applet's bytecode into the interpreter, installs the event pump as line hook.
int CompileScript(lua_State *L, ClArgsRecord *clargs, AppletRecord *applet);
