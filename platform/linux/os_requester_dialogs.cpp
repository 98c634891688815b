// File, folder and text requesters. SDL has no such dialogs, so they run as helper programs:
// zenity, else kdialog. Neither can filter keystrokes, so a text is checked after it comes back.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/os_internal.h"
#include "platform/linux/os_requester_internal.h"
#include "platform/os.h"

enum { DIALOG_CANCELLED = 0, DIALOG_ANSWERED = 1 };
enum { DIALOG_ZENITY = 0, DIALOG_KDIALOG = 1 };
enum { DIALOG_MAX_OUTPUT = 1 << 20 };

// The argument lists of one dialog for each helper (UTF-8 texts).
struct DialogArgs {
    std::vector<std::string> zenity;
    std::vector<std::string> kdialog;
};

// A path as the helpers want it: UTF-8. A path that already is valid UTF-8 (names from the
// command line and the file system arrive that way) is kept as it is.
static std::string PathToUtf8(const char *path)
{
    char *utf8 = Latin1ToUtf8(path ? path : "");
    std::string out = utf8 ? utf8 : "";
    free(utf8);
    return out;
}

static std::string TextToUtf8(const char *text)
{
    char *utf8 = Latin1TextToUtf8(text ? text : "");
    std::string out = utf8 ? utf8 : "";
    free(utf8);
    return out;
}

// Asks the user: a test hook's answer (pieces separated by "|"), else the helper's output
// (pieces separated by line feeds, the last line feed removed) as Latin-1 in *answer.
static int AskDialog(const char *kindName, const char *title, const DialogArgs &args,
                     std::string *answer, char *separator)
{
    const char *hookAnswer = nullptr;
    int hook = TakeHookAnswer(&hookAnswer);
    if (hook != REQ_HOOK_NONE) {
        std::string what = std::string(kindName) + " requester";
        PrintRequesterLine(title, what.c_str(), hook == REQ_HOOK_ANSWER ? hookAnswer : "<cancel>");
        if (hook == REQ_HOOK_CANCEL) return DIALOG_CANCELLED;
        *answer = hookAnswer;
        *separator = '|';
        return DIALOG_ANSWERED;
    }
    const char *missing = nullptr;
    int helper = DIALOG_ZENITY;
    if (!HelperProgramsAllowed()) missing = "there is no display to show it on";
    else if (FindOnPath("zenity")) helper = DIALOG_ZENITY;
    else if (FindOnPath("kdialog")) helper = DIALOG_KDIALOG;
    else missing = "neither zenity nor kdialog is installed";
    if (missing) {
        fprintf(stderr, "%s: the %s requester cannot be shown: %s; cancelled\n", title, kindName,
                missing);
        return DIALOG_CANCELLED;
    }

    const std::vector<std::string> &list = helper == DIALOG_ZENITY ? args.zenity : args.kdialog;
    std::vector<char *> argv;
    for (const std::string &a : list) argv.push_back((char *)a.c_str());
    argv.push_back(nullptr);
    HelperRun run = {};
    run.argv = argv.data();
    run.captureOutput = 1;
    run.maxOutput = DIALOG_MAX_OUTPUT;
    int how = RunHelper(&run);
    if (how == HELPER_FAILED) {
        fprintf(stderr, "%s: %s could not be run; the %s requester is cancelled\n", title,
                argv[0], kindName);
        return DIALOG_CANCELLED;
    }
    // A non-zero exit, a signal or a stop of the player: cancelled.
    int answered = how == HELPER_EXITED && run.exitStatus == 0;
    if (answered) {
        size_t n = run.outputSize;
        if (n && run.output[n - 1] == '\n') n--;
        char *latin1 = Utf8TextToLatin1(run.output ? run.output : "", n);
        if (latin1) *answer = latin1;
        answered = latin1 != nullptr;
        free(latin1);
        *separator = '\n';
    }
    free(run.output);
    return answered ? DIALOG_ANSWERED : DIALOG_CANCELLED;
}

