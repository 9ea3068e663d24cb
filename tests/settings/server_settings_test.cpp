#include "settings/server_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "core/cp932.h"
#include "support/temp_folder.h"

using namespace tsubame;
using namespace tsubame::testing;

namespace {

AccountSettings parse(std::string_view content) {
    AccountSettings settings;
    parseServerSettings(content, settings);
    return settings;
}

}  // namespace

TEST(ServerSettings, ApopIsTheLeadingNumberRoundedHalfToEven) {
    EXPECT_EQ(parse("APOP=1x\r\n").UseApop, 1);
    EXPECT_EQ(parse("APOP=\r\n").UseApop, 0);
    EXPECT_EQ(parse("APOP=abc\r\n").UseApop, 0);
    EXPECT_EQ(parseApopValue(" 1"), 1);
    EXPECT_EQ(parseApopValue("0.5"), 0);
    EXPECT_EQ(parseApopValue("0.51"), 1);
    EXPECT_EQ(parseApopValue("1.5"), 2);
    EXPECT_EQ(parseApopValue("2.5"), 2);
    EXPECT_EQ(parseApopValue("2.50001"), 3);
    EXPECT_EQ(parseApopValue("-1"), -1);
    EXPECT_EQ(parseApopValue(".5"), 0);
    // Too large for 16 bits: stays on (non-zero) instead of overflowing.
    EXPECT_EQ(parseApopValue("99999"), 32767);
    EXPECT_EQ(parseApopValue("-99999999999999999999"), -32768);
}

TEST(ServerSettings, PrefixesAreExactAndALaterLineWins) {
    AccountSettings s = parse(
        "SMTP=smtp.example.jp\r\nsmtp=ignored\r\nPOP3=pop.example.jp\r\nMAIL=me@example.jp\r\n"
        " POP3=ignored\r\nAPOP=1\r\nPOP3=pop2.example.jp\nAPOP=0");
    EXPECT_EQ(s.SmtpServer, "smtp.example.jp");
    EXPECT_EQ(s.Pop3Server, "pop2.example.jp");
    EXPECT_EQ(s.MailAddress, "me@example.jp");
    EXPECT_EQ(s.UseApop, 0);
    // Values are not trimmed and an empty value clears the field.
    EXPECT_EQ(parse("MAIL= x \r\n").MailAddress, " x ");
    AccountSettings kept;
    kept.SmtpServer = "before";
    parseServerSettings("SMTP=\r\nunknown line\r\n", kept);
    EXPECT_EQ(kept.SmtpServer, "");
}

TEST(ServerSettings, ValuesAreCutAtOneHundredCharacters) {
    EXPECT_EQ(parse("SMTP=" + std::string(150, 's')).SmtpServer, std::string(100, 's'));
    std::string kana;
    for (int i = 0; i < 120; ++i) kana += "あ";
    std::string expected;
    for (int i = 0; i < 100; ++i) expected += "あ";
    EXPECT_EQ(parse("POP3=" + utf8ToCp932(kana)).Pop3Server, expected);  // characters, not bytes
}

TEST(ServerSettings, BrokenBytePairsCountAsTheCharactersTheyDecodeTo) {
    // Found by fuzzing: a lead byte before a byte that cannot follow it is two characters
    // once decoded (a replacement mark and the byte), so the cap counts it as two.
    std::string broken;
    for (int i = 0; i < 80; ++i) broken += "\x81.";
    std::string expected;
    for (int i = 0; i < 50; ++i) expected += "\xEF\xBF\xBD.";
    EXPECT_EQ(parse("POP3=" + broken).Pop3Server, expected);
}

TEST(ServerSettings, SavingWritesFourLinesAndALongNameReadsBackCut) {
    TempFolder folder;
    const auto path = folder / "korumi.ini";
    AccountSettings settings;
    settings.SmtpServer = std::string(150, 'm');
    settings.Pop3Server = "ポップ.example.jp";
    settings.UseApop = 1;
    ASSERT_TRUE(saveServerSettings(path, settings));
    EXPECT_EQ(readFileBytes(path), "SMTP=" + std::string(150, 'm') +
                                       "\r\nPOP3=" + utf8ToCp932("ポップ.example.jp") +
                                       "\r\nMAIL=\r\nAPOP=1\r\n");
    AccountSettings loaded;
    loadServerSettings(path, loaded);
    EXPECT_EQ(loaded.SmtpServer, std::string(100, 'm'));
    EXPECT_EQ(loaded.Pop3Server, "ポップ.example.jp");
    EXPECT_EQ(loaded.MailAddress, "");
    EXPECT_EQ(loaded.UseApop, 1);
}

TEST(ServerSettings, ALineBreakInAValueCannotAddALine) {
    TempFolder folder;
    AccountSettings settings;
    settings.SmtpServer = "smtp.example.jp\r\nAPOP=1";
    ASSERT_TRUE(saveServerSettings(folder / "korumi.ini", settings));
    AccountSettings loaded;
    loadServerSettings(folder / "korumi.ini", loaded);
    EXPECT_EQ(loaded.SmtpServer, "smtp.example.jp");
    EXPECT_EQ(loaded.UseApop, 0);
}

TEST(ServerSettings, AMissingFileLeavesTheSettingsAsTheyAre) {
    TempFolder folder;
    AccountSettings settings;
    settings.Pop3Server = "kept";
    settings.UseApop = 1;
    loadServerSettings(folder / "korumi.ini", settings);
    EXPECT_EQ(settings.Pop3Server, "kept");
    EXPECT_EQ(settings.UseApop, 1);
    EXPECT_FALSE(saveServerSettings(folder / "missing" / "korumi.ini", settings));
}
