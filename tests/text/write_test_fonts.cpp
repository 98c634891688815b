// Writes the test font folder and its fontconfig configuration for the golden scripts:
//   write_test_fonts DIR    (DIR/fonts.conf names DIR/faces)
#include <cstdio>

#include "tests/text/font_fixtures.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: write_test_fonts DIR\n");
        return 2;
    }
    return fontfix::WriteTestFontFolder(argv[1]).empty() ? 1 : 0;
}
