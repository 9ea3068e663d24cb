#include "setup/id_pass_form.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "app/shell_fixture.h"
#include "settings/profile_file.h"

namespace tsubame::testing {
namespace {

class IdPassFormTest : public ShellTest {
  protected:
    IdPassForm& open() {
        IdPassForm& dialog = app->idPassForm();
        AppContext::showWindow(dialog);
        return dialog;
    }
    template <class T>
    T* control(const char* name) {
        return app->loadedIdPassForm()->findChild<T*>(QString::fromLatin1(name));
    }
    void type(const QString& id, const QString& password, bool save) {
        control<QLineEdit>("IdText")->setText(id);
        control<QLineEdit>("PassText")->setText(password);
        control<QCheckBox>("Check1")->setChecked(save);
    }
    static void press(QWidget* target, Qt::Key key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
    }
    std::string loginFile() const { return TempAppFolder::read(folder.dataFile("iniIdPass.ini")); }
    std::string login(const char* key) const {
        return ProfileFile(folder.dataFile("iniIdPass.ini")).readString("EXEINI", key, "<missing>");
    }
    bool closed() {
        processDeletes();
        return app->loadedIdPassForm() == nullptr;
    }
};

TEST_F(IdPassFormTest, FirstOpenHasEmptyBoxesAndAMaskedPassword) {
    IdPassForm& dialog = open();
    EXPECT_EQ(dialog.windowTitle(), "ID,PASS");
    EXPECT_TRUE(control<QLineEdit>("IdText")->text().isEmpty());
    EXPECT_TRUE(control<QLineEdit>("PassText")->text().isEmpty());
    EXPECT_EQ(control<QLineEdit>("PassText")->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(control<QCheckBox>("Check1")->isChecked());
    EXPECT_TRUE(control<QPushButton>("OKCommand")->isDefault());
}

TEST_F(IdPassFormTest, OkWithoutSavingAndNothingSavedBeforeWritesOnlyTheFlag) {
    open();
    type("taro", "secret", false);
    control<QPushButton>("OKCommand")->click();
    EXPECT_TRUE(closed());
    EXPECT_EQ(app->account.UserId, "taro");
    EXPECT_EQ(app->account.Password, "secret");
    EXPECT_EQ(login("NAME3"), "0");
    EXPECT_EQ(login("NAME"), "<missing>");
    EXPECT_EQ(login("NAME2"), "<missing>");
    EXPECT_EQ(loginFile().find("taro"), std::string::npos);
    EXPECT_EQ(loginFile().find("secret"), std::string::npos);
}

TEST_F(IdPassFormTest, OkWithSavingWritesTheLoginAndTheNextLoadShowsIt) {
    open();
    type("太郎", "p@ss", true);
    control<QPushButton>("OKCommand")->click();
    EXPECT_TRUE(closed());
    EXPECT_EQ(login("NAME"), "\x91\xbe\x98\x59");  // code page 932 on disk
    EXPECT_EQ(login("NAME2"), "p@ss");
    EXPECT_EQ(login("NAME3"), "1");

    IdPassForm& again = open();
    EXPECT_EQ(again.idText(), "太郎");
    EXPECT_EQ(again.passText(), "p@ss");
    EXPECT_FALSE(control<QCheckBox>("Check1")->isChecked());
}

TEST_F(IdPassFormTest, OkWithoutSavingKeepsAnEarlierSavedLogin) {
    TempAppFolder::write(folder.dataFile("iniIdPass.ini"),
                         "[EXEINI]\r\nNAME=old\r\nNAME2=oldpass\r\nNAME3=1\r\n");
    open();
    type("new", "newpass", false);
    control<QPushButton>("OKCommand")->click();
    EXPECT_EQ(login("NAME"), "old");
    EXPECT_EQ(login("NAME2"), "oldpass");
    EXPECT_EQ(login("NAME3"), "0");
    EXPECT_EQ(app->account.UserId, "new");
}

TEST_F(IdPassFormTest, CancelAndEscStoreNothing) {
    open();
    type("taro", "secret", true);
    control<QPushButton>("CancelCommand")->click();
    EXPECT_TRUE(closed());

    open();
    type("jiro", "secret", true);
    press(control<QLineEdit>("IdText"), Qt::Key_Escape);
    EXPECT_TRUE(closed());

    EXPECT_FALSE(std::filesystem::exists(folder.dataFile("iniIdPass.ini")));
    EXPECT_TRUE(app->account.UserId.empty());
    EXPECT_TRUE(app->account.Password.empty());
}

TEST_F(IdPassFormTest, EnterInABoxActsLikeOk) {
    open();
    type("taro", "secret", true);
    press(control<QLineEdit>("PassText"), Qt::Key_Return);
    EXPECT_TRUE(closed());
    EXPECT_EQ(app->account.UserId, "taro");
    EXPECT_EQ(login("NAME"), "taro");
}

TEST_F(IdPassFormTest, FailedSaveIsReported) {
    std::filesystem::remove_all(folder.folder() / "★MailData");
    open();
    type("taro", "secret", true);
    control<QPushButton>("OKCommand")->click();
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_TRUE(dialogs.boxes()[0].text.startsWith("ID・パスワードを保存できませんでした。"));
    EXPECT_EQ(app->account.UserId, "taro");  // still used for this run
}

// A login file that cannot be read is told when the dialog loads, and a save leaves it.
TEST_F(IdPassFormTest, AnUnreadableLoginFileIsToldAndNeverOverwritten) {
    ASSERT_EQ(::mkfifo(folder.dataFile("iniIdPass.ini").c_str(), 0600), 0);
    open();
    ASSERT_FALSE(dialogs.boxes().empty());
    EXPECT_TRUE(dialogs.boxes()[0].text.contains(QStringLiteral("iniIdPass.ini")));
    type("taro", "secret", true);
    control<QPushButton>("OKCommand")->click();
    EXPECT_TRUE(std::filesystem::is_fifo(folder.dataFile("iniIdPass.ini")));
}

}  // namespace
}  // namespace tsubame::testing
