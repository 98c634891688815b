// File, folder and text requesters and OpenURL driven through fake zenity, kdialog and xdg-open
// programs: the argument lists they receive, how their output is read, and how a cancel, a
// killed helper or a stop of the player ends a requester.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/os.h"
#include "tests/stdlib/fake_helpers.h"

namespace {

using Strings = std::vector<std::string>;

// What a requester gave, "directory: name;name;" ("-" when cancelled); the result is freed.
std::string Chosen(OsFileRequestResult *r)
{
    std::string all = r->chosen ? std::string(r->directory) + ":" : "-";
    const char *p = r->names;
    for (int i = 0; i < r->count; i++, p += strlen(p) + 1) all += " " + std::string(p) + ";";
    OsFreeFileRequest(r);
    return all;
}

TEST(FileRequester, ZenityGetsEveryTextAsOneArgumentAndItsOutputIsSplit)
{
    FakeHelpers fakes;
    // Two files, the second with an é in UTF-8.
    fakes.Add("zenity", "printf '/tmp/pics/one.png\\n/tmp/pics/tw\\303\\251.png\\n'");
    OsFileRequestResult r;
    ASSERT_EQ(0, OsFileRequest("Pick; rm -rf $(x) `y` \xe9", "png|.JPG", OS_FILEREQ_MULTIPLE,
                               "/start dir", "first.png", &r));
    EXPECT_EQ(fakes.Args("zenity"),
              (Strings{"--file-selection", "--title=Pick; rm -rf $(x) `y` \xc3\xa9", "--multiple",
                       "--separator=\n", "--filename=/start dir/first.png",
                       "--file-filter=*.[pP][nN][gG] *.[jJ][pP][gG]"}));
    EXPECT_EQ(Chosen(&r), "/tmp/pics: one.png; tw\xe9.png;");
}

TEST(FileRequester, ModesAndPatternsBuildTheirArguments)
{
    FakeHelpers fakes;
    fakes.Add("zenity", "echo /out/new.txt");
    struct {
        int mode;
        const char *pattern, *path, *file;
        Strings args;
    } cases[] = {
        {OS_FILEREQ_OPEN, "", nullptr, nullptr, {"--file-selection", "--title=T"}},
        {OS_FILEREQ_OPEN, "#?", "/a/", nullptr, {"--file-selection", "--title=T", "--filename=/a/"}},
        {OS_FILEREQ_OPEN, "*.png", "", "x", {"--file-selection", "--title=T", "--filename=x"}},
        {OS_FILEREQ_SAVE, "txt|", "/out", nullptr,
         {"--file-selection", "--title=T", "--save", "--filename=/out/", "--file-filter=*.[tT][xX][tT]"}},
    };
    for (const auto &c : cases) {
        OsFileRequestResult r;
        ASSERT_EQ(0, OsFileRequest("T", c.pattern, c.mode, c.path, c.file, &r));
        EXPECT_EQ(fakes.Args("zenity"), c.args) << c.pattern;
        EXPECT_EQ(Chosen(&r), "/out: new.txt;");
    }
}

TEST(FileRequester, KdialogServesWhenZenityIsMissing)
{
    FakeHelpers fakes;
    fakes.Add("kdialog", "printf '/k/a.txt\\n/k/b.txt\\n'");
    OsFileRequestResult r;
    ASSERT_EQ(0, OsFileRequest("T", "txt", OS_FILEREQ_MULTIPLE, "/start", nullptr, &r));
    EXPECT_EQ(fakes.Args("kdialog"), (Strings{"--title", "T", "--multiple", "--separate-output",
                                              "--getopenfilename", "/start/", "*.[tT][xX][tT]"}));
    EXPECT_EQ(Chosen(&r), "/k: a.txt; b.txt;");

    ASSERT_EQ(0, OsPathRequest("Where", 0, nullptr, &r));
    EXPECT_EQ(fakes.Args("kdialog"), (Strings{"--title", "Where", "--getexistingdirectory", "."}));
    EXPECT_EQ(Chosen(&r), "/k/a.txt:");   // the first line is the folder

    char text[OS_STRINGREQ_SIZE];
    EXPECT_EQ(0, OsStringRequest("T", "Prompt", "def", text, 0, 0, 0));
    EXPECT_EQ(fakes.Args("kdialog"), (Strings{"--title", "T", "--inputbox", "Prompt", "def"}));
    EXPECT_EQ(0, OsStringRequest("T", "Prompt", "def", text, 0, 1, 0));
    EXPECT_EQ(fakes.Args("kdialog"), (Strings{"--title", "T", "--password", "Prompt"}));
}

TEST(FileRequester, NoHelperMeansCancelledWithOneLine)
{
    FakeHelpers fakes;
    testing::internal::CaptureStderr();
    OsFileRequestResult r;
    EXPECT_EQ(0, OsFileRequest("Files", "", OS_FILEREQ_OPEN, nullptr, nullptr, &r));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Chosen(&r), "-");
    EXPECT_EQ(err, "Files: the file requester cannot be shown: neither zenity nor kdialog is installed; "
                   "cancelled\n");
}

