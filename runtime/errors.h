// Error codes, their texts and the error report.
//
// Every failure in the program is an integer code: 0 is no error, 1000 to 1427 are the
// program's errors. A handler sets the argument of the message (SetErrorString or
// SetErrorNumber) just before it returns the code; the interpreter hands the code to
// ReportError; at shutdown GetErrorText turns the final code into its text.
//
// A code maps to a message number (0 to 508) through the code table; the message number
// selects a built-in English text, which a loaded message catalog may replace. A message holds
// at most one "%s" (filled from the error string) or one "%d"/"%ld" (filled from the error
// number). Codes 1064, 1239 and 1265 have no message of their own: they show the error string
// itself.
#pragma once
#include <cstddef>

struct lua_State;

enum {
    ERR_FIRST_CODE = 1000,
    ERR_LAST_CODE = 1427,
    ERR_CODE_COUNT = 428,       // codes 1000 to 1427
    ERR_MESSAGE_COUNT = 509,    // message numbers 0 to 508
    ERR_STRING_SIZE = 1024,     // capacity of the error-argument buffer, terminator included
    ERR_TEXT_SIZE = 1024        // enough for every built-in message with its argument
};

// Message numbers the runtime uses directly (GetErrorString).
enum {
    MSG_OUT_OF_MEMORY = 13,     // text of code 1000
    MSG_UNKNOWN_ERROR = 91,     // "Unknown error code!"
    MSG_CURRENT_LINE = 92,      // "current line"
    MSG_OK = 94,                // "OK"
    MSG_DONE = 95,              // "done"
    MSG_OPENING_SCRIPT = 97,    // "Opening script %s"
    MSG_LOADING_ANIM = 98,      // "Loading animation %s"
    MSG_COMPILING_SCRIPT = 106, // "Compiling script"
    MSG_FAILED = 108,           // "failed"
    MSG_LOADING_SAMPLE = 109,   // "Loading sample %s"
    MSG_CANNOT_OPEN_FONT = 116, // "Cannot open font %s with size %ld!"
    MSG_FILE = 194,             // "File"
    MSG_LOADING_SPRITE = 262,   // "Loading sprite %s"
    MSG_LOADING_MUSIC = 278,    // "Loading music %s"
    MSG_IN_FUNCTION = 280,      // "In function"
    MSG_LOADING_APPLET = 287,   // "Loading applet %s"
    MSG_CANCEL = 307,           // "Cancel"
    MSG_YES = 338,              // "Yes"
    MSG_NO = 339,               // "No"
    MSG_ERROR = 402,            // "Error"
    MSG_OPENING_FONT = 410,     // "Opening font %s"
    MSG_LOADING_BGPIC = 444,    // "Loading background picture %s"
    MSG_LOADING_BRUSH = 445,    // "Loading brush %s"
    MSG_OPENING_FILE = 446      // "Opening file %s"
};

// ---------------------------------------------------------------------------------------------
// The message argument

// Copies text (none counts as "") into the runtime's error-argument buffer, cut to
// ERR_STRING_SIZE - 1 bytes, and returns the buffer.
char *SetErrorString(const char *text);
// Sets the number that fills the "%d"/"%ld" of the next message.
void SetErrorNumber(long number);
// The current error string (never none) and error number.
const char *GetErrorArgString(void);
long GetErrorArgNumber(void);

// A write or close that failed on the file `name`: sets name as the error string and returns
// 1005, whose message then names the file ("...\nFile: name") until the error string or
// number is set again.
int WriteFailure(const char *name);
// Prints "Error: " and the message of a failed write or close on the file `name` on standard
// error, leaving the error argument as it is: how a failure is told that no command can report,
// such as a file closed at the end of the script.
void PrintWriteFailure(const char *name);

// ---------------------------------------------------------------------------------------------
// Tables and texts

