#include "core/fixed_field.h"

#include <gtest/gtest.h>

#include <string>

#include "core/cp932.h"

using namespace tsubame;

namespace {

std::string writeField(std::size_t width, std::string_view cp932) {
    std::string field(width, '\x7F');
    writeFixedField(field, cp932);
    return field;
}

}  // namespace

TEST(FixedField, PadsWithBlanksAndCutsAtTheWidth) {
    EXPECT_EQ(writeField(6, "abc"), "abc   ");
    EXPECT_EQ(writeField(6, ""), "      ");
    EXPECT_EQ(writeField(4, "abcdef"), "abcd");
}

TEST(FixedField, AnEmptyTextWithoutStorageGivesBlanks) {
    // Found by fuzzing: an empty view may carry a null pointer, which must not reach memcpy.
    EXPECT_EQ(writeField(3, std::string_view()), "   ");
}

TEST(FixedField, ADoubleByteCharacterSplitByTheEndIsDroppedWhole) {
    const std::string kana = utf8ToCp932("あいう");  // 6 bytes
    EXPECT_EQ(writeField(5, kana), kana.substr(0, 4) + " ");
    EXPECT_EQ(writeField(6, kana), kana);
    EXPECT_EQ(writeField(1, kana), " ");
}

TEST(FixedField, ReadersCutAtNulAndTheBoxFormTrims) {
    using namespace std::string_literals;
    const std::string field = "  Re: hi  \0garbage"s;
    EXPECT_EQ(fixedFieldCell(field), "  Re: hi  ");
    EXPECT_EQ(fixedFieldBox(field), "Re: hi");
    EXPECT_EQ(fixedFieldBox(std::string(90, ' ')), "");
}