// Every way a helper can end without an answer cancels the requester.
TEST(FileRequester, CancelFailureAndKilledHelperCancel)
{
    const char *bodies[] = {
        "exit 1",                          // the user pressed Cancel
        "echo /a/b.txt; exit 5",           // an error, even with output
        "echo /a/b.txt; kill -9 $$",       // the helper was killed
    };
    for (const char *body : bodies) {
        FakeHelpers fakes;
        fakes.Add("zenity", body);
        OsFileRequestResult r;
        EXPECT_EQ(0, OsFileRequest("T", "", OS_FILEREQ_OPEN, nullptr, nullptr, &r)) << body;
        EXPECT_EQ(Chosen(&r), "-") << body;
        char text[OS_STRINGREQ_SIZE];
        EXPECT_EQ(1003, OsStringRequest("T", "P", "d", text, 0, 0, 0)) << body;
        EXPECT_STREQ(text, "") << body;
    }
}

// A stop of the player (the pump reports its stop flag) ends the dialog at once.
TEST(FileRequester, AStopEndsAWaitingHelper)
{
    FakeHelpers fakes;
    fakes.Add("zenity", "/bin/sleep 20; echo /late/file");
    static volatile int stop = 1;
    OsUpcalls up = {};
    up.stopFlag = &stop;
    OsSetUpcalls(&up);
    auto start = std::chrono::steady_clock::now();
    OsFileRequestResult r;
    EXPECT_EQ(0, OsPathRequest("Folder", 0, nullptr, &r));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    OsSetUpcalls(nullptr);
    EXPECT_EQ(Chosen(&r), "-");
    EXPECT_LT(seconds, 5.0);
}

TEST(FolderRequester, ArgumentsAndAnswer)
{
    FakeHelpers fakes;
    fakes.Add("zenity", "echo '/home/user/Mus\303\251e'");
    OsFileRequestResult r;
    ASSERT_EQ(0, OsPathRequest("Where", 1, "/home", &r));
    EXPECT_EQ(fakes.Args("zenity"),
              (Strings{"--file-selection", "--directory", "--title=Where", "--save", "--filename=/home/"}));
    EXPECT_EQ(Chosen(&r), "/home/user/Mus\xe9" "e:");
}

