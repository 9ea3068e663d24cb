#include <gtest/gtest.h>

#include <QPushButton>

#include "app/shell_fixture.h"
#include "setup/option_form.h"

namespace tsubame::testing {
namespace {

// Where "korumi.ini" is read from and saved to, whatever folder the program starts in.
using ServerSettingsFolderTest = ShellTest;

TEST_F(ServerSettingsFolderTest, ReadsTheApplicationFoldersFileElseTheOneLeftInTheWorkingDir) {
    struct Case {
        const char* inAppFolder;  // nullptr: no file there
        const char* inWorkDir;
        const char* expectedPop3;
    };
    const Case cases[] = {
        {"POP3=app.example.com\r\n", nullptr, "app.example.com"},  // started from a desktop menu
        {nullptr, "POP3=left.example.com\r\n", "left.example.com"},
        {"POP3=app.example.com\r\n", "POP3=left.example.com\r\n", "app.example.com"},
        {nullptr, nullptr, ""},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(folder.korumiIni());
        std::filesystem::remove(folder.workDirKorumiIni());
        if (c.inAppFolder) TempAppFolder::write(folder.korumiIni(), c.inAppFolder);
        if (c.inWorkDir) TempAppFolder::write(folder.workDirKorumiIni(), c.inWorkDir);
        restart();
        EXPECT_EQ(app->account.Pop3Server, c.expectedPop3) << c.expectedPop3;
        EXPECT_EQ(app->loadedOptionForm() != nullptr, *c.expectedPop3 == '\0');
    }
}

TEST_F(ServerSettingsFolderTest, SavingGoesToTheApplicationFolderFromThenOn) {
    TempAppFolder::write(folder.workDirKorumiIni(), "POP3=left.example.com\r\n");
    start();
    OptionForm& dialog = app->optionForm();
    dialog.findChild<QPushButton*>("OKCommand")->click();
    EXPECT_EQ(TempAppFolder::read(folder.korumiIni()),
              "SMTP=\r\nPOP3=left.example.com\r\nMAIL=\r\nAPOP=0\r\n");
    EXPECT_EQ(TempAppFolder::read(folder.workDirKorumiIni()), "POP3=left.example.com\r\n");

    TempAppFolder::write(folder.workDirKorumiIni(), "POP3=changed.example.com\r\n");
    restart();
    EXPECT_EQ(app->account.Pop3Server, "left.example.com");
}

}  // namespace
}  // namespace tsubame::testing
