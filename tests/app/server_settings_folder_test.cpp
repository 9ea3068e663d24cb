#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QLineEdit>
#include <QPushButton>

#include "app/shell_fixture.h"
#include "setup/option_form.h"

namespace tsubame::testing {
namespace {

// Where "korumi.ini" is read from and saved to, whatever folder the program starts in.
using ServerSettingsFolderTest = ShellTest;

// The working directory's file only when it is the user's own and no one else (its group
// included) may write it;
// the status line says once which file was read, or why none was.
TEST_F(ServerSettingsFolderTest, ReadsTheApplicationFoldersFileElseTheOneLeftInTheWorkingDir) {
    struct Case {
        const char* inAppFolder;  // nullptr: no file there
        const char* inWorkDir;
        const char* expectedPop3;
        mode_t workDirMode = 0;   // 0: as written
        const char* status = "";  // in the status line, empty: nothing said
    };
    const Case cases[] = {
        {"POP3=app.example.com\r\n", nullptr, "app.example.com"},  // started from a desktop menu
        {nullptr, "POP3=left.example.com\r\n", "left.example.com", false, "作業フォルダー"},
        {"POP3=app.example.com\r\n", "POP3=left.example.com\r\n", "app.example.com"},
        {nullptr, nullptr, ""},
        {nullptr, "POP3=left.example.com\r\n", "", 0646, "読み込みませんでした"},
        {nullptr, "POP3=left.example.com\r\n", "", 0664, "読み込みませんでした"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(folder.korumiIni());
        std::filesystem::remove(folder.workDirKorumiIni());
        if (c.inAppFolder) TempAppFolder::write(folder.korumiIni(), c.inAppFolder);
        if (c.inWorkDir) TempAppFolder::write(folder.workDirKorumiIni(), c.inWorkDir);
        if (c.workDirMode != 0) ::chmod(folder.workDirKorumiIni().c_str(), c.workDirMode);
        restart();
        EXPECT_EQ(app->account.Pop3Server, c.expectedPop3) << c.expectedPop3;
        EXPECT_EQ(app->loadedOptionForm() != nullptr, *c.expectedPop3 == '\0');
        const QString status = child<QLineEdit>("Text3")->text();
        EXPECT_TRUE(status.contains(QString::fromUtf8(c.status))) << status.toStdString();
    }
}

// A file that cannot be read (here a FIFO, which even root cannot read as settings) is told,
// naming it, and 設定 does not replace it.
TEST_F(ServerSettingsFolderTest, AnUnreadableFileIsToldAndNeverOverwritten) {
    ASSERT_EQ(::mkfifo(folder.korumiIni().c_str(), 0600), 0);
    start();
    ASSERT_FALSE(dialogs.boxes().empty());
    EXPECT_TRUE(dialogs.boxes().front().text.contains(QStringLiteral("korumi.ini")));
    app->optionForm().findChild<QPushButton*>("OKCommand")->click();
    EXPECT_TRUE(std::filesystem::is_fifo(folder.korumiIni()));
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
