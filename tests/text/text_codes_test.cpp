// Decoding texts into character codes: Latin-1 bytes, and UTF-8 with "?" for every byte that
// starts no valid sequence (truncated, overlong, surrogate, beyond U+10FFFF, stray continuation).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/text_codes.h"

namespace {

std::vector<uint32_t> Decode(const std::string &text, int utf8)
{
    std::vector<uint32_t> codes;
    for (int32_t pos = 0; pos < (int32_t)text.size();)
        codes.push_back(NextTextCode(text.data(), (int32_t)text.size(), &pos, utf8));
    return codes;
}

TEST(TextCodes, Utf8AndLatin1)
{
    struct Case {
        std::string text;
        std::vector<uint32_t> codes;
    } cases[] = {
        {"A\xc3\xa9", {'A', 0xE9}},
        {"\xe2\x82\xac", {0x20AC}},
        {"\xf0\x9f\x98\x80", {0x1F600}},
        {"\xe2\x82", {'?', '?'}},               // truncated at the end
        {"\xe2\x82x", {'?', '?', 'x'}},         // interrupted
        {"\xc0\xaf", {'?', '?'}},               // overlong
        {"\xed\xa0\x80", {'?', '?', '?'}},      // surrogate
        {"\xf4\x90\x80\x80", {'?', '?', '?', '?'}},   // beyond U+10FFFF
        {"\x80z", {'?', 'z'}},
        {"\xff", {'?'}},
    };
    for (const Case &c : cases) EXPECT_EQ(c.codes, Decode(c.text, 1)) << c.text;
    EXPECT_EQ((std::vector<uint32_t>{'A', 0xC3, 0xA9, 0xFF}), Decode("A\xc3\xa9\xff", 0));
}

}  // namespace