// "png|.JPG" -> "*.[pP][nN][gG] *.[jJ][pP][gG]": globs that ignore case. Empty for every file.
static std::string FilterGlobs(const char *pattern)
{
    if (!pattern || !*pattern || *pattern == '*' || strcmp(pattern, "#?") == 0) return std::string();
    std::string globs;
    std::string utf8 = TextToUtf8(pattern);
    size_t start = 0;
    while (start <= utf8.size()) {
        size_t bar = utf8.find('|', start);
        if (bar == std::string::npos) bar = utf8.size();
        std::string ext = utf8.substr(start, bar - start);
        start = bar + 1;
        if (ext.empty() || ext == ".") continue;
        if (ext[0] != '.') ext = "." + ext;
        if (!globs.empty()) globs += ' ';
        globs += '*';
        for (char c : ext) {
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
                globs += '[';
                globs += (char)(c | 0x20);
                globs += (char)(c & ~0x20);
                globs += ']';
            } else if (c == '[' || c == ']' || c == '*' || c == '?') {
                globs += '[';
                globs += c;
                globs += ']';
            } else {
                globs += c;
            }
        }
    }
    return globs;
}

// The start of a dialog: the initial path joined with the initial file; with no file the
// path ends in '/' so that the dialog opens inside it.
static std::string StartName(const char *initialPath, const char *initialFile)
{
    std::string start = PathToUtf8(initialPath && *initialPath ? initialPath : "");
    if (!start.empty() && start.back() != '/') start += '/';
    if (initialFile && *initialFile) start += PathToUtf8(initialFile);
    return start;
}

static void ClearResult(OsFileRequestResult *result)
{
    memset(result, 0, sizeof *result);
}

void OsFreeFileRequest(OsFileRequestResult *result)
{
    if (!result) return;
    free(result->directory);
    free(result->names);
    ClearResult(result);
}

// Fills the result from chosen paths: the directory of the first one, and the name part of
// every one. 0, or 1000 when memory runs out.
static int FillResult(const std::string &answer, char separator, OsFileRequestResult *result)
{
    std::string directory, names;
    int count = 0;
    size_t start = 0;
    while (start <= answer.size()) {
        size_t end = answer.find(separator, start);
        if (end == std::string::npos) end = answer.size();
        std::string path = answer.substr(start, end - start);
        start = end + 1;
        size_t slash = path.rfind('/');
        std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        if (name.empty()) continue;
        if (count == 0 && slash != std::string::npos) directory = path.substr(0, slash ? slash : 1);
        names.append(name.c_str(), name.size() + 1);
        count++;
    }
    if (count == 0) return 0;
    result->directory = strdup(directory.c_str());
    result->names = (char *)malloc(names.size());
    if (!result->directory || !result->names) {
        OsFreeFileRequest(result);
        return 1000;
    }
    memcpy(result->names, names.data(), names.size());
    result->count = count;
    result->chosen = 1;
    return 0;
}

int OsFileRequest(const char *title, const char *pattern, int mode, const char *initialPath,
                  const char *initialFile, OsFileRequestResult *result)
{
    ClearResult(result);
    if (!title) title = "";
    DialogArgs args;
    std::string utitle = TextToUtf8(title);
    std::string start = StartName(initialPath, initialFile);
    std::string globs = FilterGlobs(pattern);

    args.zenity = {"zenity", "--file-selection", "--title=" + utitle};
    if (mode == OS_FILEREQ_MULTIPLE) {
        args.zenity.push_back("--multiple");
        args.zenity.push_back("--separator=\n");
    }
    if (mode == OS_FILEREQ_SAVE) args.zenity.push_back("--save");
    if (!start.empty()) args.zenity.push_back("--filename=" + start);
    if (!globs.empty()) args.zenity.push_back("--file-filter=" + globs);

    args.kdialog = {"kdialog", "--title", utitle};
    if (mode == OS_FILEREQ_MULTIPLE) {
        args.kdialog.push_back("--multiple");
        args.kdialog.push_back("--separate-output");
    }
    args.kdialog.push_back(mode == OS_FILEREQ_SAVE ? "--getsavefilename" : "--getopenfilename");
    args.kdialog.push_back(start.empty() ? std::string(".") : start);
    if (!globs.empty()) args.kdialog.push_back(globs);

    std::string answer;
    char separator;
    if (AskDialog("file", title, args, &answer, &separator) == DIALOG_CANCELLED) return 0;
    // A save or single-file requester takes one path, whatever the helper or hook gave.
    if (mode != OS_FILEREQ_MULTIPLE) answer = answer.substr(0, answer.find(separator));
    return FillResult(answer, separator, result);
}

