#include "setup/option_form.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/shell_fixture.h"

namespace tsubame::testing {
namespace {

class OptionFormTest : public ShellTest {
  protected:
    OptionForm& open() {
        OptionForm& dialog = app->optionForm();
        AppContext::showWindow(dialog);
        return dialog;
    }
    template <class T>
    T* control(const char* name) {
        return app->loadedOptionForm()->findChild<T*>(QString::fromLatin1(name));
    }
    bool closed() {
        processDeletes();
        return app->loadedOptionForm() == nullptr;
    }
};

TEST_F(OptionFormTest, EmptyStartAndOkWritesTheFourBarePrefixes) {
    OptionForm& dialog = open();
    EXPECT_EQ(dialog.windowTitle(), "サーバー設定");
    for (const char* box : {"SmtpText", "Pop3Text", "MailText"})
        EXPECT_TRUE(control<QLineEdit>(box)->text().isEmpty()) << box;
    EXPECT_FALSE(control<QCheckBox>("ApopCheck")->isChecked());
    control<QPushButton>("OKCommand")->click();
    EXPECT_TRUE(closed());
    EXPECT_EQ(TempAppFolder::read(folder.korumiIni()), "SMTP=\r\nPOP3=\r\nMAIL=\r\nAPOP=0\r\n");
}

TEST_F(OptionFormTest, OkSavesAndARestartShowsTheValues) {
    open();
    control<QLineEdit>("SmtpText")->setText("smtp.example.com");
    control<QLineEdit>("Pop3Text")->setText("pop.example.com");
    control<QLineEdit>("MailText")->setText("me@example.com");
    control<QCheckBox>("ApopCheck")->setChecked(true);
    control<QPushButton>("OKCommand")->click();
    EXPECT_TRUE(closed());
    EXPECT_EQ(app->account.Pop3Server, "pop.example.com");
    EXPECT_EQ(app->account.UseApop, 1);
    EXPECT_EQ(TempAppFolder::read(folder.korumiIni()),
              "SMTP=smtp.example.com\r\nPOP3=pop.example.com\r\nMAIL=me@example.com\r\nAPOP=1\r\n");

    restart();
    EXPECT_EQ(app->loadedOptionForm(), nullptr);  // a POP3 server is known now
    open();
    EXPECT_EQ(control<QLineEdit>("SmtpText")->text(), "smtp.example.com");
    EXPECT_EQ(control<QLineEdit>("Pop3Text")->text(), "pop.example.com");
    EXPECT_EQ(control<QLineEdit>("MailText")->text(), "me@example.com");
    EXPECT_TRUE(control<QCheckBox>("ApopCheck")->isChecked());
}

TEST_F(OptionFormTest, CancelAndEscChangeNothing) {
    app->account.Pop3Server = "kept.example.com";
    open();
    control<QLineEdit>("Pop3Text")->setText("typed.example.com");
    control<QPushButton>("CancelCommand")->click();
    EXPECT_TRUE(closed());

    open();
    EXPECT_EQ(control<QLineEdit>("Pop3Text")->text(), "kept.example.com");
    control<QLineEdit>("Pop3Text")->setText("typed again");
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(control<QLineEdit>("Pop3Text"), &escape);
    EXPECT_TRUE(closed());
    EXPECT_EQ(app->account.Pop3Server, "kept.example.com");
    EXPECT_FALSE(std::filesystem::exists(folder.korumiIni()));
}

TEST_F(OptionFormTest, HandEditedApopValueShowsChecked) {
    app->account.UseApop = 2;
    open();
    EXPECT_TRUE(control<QCheckBox>("ApopCheck")->isChecked());
}

TEST_F(OptionFormTest, StaysOnTopWithAccessKeysAndTabOrder) {
    OptionForm& dialog = open();
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    const std::pair<const char*, const char*> accessKeys[] = {
        {"Label1", "SmtpText"}, {"Label2", "Pop3Text"}, {"Label3", "MailText"}};
    for (const auto& [label, box] : accessKeys)
        EXPECT_EQ(control<QLabel>(label)->buddy(), control<QLineEdit>(box)) << label;
    EXPECT_EQ(control<QLabel>("Label1")->text(), "SMTPサーバー名(&S)");
    EXPECT_EQ(control<QLabel>("Label2")->text(), "POP3サーバー名(&P)");
    EXPECT_EQ(control<QLabel>("Label3")->text(), "メールアドレス(&M)");
    EXPECT_EQ(control<QCheckBox>("ApopCheck")->text(), "APOP を使用する(&A)");

    // Tab order: top to bottom as the controls stand.
    QStringList order;
    QWidget* widget = control<QLineEdit>("SmtpText");
    for (int i = 0; i < 40 && order.size() < 6; ++i, widget = widget->nextInFocusChain())
        if (widget->focusPolicy() & Qt::TabFocus) order << widget->objectName();
    EXPECT_EQ(order, (QStringList{"SmtpText", "Pop3Text", "MailText", "ApopCheck", "OKCommand",
                                  "CancelCommand"}));
}

TEST_F(OptionFormTest, FailedSaveIsReported) {
    const auto blocked = folder.korumiIni();
    std::filesystem::create_directory(blocked);  // a folder where the file should go
    open();
    control<QPushButton>("OKCommand")->click();
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_TRUE(dialogs.boxes()[0].text.startsWith("サーバー設定を保存できませんでした。"));
}

}  // namespace
}  // namespace tsubame::testing
