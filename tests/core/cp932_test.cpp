#include "core/cp932.h"

#include <gtest/gtest.h>
#include <iconv.h>

using namespace tsubame;

TEST(Cp932, RoundTripsJapaneseAndMarksWhatItCannotHold) {
    EXPECT_EQ(utf8ToCp932("あ"), "\x82\xA0");
    EXPECT_EQ(cp932ToUtf8(utf8ToCp932("日本語のメール①")), "日本語のメール①");
    // An emoji has no code page 932 form: a visible mark, and the rest of the line survives.
    EXPECT_EQ(cp932ToUtf8(utf8ToCp932("a😀b")), "a〓b");
}

TEST(Cp932, JisVariantsOfDashesAndTildesReachTheirWindowsForms) {
    // Mail decoded from ISO-2022-JP carries the JIS code points; they must not become marks.
    EXPECT_EQ(utf8ToCp932("〜"), "\x81\x60");  // U+301C WAVE DASH
    EXPECT_EQ(utf8ToCp932("−"), "\x81\x7C");   // U+2212 MINUS SIGN
    EXPECT_EQ(utf8ToCp932("～"), "\x81\x60");  // U+FF5E FULLWIDTH TILDE
}

TEST(Cp932, BrokenInputNeverSwallowsTheLineBreakBehindIt) {
    // A lead byte followed by a line feed: the lone byte is marked, the line break stays.
    EXPECT_EQ(cp932ToUtf8("a\x82\nb"), "a\xEF\xBF\xBD\nb");
    // A truncated three-byte UTF-8 sequence before an ASCII letter.
    EXPECT_EQ(utf8ToCp932("\xE3\x81Z\r\n"),
              "\x81\xAC"
              "Z\r\n");
    // A lone continuation byte and a lead byte at the very end.
    EXPECT_EQ(utf8ToCp932("\x80x\xE3"),
              "\x81\xAC"
              "x\x81\xAC");
    EXPECT_EQ(cp932ToUtf8("x\x82"), "x\xEF\xBF\xBD");
}

// Every character of the plane, between ASCII letters, comes out as iconv itself makes it.
TEST(Cp932, EveryCharacterConvertsAsIconvDoes) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    for (char32_t c = 0x80; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        std::string utf8 = c < 0x800 ? std::string{static_cast<char>(0xC0 | (c >> 6))}
                                     : std::string{static_cast<char>(0xE0 | (c >> 12)),
                                                   static_cast<char>(0x80 | ((c >> 6) & 0x3F))};
        utf8 += static_cast<char>(0x80 | (c & 0x3F));
        char out[8];
        char* in = utf8.data();
        char* to = out;
        std::size_t inLeft = utf8.size(), outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const bool ok = iconv(cd, &in, &inLeft, &to, &outLeft) != static_cast<std::size_t>(-1);
        const std::string expected = ok ? std::string(out, to) : std::string("\x81\xAC");
        ASSERT_EQ(utf8ToCp932("a" + utf8 + "b"), "a" + expected + "b")
            << std::hex << static_cast<unsigned>(c);
    }
    iconv_close(cd);
}

TEST(Cp932, LongTextsAreConvertedWhole) {
    // More than one conversion buffer of output.
    std::string utf8;
    for (int i = 0; i < 5000; ++i) utf8 += "メ";
    std::string cp932 = utf8ToCp932(utf8);
    EXPECT_EQ(cp932.size(), 10000u);
    EXPECT_EQ(cp932ToUtf8(cp932), utf8);
}

TEST(Cp932, SafeCutNeverEndsInsideADoubleByteCharacter) {
    const std::string pair = utf8ToCp932("あい");
    const std::string text = "a" + pair;  // 1 + 2 + 2 bytes
    EXPECT_EQ(cp932SafeCut(text, 10), 5u);
    EXPECT_EQ(cp932SafeCut(text, 5), 5u);
    EXPECT_EQ(cp932SafeCut(text, 4), 3u);
    EXPECT_EQ(cp932SafeCut(text, 2), 1u);
    // A second byte that looks like a lead byte is still a second byte: "ａ" is 82 81.
    EXPECT_EQ(cp932SafeCut("\x82\x81"
                           "ab",
                           3),
              3u);
    EXPECT_EQ(cp932SafeCut("\x82\x81\x82\x82", 3), 2u);
}

TEST(Cp932, CutAtNulAndBlankTrimming) {
    using namespace std::string_view_literals;
    EXPECT_EQ(cutAtNul("ab\0cd"sv), "ab");
    EXPECT_EQ(cutAtNul("abc"), "abc");
    EXPECT_EQ(cutAtNul("\0abc"sv), "");
    EXPECT_EQ(trimBlanks("  a b  "), "a b");
    EXPECT_EQ(trimBlanks("\ta\t"), "\ta\t");  // only blanks count
    EXPECT_EQ(trimBlanks("    "), "");
    EXPECT_EQ(trimTrailingBlanks("  a  "), "  a");
}