int OsPathRequest(const char *title, int save, const char *initialPath, OsFileRequestResult *result)
{
    ClearResult(result);
    if (!title) title = "";
    DialogArgs args;
    std::string utitle = TextToUtf8(title);
    std::string start = StartName(initialPath, nullptr);
    args.zenity = {"zenity", "--file-selection", "--directory", "--title=" + utitle};
    if (save) args.zenity.push_back("--save");
    if (!start.empty()) args.zenity.push_back("--filename=" + start);
    args.kdialog = {"kdialog", "--title", utitle, "--getexistingdirectory",
                    start.empty() ? std::string(".") : start};

    std::string answer;
    char separator;
    if (AskDialog("folder", title, args, &answer, &separator) == DIALOG_CANCELLED) return 0;
    answer = answer.substr(0, answer.find(separator));
    if (answer.empty()) return 0;
    result->directory = strdup(answer.c_str());
    if (!result->directory) return 1000;
    result->chosen = 1;
    return 0;
}

int OsIsNumericText(const char *text, size_t length)
{
    if (length == 0) return 0;
    size_t i = text[0] == '-' ? 1 : 0;
    int dots = 0;
    for (; i < length; i++) {
        if (text[i] == '.') {
            if (++dots > 1) return 0;
        } else if (text[i] < '0' || text[i] > '9') {
            return 0;
        }
    }
    return 1;
}

// Cuts the text to a positive maximum length and, for numbers, to its longest prefix that is
// a number ("0" when none is).
static std::string CheckEnteredText(std::string text, int maxLength, int numeric)
{
    if (maxLength > 0 && text.size() > (size_t)maxLength) text.resize((size_t)maxLength);
    if (!numeric) return text;
    size_t n = text.size();
    while (n > 0 && !OsIsNumericText(text.data(), n)) n--;
    return n ? text.substr(0, n) : std::string("0");
}

int OsStringRequest(const char *title, const char *prompt, const char *defaultText, char *buffer,
                    int maxLength, int password, int numeric)
{
    buffer[0] = 0;
    if (!title) title = "";
    std::string initial = defaultText ? defaultText : "";
    if (numeric && !OsIsNumericText(initial.data(), initial.size())) initial = "0";
    if (maxLength > 0 && initial.size() > (size_t)maxLength) initial.resize((size_t)maxLength);

    DialogArgs args;
    std::string utitle = TextToUtf8(title), uprompt = TextToUtf8(prompt);
    std::string uinitial = TextToUtf8(initial.c_str());
    args.zenity = {"zenity", "--entry", "--title=" + utitle, "--text=" + uprompt,
                   "--entry-text=" + uinitial};
    if (password) args.zenity.push_back("--hide-text");
    args.kdialog = {"kdialog", "--title", utitle};
    if (password) {
        args.kdialog.push_back("--password");
        args.kdialog.push_back(uprompt);
    } else {
        args.kdialog.push_back("--inputbox");
        args.kdialog.push_back(uprompt);
        args.kdialog.push_back(uinitial);
    }

    std::string answer;
    char separator;
    if (AskDialog("text", title, args, &answer, &separator) == DIALOG_CANCELLED) return 1003;
    // A text is one line: a helper's later lines are no part of it.
    if (separator == '\n') answer = answer.substr(0, answer.find('\n'));
    answer = CheckEnteredText(answer, maxLength, numeric);
    size_t n = answer.size() < OS_STRINGREQ_SIZE - 1 ? answer.size() : OS_STRINGREQ_SIZE - 1;
    memcpy(buffer, answer.data(), n);
    buffer[n] = 0;
    return 0;
}
