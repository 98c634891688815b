// The key rule of InKeyStr: the character classes of each input type, the length limit,
// backspace (also with nothing typed), the end keys and the starred copy for passwords.
#include <gtest/gtest.h>

#include <string>

#include "platform/os.h"
#include "text/text_print_input.h"

namespace {

// Feeds the keys and returns the typed text.
std::string Type(int32_t type, int32_t maxLength, std::initializer_list<int32_t> keys, KeyInput *in = nullptr)
{
    static KeyInput local;
    if (!in) in = &local;
    *in = KeyInput{};
    in->type = type;
    in->maxLength = maxLength;
    for (int32_t k : keys)
        if (ApplyInputKey(in, k) == KEY_END) break;
    return std::string(in->text, in->count);
}

TEST(InputKeys, TypesLengthAndBackspace)
{
    EXPECT_EQ("12", Type(KEYTYPE_DIGIT, 0, {'1', 'a', ' ', OS_KEY_SPACE, '2'}));
    EXPECT_EQ("123", Type(KEYTYPE_DIGIT, 3, {'1', '2', '3', '4'}));
    EXPECT_EQ("124", Type(KEYTYPE_DIGIT, 3, {'1', '2', '3', OS_KEY_BACKSPACE, '4'}));
    // Backspace with nothing typed does nothing at all.
    KeyInput in;
    EXPECT_EQ("", Type(KEYTYPE_ALL, 0, {OS_KEY_BACKSPACE, OS_KEY_BACKSPACE}, &in));
    EXPECT_EQ(0, in.count);
    EXPECT_EQ(KEY_IGNORED, ApplyInputKey(&in, OS_KEY_BACKSPACE));
    EXPECT_EQ("a", Type(KEYTYPE_ALL, 0, {OS_KEY_BACKSPACE, 'a', OS_KEY_RETURN, 'b'}));
    EXPECT_EQ("a b", Type(KEYTYPE_ALL, 0, {'a', OS_KEY_TAB, 'b', OS_KEY_ENTER, 'c'}));
    EXPECT_EQ("ab", Type(KEYTYPE_ALL, 0, {'a', 'b', 3, 'c'}));
    EXPECT_EQ("aF0", Type(KEYTYPE_HEX, 0, {'a', 'g', 'F', ' ', '0', OS_KEY_F1}));
    EXPECT_EQ("x \xe9", Type(KEYTYPE_ALPHA, 0, {'x', '1', ' ', 0xE9, '!'}));
    EXPECT_EQ("x1 \xe9", Type(KEYTYPE_ALNUM, 0, {'x', '1', ' ', 0xE9, '!', 0xD7}));
    EXPECT_EQ("!\xd7~", Type(KEYTYPE_ALL, 0, {'!', 7, 0xD7, '~', 0x7F}));
}

TEST(InputKeys, StarsAndTheBufferLimit)
{
    KeyInput in;
    Type(KEYTYPE_ALL, 0, {'p', 'w', 'd', OS_KEY_BACKSPACE}, &in);
    EXPECT_STREQ("**", in.stars);
    in = KeyInput{};
    for (int i = 0; i < KEYINPUT_MAX; i++) ASSERT_EQ(KEY_TYPED, ApplyInputKey(&in, 'z'));
    // The 1025th character ends the input instead of being stored.
    EXPECT_EQ(KEY_END, ApplyInputKey(&in, 'z'));
    EXPECT_EQ(KEYINPUT_MAX, in.count);
    EXPECT_EQ(0, in.text[KEYINPUT_MAX]);
}

}  // namespace