TEST(TextRequester, TheTextIsCheckedAfterTheHelper)
{
    struct {
        const char *output, *defaultText;
        int maxLength, password, numeric;
        Strings args;
        const char *text;
    } cases[] = {
        {"hello world", "def", 0, 0, 0,
         {"--entry", "--title=T", "--text=P", "--entry-text=def"}, "hello world"},
        {"secret", "", 0, 1, 0, {"--entry", "--title=T", "--text=P", "--entry-text=", "--hide-text"}, "secret"},
        {"abcdefgh", "123456", 3, 0, 0, {"--entry", "--title=T", "--text=P", "--entry-text=123"}, "abc"},
        {"-12.5.3abc", "abc", 0, 0, 1, {"--entry", "--title=T", "--text=P", "--entry-text=0"}, "-12.5"},
        {"x12", "-.", 0, 0, 1, {"--entry", "--title=T", "--text=P", "--entry-text=-."}, "0"},
        {"-", "7", 0, 0, 1, {"--entry", "--title=T", "--text=P", "--entry-text=7"}, "-"},
        {"123456", "", 4, 0, 1, {"--entry", "--title=T", "--text=P", "--entry-text=0"}, "1234"},
        {"\xe2\x82\xac\xc3\xa9", "", 0, 0, 0, {"--entry", "--title=T", "--text=P", "--entry-text="}, "?\xe9"},
    };
    for (const auto &c : cases) {
        FakeHelpers fakes;
        fakes.Add("zenity", std::string("printf '%s\\n' '") + c.output + "'");
        char text[OS_STRINGREQ_SIZE];
        EXPECT_EQ(0, OsStringRequest("T", "P", c.defaultText, text, c.maxLength, c.password, c.numeric))
            << c.output;
        EXPECT_EQ(fakes.Args("zenity"), c.args) << c.output;
        EXPECT_STREQ(text, c.text) << c.output;
    }
}

TEST(TextRequester, NumberRule)
{
    struct {
        const char *text;
        int ok;
    } cases[] = {{"", 0}, {"-", 1}, {".", 1}, {"-.", 1}, {"12", 1}, {"-1.5", 1}, {"1.2.", 0},
                 {"--1", 0}, {"1-", 0}, {"1e5", 0}, {" 1", 0}};
    for (const auto &c : cases) EXPECT_EQ(OsIsNumericText(c.text, strlen(c.text)), c.ok) << c.text;
}

// The test answers are the buttons a user would click, counted from 1; each kind maps them.
TEST(MessageRequester, AnswersAreClicksMappedByTheKind)
{
    std::string labels33;
    for (int i = 1; i <= 33; i++) labels33 += std::to_string(i) + (i < 33 ? "|" : "");
    OsSetRequesterAnswers("1\n2\n1\n2\n3\n<cancel>\n1\n2\n3\n9\n");
    testing::internal::CaptureStderr();
    struct {
        int kind;
        const char *buttons;
        int result;
    } cases[] = {
        {OS_REQKIND_OKCANCEL, nullptr, 1}, {OS_REQKIND_YESNO, nullptr, 0},
        {OS_REQKIND_YESNOCANCEL, nullptr, 1}, {OS_REQKIND_YESNOCANCEL, nullptr, 2},
        {OS_REQKIND_YESNOCANCEL, nullptr, 0}, {OS_REQKIND_BUTTONS, "A|B", 0},
        {OS_REQKIND_OK, nullptr, 0}, {OS_REQKIND_BUTTONS, labels33.c_str(), -1},   // takes no answer
        {OS_REQKIND_BUTTONS, "A|B|C", 2}, {OS_REQKIND_BUTTONS, "A|B|C", 0},
        {OS_REQKIND_BUTTONS, "A|B|C", 0},                                          // 9: no such button
        {OS_REQKIND_OKCANCEL, nullptr, 0},                                         // none left
    };
    for (const auto &c : cases)
        EXPECT_EQ(OsRunRequester("T", "text", c.buttons, c.kind, OS_REQ_NOTE), c.result) << c.kind << c.buttons;
    OsSetRequesterAnswers(nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("T: text [A|B|C]\n"), std::string::npos) << err;
    // Without answers and without a display: cancelled.
    EXPECT_EQ(OsRunRequester("T", "text", "A|B", OS_REQKIND_BUTTONS, 0), 0);
}

TEST(OpenURL, TheUrlArrivesAsOneArgumentInUtf8)
{
    FakeHelpers fakes;
    fakes.Add("xdg-open", "");
    const char *url = "http://example.org/a;b?c=$(id)&d=`e` f|g\xe9";
    EXPECT_EQ(0, OsOpenURL(url));
    Strings args;
    for (int i = 0; i < 200 && args.empty(); i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        args = fakes.Args("xdg-open");
    }
    EXPECT_EQ(args, (Strings{"http://example.org/a;b?c=$(id)&d=`e` f|g\xc3\xa9"}));
}

}  // namespace
