// Words shared by the files of the Linux platform layer, not part of its interface.
#pragma once

// Non-zero once OsInitVideo has brought up SDL's video and event subsystems.
int OsVideoStarted(void);

// Text conversions between the script's Latin-1 and the system's UTF-8. Both return a MemAlloc
// allocation or none. Latin1ToUtf8 keeps a text that already is valid UTF-8 with non-ASCII
// characters as it is (paths from the command line and the environment arrive that way).
char *Latin1ToUtf8(const char *text);
// Characters above U+00FF become '?'; none when the text is no valid UTF-8.
char *Utf8ToLatin1(const char *text);
