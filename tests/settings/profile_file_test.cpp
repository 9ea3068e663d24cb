#include "settings/profile_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "core/cp932.h"
#include "core/file_io.h"
#include "support/temp_folder_test.h"

using namespace tsubame;
using namespace tsubame::testing;

namespace {

std::string lookup(std::string_view content, std::string_view section, std::string_view key) {
    bool found = false;
    std::string value = profileLookup(content, section, key, &found);
    return found ? value : "<missing>";
}

class ProfileFileTest : public TempFolderTest {
  protected:
    ProfileFile file{folder / "ini.ini"};
};

}  // namespace

TEST(ProfileParsing, NamesMatchWithoutRegardToCaseAndValuesAreTrimmed) {
    const std::string content =
        "; comment\r\n[other]\r\nNUMBER=7\r\n[ExeIni]\r\n  number =  12  \r\nname2=\"pass\"\r\n";
    EXPECT_EQ(lookup(content, "EXEINI", "NUMBER"), "12");
    EXPECT_EQ(lookup(content, "exeini", "NAME2"), "pass");  // one pair of quotes goes
    EXPECT_EQ(lookup(content, "OTHER", "number"), "7");
    EXPECT_EQ(lookup(content, "EXEINI", "NAME"), "<missing>");
    EXPECT_EQ(lookup(content, "missing", "NUMBER"), "<missing>");
    EXPECT_EQ(lookup("NUMBER=1\r\n", "EXEINI", "NUMBER"), "<missing>");  // outside any section
    EXPECT_EQ(lookup("[EXEINI]\nNUMBER=3\n", "EXEINI", "NUMBER"), "3");  // LF-only lines
}

TEST(ProfileParsing, SettingAKeyKeepsEveryOtherLineAndSection) {
    const std::string content =
        "[first]\r\nA=1\r\n; keep me\r\n\r\n[EXEINI]\r\nNAME=old\r\nNAME2=pw\r\n\r\n[last]\r\nZ=9";
    EXPECT_EQ(profileSet(content, "exeini", "name", "new"),
              "[first]\r\nA=1\r\n; keep me\r\n\r\n[EXEINI]\r\nname=new\r\nNAME2=pw\r\n\r\n"
              "[last]\r\nZ=9\r\n");
    // A new key goes to the end of its section, before the blank line that ends it.
    EXPECT_EQ(profileSet(content, "EXEINI", "NAME3", "1"),
              "[first]\r\nA=1\r\n; keep me\r\n\r\n[EXEINI]\r\nNAME=old\r\nNAME2=pw\r\nNAME3=1\r\n"
              "\r\n[last]\r\nZ=9\r\n");
    // A missing section is added at the end; an empty file gets just that.
    EXPECT_EQ(profileSet("[a]\nx=1\n", "EXEINI", "NUMBER", "0"),
              "[a]\r\nx=1\r\n[EXEINI]\r\nNUMBER=0\r\n");
    EXPECT_EQ(profileSet("", "EXEINI", "NAME3", "0"), "[EXEINI]\r\nNAME3=0\r\n");
}

TEST(ProfileParsing, AValueCannotBreakIntoANewLine) {
    const std::string written = profileSet("", "EXEINI", "NAME", "me\r\nNAME2=stolen");
    EXPECT_EQ(written, "[EXEINI]\r\nNAME=me\r\n");
    EXPECT_EQ(lookup(written, "EXEINI", "NAME2"), "<missing>");
}

TEST_F(ProfileFileTest, AMissingFileOrKeyGivesTheDefaults) {
    EXPECT_EQ(file.readInt("EXEINI", "NUMBER"), 0);
    EXPECT_EQ(file.readString("EXEINI", "NAME"), "");
    writeFileBytes(file.path(), "[EXEINI]\r\nNUMBER2=1\r\n");
    EXPECT_EQ(file.readInt("EXEINI", "NUMBER"), 0);
    EXPECT_EQ(file.readInt("EXEINI", "NUMBER", 5), 5);
    EXPECT_EQ(file.readInt("EXEINI", "NUMBER2"), 1);
    EXPECT_EQ(file.readString("EXEINI", "NAME", "x"), "x");
}

