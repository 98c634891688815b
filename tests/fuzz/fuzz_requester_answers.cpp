// Fuzz target of the requester answers (the KV_REQUESTER_ANSWERS file): any bytes as answers,
// taken by every kind of requester in turn, and as helper output through the UTF-8 reader.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/os_requester_internal.h"
#include "platform/os.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Every requester prints its line on standard error: silenced while they run (a crash is
    // still found; running the crash input again shows its report).
    static int devNull = open("/dev/null", O_WRONLY);
    int savedErr = dup(2);
    dup2(devNull, 2);
    std::string answers((const char *)data, size);
    OsSetRequesterAnswers(answers.c_str());
    for (int round = 0; round < 4; round++) {
        OsFileRequestResult r;
        if (OsFileRequest("T", "png", round == 0 ? OS_FILEREQ_MULTIPLE : OS_FILEREQ_OPEN, nullptr, nullptr, &r) == 0 &&
            r.chosen) {
            const char *name = r.names;
            for (int i = 0; i < r.count; i++) name += strlen(name) + 1;
            if (name - r.names < 0) abort();
        }
        OsFreeFileRequest(&r);
        if (OsPathRequest("T", 0, nullptr, &r) == 0 && r.chosen && !r.directory) abort();
        OsFreeFileRequest(&r);
        char text[OS_STRINGREQ_SIZE];
        memset(text, 'x', sizeof text);
        OsStringRequest("T", "P", "d", text, round * 3, 0, round & 1);
        if (!memchr(text, 0, sizeof text)) abort();
        OsRunRequester("T", "text", "A|B|C", OS_REQKIND_BUTTONS, 0);
        OsRunRequester("T", "text", nullptr, round, 0);
    }
    OsSetRequesterAnswers(nullptr);
    dup2(savedErr, 2);
    close(savedErr);
    char *latin1 = Utf8TextToLatin1((const char *)data, size);
    free(latin1);
    return 0;
}
