#include <gtest/gtest.h>

#include "core/cp932.h"

using namespace tsubame;

TEST(Cp932, RoundTripsJapaneseAndMarksWhatItCannotHold) {
    EXPECT_EQ(utf8ToCp932("あ"), "\x82\xA0");
    EXPECT_EQ(cp932ToUtf8(utf8ToCp932("日本語のメール①")), "日本語のメール①");
    // An emoji has no code page 932 form: a visible mark, and the rest of the line survives.
    EXPECT_EQ(cp932ToUtf8(utf8ToCp932("a😀b")), "a〓b");
}