TEST_F(ProfileFileTest, IntegersAreTheLeadingDigits) {
    writeFileBytes(file.path(),
                   "[EXEINI]\r\nA=12abc\r\nB=abc\r\nC=-3\r\nD=\r\nE=99999999999999\r\n");
    EXPECT_EQ(file.readInt("EXEINI", "A"), 12);
    EXPECT_EQ(file.readInt("EXEINI", "B"), 0);
    EXPECT_EQ(file.readInt("EXEINI", "C"), 0);
    EXPECT_EQ(file.readInt("EXEINI", "D"), 0);
    EXPECT_EQ(file.readInt("EXEINI", "E"), 2147483647);
}

TEST_F(ProfileFileTest, TextValuesAreReadUpTo255Bytes) {
    writeFileBytes(file.path(), "[EXEINI]\r\nNAME=" + std::string(300, 'n') + "\r\n");
    EXPECT_EQ(file.readString("EXEINI", "NAME"), std::string(255, 'n'));
    // A double-byte character that would straddle byte 255 is left out whole.
    const std::string kanji = utf8ToCp932("漢");
    std::string value;
    for (int i = 0; i < 150; ++i) value += kanji;
    writeFileBytes(file.path(), "[EXEINI]\r\nNAME=" + value + "\r\n");
    const std::string cut = value.substr(0, 254);
    EXPECT_EQ(file.readString("EXEINI", "NAME"), cut);
    writeFileBytes(file.path(), "[EXEINI]\r\nNAME=x" + value + "\r\n");
    EXPECT_EQ(file.readString("EXEINI", "NAME"), "x" + cut);
}

TEST_F(ProfileFileTest, WritingSurvivesOtherContentAndFailuresLeaveTheFileAlone) {
    writeFileBytes(file.path(), "[Window]\r\nTop=10\r\n[EXEINI]\r\nNUMBER=1\r\n");
    ASSERT_TRUE(file.writeString("EXEINI", "NUMBER2", "1"));
    ASSERT_TRUE(file.writeString("EXEINI", "NUMBER", "0"));
    const std::string expected = "[Window]\r\nTop=10\r\n[EXEINI]\r\nNUMBER=0\r\nNUMBER2=1\r\n";
    EXPECT_EQ(readFileBytes(file.path()), expected);

    for (FaultKind kind : {FaultKind::Write, FaultKind::Sync, FaultKind::Rename, FaultKind::Read}) {
        injectFault(kind, 1, EIO);
        EXPECT_FALSE(file.writeString("EXEINI", "NUMBER", "1"));
        clearInjectedFaults();
        EXPECT_EQ(readFileBytes(file.path()), expected);
    }
    EXPECT_EQ(std::filesystem::directory_iterator(folder.path())->path().filename(), "ini.ini");
}

TEST_F(ProfileFileTest, AValueTheFileHoldsAlreadyIsNotWrittenAgain) {
    writeFileBytes(file.path(), "[EXEINI]\r\nNUMBER=1\r\n");
    injectFault(FaultKind::Sync, 1, EIO);  // a rewrite would fail
    EXPECT_TRUE(file.writeString("EXEINI", "NUMBER", "1"));
    EXPECT_FALSE(file.writeString("EXEINI", "NUMBER", "0"));
    clearInjectedFaults();
    EXPECT_EQ(readFileBytes(file.path()), "[EXEINI]\r\nNUMBER=1\r\n");
}

TEST_F(ProfileFileTest, AWriteIntoAMissingFolderIsReported) {
    ProfileFile lost(folder / "missing" / "ini.ini");
    EXPECT_FALSE(lost.writeString("EXEINI", "NUMBER", "1"));
    EXPECT_EQ(lost.readInt("EXEINI", "NUMBER"), 0);
}

TEST_F(ProfileFileTest, AnUnreadableFileIsNotReplaced) {
    // A folder in the file's place cannot be read; the write must not overwrite it blindly.
    std::filesystem::create_directory(file.path());
    EXPECT_FALSE(file.writeString("EXEINI", "NUMBER", "1"));
    EXPECT_TRUE(std::filesystem::is_directory(file.path()));
    EXPECT_EQ(file.readInt("EXEINI", "NUMBER", 4), 4);
}
