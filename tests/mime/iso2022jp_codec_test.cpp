#include <gtest/gtest.h>

#include "core/cp932.h"
#include "mime/iso2022jp.h"
#include "mime/mime_charset.h"

namespace tsubame {
namespace {

std::string decodeToUtf8(std::string_view iso) { return cp932ToUtf8(iso2022jpToCp932(iso)); }

TEST(Iso2022jpDecode, WindowsAdditionsThatStockConvertersRefuse) {
    // NEC row 13: ① is JIS 0x2D21, ㈱ is 0x2D6A; an NEC-selected IBM extension (row 89).
    EXPECT_EQ(decodeToUtf8("\x1b$B-!-j\x1b(B"), "①㈱");
    EXPECT_EQ(decodeToUtf8("\x1b$By!\x1b(B"), cp932ToUtf8("\xED\x40"));
    EXPECT_EQ(decodeToUtf8("\x1b$B$3$s$K$A$O\x1b(B abc"), "こんにちは abc");
}

TEST(Iso2022jpDecode, HalfWidthKatakanaByEscapeAndByShiftOut) {
    EXPECT_EQ(decodeToUtf8("\x1b(I123\x1b(B!"), "ｱｲｳ!");
    EXPECT_EQ(decodeToUtf8("a\x0e"
                           "123\x0f"
                           "b"),
              "aｱｲｳb");
}

TEST(Iso2022jpDecode, WaveDashMapsStraightOntoCodePage932) {
    EXPECT_EQ(iso2022jpToCp932("\x1b$B!A\x1b(B"), "\x81\x60");
}

TEST(Iso2022jpDecode, BrokenInputNeverLeaksEscapeBytes) {
    // A line that forgets to switch back, a lone half pair, an unknown escape.
    std::string out = iso2022jpToCp932("\x1b$B$3\r\nab\x1b$B$\x1b(Bc\x1bZd");
    EXPECT_EQ(out.find('\x1b'), std::string::npos);
    EXPECT_EQ(cp932ToUtf8(out), "こ\r\nab〓cZd");
    // JIS X 0212 has no place in code page 932.
    EXPECT_EQ(decodeToUtf8("\x1b$(D\x30\x21\x1b(B"), "〓");
}

TEST(Iso2022jpDecode, EveryCellGivesADefinedCharacterOrTheGetaMark) {
    int geta = 0;
    for (char j1 = 0x21; j1 <= 0x7E; ++j1) {
        for (char j2 = 0x21; j2 <= 0x7E; ++j2) {
            const std::string utf8 = decodeToUtf8(std::string("\x1b$B") + j1 + j2);
            ASSERT_EQ(utf8.find("\xEF\xBF\xBD"), std::string::npos) << int(j1) << " " << int(j2);
            geta += utf8 == "〓" ? 1 : 0;
        }
    }
    // Rows 9-12, 14, 15, 85-88, 93 and 94 at least; the geta mark's own cell (0x222E) too.
    EXPECT_GT(geta, 12 * 94);
    EXPECT_LT(geta, 94 * 94 / 4);
}

TEST(Iso2022jpEncode, RoundTripsEveryJis0208Cell) {
    int cells = 0;
    for (unsigned char j1 = 0x21; j1 <= 0x7E; ++j1) {
        for (unsigned char j2 = 0x21; j2 <= 0x7E; ++j2) {
            unsigned char s1 = 0, s2 = 0, back1 = 0, back2 = 0;
            jisToSjis(j1, j2, s1, s2);
            sjisToJis(s1, s2, back1, back2);
            ASSERT_EQ(back1, j1);
            ASSERT_EQ(back2, j2);
            ++cells;
        }
    }
    EXPECT_EQ(cells, 94 * 94);
}

TEST(Iso2022jpEncode, EveryLineReturnsToAsciiBeforeItsEnd) {
    const std::string cp932 = utf8ToCp932("日本語\r\n次の行～\r\nabc");
    ASSERT_TRUE(fitsIso2022jp(cp932));
    const std::string iso = cp932ToIso2022jp(cp932);
    EXPECT_EQ(iso, "\x1b$BF|K\\8l\x1b(B\r\n\x1b$B<!$N9T!A\x1b(B\r\nabc");
    EXPECT_EQ(iso2022jpToCp932(iso), cp932);
}

TEST(Iso2022jpEncode, OnlyJis0208AndAsciiFit) {
    EXPECT_TRUE(fitsIso2022jp(utf8ToCp932("漢字かなカナ　ａｂ～−")));
    EXPECT_TRUE(fitsIso2022jp("\x81\x60"));  // wave dash
    EXPECT_FALSE(fitsIso2022jp(utf8ToCp932("①")));
    EXPECT_FALSE(fitsIso2022jp(utf8ToCp932("㈱")));
    EXPECT_FALSE(fitsIso2022jp(utf8ToCp932("ｱ")));  // half-width katakana
    EXPECT_FALSE(fitsIso2022jp("\xED\x40"));        // NEC-selected IBM extension
    EXPECT_FALSE(fitsIso2022jp("\xFA\x40"));        // IBM extension
    EXPECT_FALSE(
        fitsIso2022jp("a\x1b"
                      "b"));              // would read as an escape
    EXPECT_FALSE(fitsIso2022jp("\x88"));  // cut double-byte character
}

TEST(CharsetConversion, ShiftJisLabelsAllMeanCodePage932) {
    const std::string cp932 = utf8ToCp932("①髙～");
    for (const char* label :
         {"Shift_JIS", "x-sjis", "Windows-31J", "CP932", "MS_Kanji", "\"shift_jis\""})
        EXPECT_EQ(charsetToCp932(cp932, label), cp932) << label;
}

TEST(CharsetConversion, Iso2022jpLabelOnUtf8TextReadsUtf8) {
    EXPECT_EQ(cp932ToUtf8(charsetToCp932("日本語", "ISO-2022-JP")), "日本語");
    EXPECT_EQ(cp932ToUtf8(charsetToCp932("\x1b$BF|\x1b(B", "iso-2022-jp")), "日");
}

TEST(CharsetConversion, EucJpAndOtherCharsets) {
    EXPECT_EQ(cp932ToUtf8(charsetToCp932("\xC6\xFC\xCB\xDC\x8E\xB1", "EUC-JP")), "日本ｱ");
    EXPECT_EQ(cp932ToUtf8(charsetToCp932("caf\xE9", "ISO-8859-1")), "caf〓");
    EXPECT_EQ(cp932ToUtf8(charsetToCp932("\xA7", "iso-8859-1")), "§");
    // An unknown label does not lose the text.
    EXPECT_EQ(cp932ToUtf8(charsetToCp932("日本", "x-unknown-charset")), "日本");
}

TEST(CharsetConversion, GuessingRawBytes) {
    EXPECT_EQ(cp932ToUtf8(guessToCp932(utf8ToCp932("件名です"))), "件名です");
    EXPECT_EQ(cp932ToUtf8(guessToCp932("件名です")), "件名です");
    EXPECT_EQ(cp932ToUtf8(guessToCp932("\xB7\xEF\xCC\xBE")), "件名");  // EUC-JP
    EXPECT_EQ(cp932ToUtf8(guessToCp932("\x1b$B7oL>\x1b(B")), "件名");
}

}  // namespace
}  // namespace tsubame
