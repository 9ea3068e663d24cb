#include "settings/settings_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "core/app_paths.h"
#include "core/cp932.h"
#include "support/temp_folder.h"

using namespace tsubame;
using namespace tsubame::testing;

namespace {

class SettingsFilesTest : public ::testing::Test {
  protected:
    SettingsFilesTest() { std::filesystem::create_directory(app / "★MailData"); }
    TempFolder app;
    AppPaths paths{app.path()};
    SettingsFiles files{paths};
};

}  // namespace

TEST_F(SettingsFilesTest, WindowOptionsRoundTripAndDefaultToZero) {
    EXPECT_EQ(files.readWindowOption("NUMBER"), 0);
    ASSERT_TRUE(files.writeWindowOption("NUMBER", 1));
    ASSERT_TRUE(files.writeWindowOption("NUMBER2", 0));
    EXPECT_EQ(files.readWindowOption("NUMBER"), 1);
    EXPECT_EQ(files.readWindowOption("NUMBER2"), 0);
    EXPECT_EQ(readFileBytes(app / "★MailData" / "ini.ini"),
              "[EXEINI]\r\nNUMBER=1\r\nNUMBER2=0\r\n");
}

TEST_F(SettingsFilesTest, TheLoginFileIsCreatedForItsOwnerOnly) {
    ASSERT_TRUE(files.writeLogin("NAME3", "0"));
    const auto login = app / "★MailData" / "iniIdPass.ini";
    EXPECT_EQ(readFileBytes(login), "[EXEINI]\r\nNAME3=0\r\n");
    EXPECT_EQ(fileMode(login) & 077, 0u);
    // A login file that others could read is closed to them at the next save.
    ::chmod(login.c_str(), 0644);
    ASSERT_TRUE(files.writeLogin("NAME2", "secret"));
    EXPECT_EQ(fileMode(login) & 077, 0u);
    EXPECT_EQ(files.readLogin("NAME2"), "secret");  // the password stays plain text
    EXPECT_NE(readFileBytes(login).find("NAME2=secret\r\n"), std::string::npos);
}

TEST_F(SettingsFilesTest, LoginTextsAreStoredInCodePage932AndReadUpTo255Bytes) {
    ASSERT_TRUE(files.writeLogin("NAME", "山田"));
    EXPECT_EQ(files.readLogin("NAME"), "山田");
    EXPECT_NE(readFileBytes(app / "★MailData" / "iniIdPass.ini").find(utf8ToCp932("山田")),
              std::string::npos);
    EXPECT_EQ(files.readLogin("NAME2"), "");
    ASSERT_TRUE(files.writeLogin("NAME", std::string(300, 'u')));
    EXPECT_EQ(files.readLogin("NAME"), std::string(255, 'u'));
}

TEST_F(SettingsFilesTest, TheDataFolderIsFoundWhateverItsLetterCase) {
    TempFolder other;
    std::filesystem::create_directory(other / "★MAILDATA");
    writeFileBytes(other / "★MAILDATA" / "INI.INI", "[exeini]\r\nnumber2=1\r\n");
    SettingsFiles found{AppPaths(other.path())};
    EXPECT_EQ(found.readWindowOption("NUMBER2"), 1);
}

TEST_F(SettingsFilesTest, WithoutTheDataFolderWritesAreReportedAndReadsGiveDefaults) {
    TempFolder empty;
    SettingsFiles none{AppPaths(empty.path())};
    EXPECT_FALSE(none.writeWindowOption("NUMBER", 1));
    EXPECT_FALSE(none.writeLogin("NAME", "x"));
    EXPECT_EQ(none.readWindowOption("NUMBER"), 0);
    EXPECT_EQ(none.readLogin("NAME"), "");
}