// The message number of a code: 0..508, or -1 for the codes that show the error string
// itself (1064, 1239, 1265), or -2 for a code outside 1000-1427.
int GetErrorMessageNumber(int code);
// The text of message number n: the loaded catalog's entry when it has one, else the built-in
// text, else none (n outside 0..508).
const char *GetErrorString(int n);
// The built-in text of message number n, ignoring the catalog (none as above).
const char *GetBuiltInErrorString(int n);

// The message of code, filled with the error argument, into buffer (at most bufsize bytes,
// always terminated when bufsize > 0):
// - a code outside 1000-1427 (0-999 included) gives "Unknown error code!";
// - 1064, 1239 and 1265 give the error string itself;
// - a message holding "%s" is filled with the error string; an error string that is a linked
//   file's virtual name (":::chunk...*name/container") shows only the file's own name, and for
//   the codes 1044, 1045, 1065, 1170, 1356, 1357, 1358 and 1403 only the file part of the
//   error string is shown;
// - else a message holding "%d" or "%ld" is filled with the error number;
// - else the message is copied as it is.
// Returns buffer.
char *FormatErrorMessage(int code, char *buffer, size_t bufsize);

// FormatErrorMessage, plus the place of the error for the report: with RuntimeTag 23 (line
// information) off, or with no state, *file is none and *line 0; with it on, *line is
// GetCurrentLine and *file the name of the source range that holds the error line (for an
// applet), else "---". file and line may be none. Returns buffer.
char *GetErrorText(lua_State *L, int code, char *buffer, size_t bufsize, const char **file,
                   int *line);

// ---------------------------------------------------------------------------------------------
// Error context: the command, source file and line named in the final report

// The command name (initially "----") and the current source file (initially "?").
const char *GetErrorCommandName(void);
const char *GetErrorSourceFile(void);
void SetErrorCommandName(const char *name);   // copied; none gives "----"
void SetErrorSourceFile(const char *source);  // copied; none gives "?"
// Sets the command name back to "----" and ErrorLine to -1 (a report that is not raised).
void ResetErrorContext(void);
// Fills the error context from the interpreter's call stack: the first source that does not
// begin with '?' or '=', the name of the innermost named frame (a native command's name in the
// spelling of its command table), and ErrorLine from stack level 1 when it is -1.
void UpdateErrorContext(lua_State *L);
// The line the user sees for ErrorLine: ErrorLine - first line + line offset + 1 of the applet's
// source range that holds it; -1 when there is no source-range list or no range matches.
int GetCurrentLine(lua_State *L);

// ---------------------------------------------------------------------------------------------
// Reporting

// Stores code as LastErrorCode. When no callback is running (RuntimeTag 11 is 0): with
// exit-on-error on (RuntimeTag 12, default 1) calls UpdateErrorContext, sets StopFlag and
// raises the code (does not return); with it off calls ResetErrorContext and returns 0.
// Inside a callback: with exit-on-error on calls UpdateErrorContext and raises the code (the
// stop flag is left alone); off returns 0.
// Defined with the interpreter (runtime/report_error.cpp).
int ReportError(lua_State *L, int code);

// Shows text in a requester titled "KestroviaPlayer" with one OK button. The body is the text
// alone when plain is set or RuntimeTag 23 is off; else "%s\n%s: %s (%s: %d)" with the text,
// "File", the file part of the error file and "current line" and the line, or, when a command
// name is known, "%s\n%s: %s (%s: %d - %s: %s)" with "In function" and the command name in
// addition. iconKind is an OS_REQ_* kind. Returns the requester's result.
int ShowErrorRequester(lua_State *L, const char *text, int plain, int iconKind);

// ---------------------------------------------------------------------------------------------
// Message catalog (IFF FORM CTLG with FVER and STRS), see runtime/catalog.h

// Loads the catalog file at path through the file layer (the platform start calls it with
// "PROGDIR:Kestrovia.catalog"); a missing or malformed file loads nothing. Returns 1 when a
// catalog is now loaded, else 0.
int LoadCatalog(const char *path);
// Frees the loaded catalog (none loaded is fine).
void FreeCatalog(void);
