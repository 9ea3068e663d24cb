#include "reply/back_form.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <thread>

#include "context/app_context.h"
#include "core/cp932.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_mail_library.h"
#include "support/test_app_context.h"

namespace tsubame {
namespace {

using testing::ScriptedDialogs;
using testing::ScriptedMailLibrary;

class BackFormTest : public ::testing::Test {
  protected:
    BackFormTest() : app(AppPaths(appDir.path().toStdString()), mail, dialogs) {
        app.account.SmtpServer = "smtp.example.jp";
        app.account.MailAddress = "me@example.jp";
        app.account.UserId = "me";
        app.account.Password = "secret";
    }
    BackForm& form() { return app.reply(); }
    // The window's controls, found by their names.
    struct Controls {
        QWidget* form;
        template <class W>
        W* get(const char* name) const {
            W* w = form->findChild<W*>(name);
            EXPECT_NE(w, nullptr) << name;
            return w;
        }
    };
    struct Ui {
        QPushButton *Command2, *Command3, *Command4, *AttachCommand, *Command9, *Command10;
        QLineEdit *ToText, *SubjectText, *AttachText;
        QTextEdit* BodyText;
        QListWidget* List2;
    };
    Ui ui() {
        Controls c{&form()};
        return {c.get<QPushButton>("Command2"), c.get<QPushButton>("Command3"),
                c.get<QPushButton>("Command4"), c.get<QPushButton>("AttachCommand"),
                c.get<QPushButton>("Command9"), c.get<QPushButton>("Command10"),
                c.get<QLineEdit>("ToText"),     c.get<QLineEdit>("SubjectText"),
                c.get<QLineEdit>("AttachText"), c.get<QTextEdit>("BodyText"),
                c.get<QListWidget>("List2")};
    }
    void click(QPushButton* button) { button->click(); }
    static void processDeletes() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QTemporaryDir appDir;
    ScriptedMailLibrary mail;
    ScriptedDialogs dialogs;
    testing::TestAppContext app;
};

TEST_F(BackFormTest, ControlsCarryTheirCaptions) {
    EXPECT_EQ(form().windowTitle(), "返事を書く");
    EXPECT_EQ(ui().Command2->text(), "    送信");
    EXPECT_EQ(ui().Command3->text(), "     送信中止");
    EXPECT_EQ(ui().Command4->text(), "     本文に貼付");
    EXPECT_EQ(ui().AttachCommand->text(), "添付");
    EXPECT_EQ(ui().Command9->text(), "追加");
    EXPECT_EQ(ui().Command10->text(), "取り消し");
    EXPECT_TRUE(ui().List2->isHidden());
}

TEST_F(BackFormTest, FillTrimsEveryFieldAndPrefixesTheSubject) {
    form().fillReply("  お知らせ  ", " friend@example.jp ", "  本文\n2 行目  ");
    EXPECT_EQ(ui().SubjectText->text(), "Re:  お知らせ");
    EXPECT_EQ(ui().ToText->text(), "friend@example.jp");
    EXPECT_EQ(ui().BodyText->toPlainText(), "本文\n2 行目");
}

TEST_F(BackFormTest, AttachThenAddTwiceGivesThreePathsAndThreeNames) {
    dialogs.openNext("/tmp/a/one.txt");
    dialogs.openNext("/tmp/b/二.pdf");
    dialogs.openNext("/tmp/c/three.png");
    click(ui().AttachCommand);
    EXPECT_FALSE(ui().AttachCommand->isEnabled());
    EXPECT_TRUE(ui().List2->isHidden());
    click(ui().Command9);
    click(ui().Command9);
    EXPECT_EQ(ui().AttachText->text(), "/tmp/a/one.txt,/tmp/b/二.pdf,/tmp/c/three.png");
    ASSERT_EQ(ui().List2->count(), 3);
    EXPECT_EQ(ui().List2->item(0)->text(), "one.txt");
    EXPECT_EQ(ui().List2->item(1)->text(), "二.pdf");
    EXPECT_EQ(ui().List2->item(2)->text(), "three.png");
    EXPECT_FALSE(ui().List2->isHidden());
}

TEST_F(BackFormTest, CancelledDialogsAddNothing) {
    dialogs.openNext(std::nullopt);
    click(ui().AttachCommand);
    EXPECT_EQ(ui().AttachText->text(), "");
    EXPECT_FALSE(ui().AttachCommand->isEnabled());
    // With no first attachment, "追加" only shows the list.
    click(ui().Command9);
    EXPECT_EQ(dialogs.fileDialogsShown(), 1);
    dialogs.openNext("/tmp/x.txt");
    ui().AttachText->setText("/tmp/first.txt");
    dialogs.openNext(QString());
    click(ui().Command9);
    click(ui().Command9);
    EXPECT_EQ(ui().AttachText->text(), "/tmp/first.txt,/tmp/x.txt");
    EXPECT_EQ(ui().List2->count(), 1);
}

TEST_F(BackFormTest, DropRightAfterOpeningThenAttachEnablesOnlyAdd) {
    ui().AttachText->setText("/tmp/typed.txt");
    click(ui().Command10);
    EXPECT_EQ(ui().AttachText->text(), "");
    EXPECT_FALSE(ui().Command9->isEnabled());
    EXPECT_FALSE(ui().Command10->isEnabled());
    EXPECT_TRUE(ui().AttachCommand->isEnabled());
    EXPECT_TRUE(ui().List2->isHidden());
    click(ui().AttachCommand);
    EXPECT_TRUE(ui().Command9->isEnabled());
    EXPECT_FALSE(ui().Command10->isEnabled());
}

TEST_F(BackFormTest, PasteInFrontWithAnEmptyClipboard) {
    app.recordBuffer.fill(utf8ToCp932("件名"), "date", "from",
                          utf8ToCp932("  受信した本文\r\n2 行目  "));
    QGuiApplication::clipboard()->clear();
    click(ui().Command4);
    const QString expected = QStringLiteral("\n\n\n\n受信した本文\n2 行目");
    EXPECT_EQ(ui().BodyText->toPlainText(), expected);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);
}

TEST_F(BackFormTest, PasteInFrontPutsTheClipboardTextFirstWithoutOuterBlanks) {
    app.recordBuffer.fill("s", "d", "f", "body");
    form().fillReply("s", "f", "x");
    app.recordBuffer.fill("s2", "d2", "f2", "read after the reply was made");
    QGuiApplication::clipboard()->setText("  my answer");
    click(ui().Command4);
    EXPECT_EQ(ui().BodyText->toPlainText(), "my answer\n\n\n\nbody");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "  my answer\n\n\n\nbody");
}

TEST_F(BackFormTest, SendMakesOneLibraryCallThenCloses) {
    QPointer<BackForm> window = &form();
    window->fillReply("題", "friend@example.jp", "一行目\n二行目");
    dialogs.openNext("/tmp/a.txt");
    click(ui().AttachCommand);
    window->show();
    EXPECT_EQ(window->focusWidget(), ui().BodyText);  // Space writes a blank, not a send
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(5);
    mail.onSend = [] { std::this_thread::sleep_for(std::chrono::milliseconds(200)); };
    click(ui().Command2);
    EXPECT_GE(ticks, 5);

    EXPECT_EQ(mail.smtpLoginId, "me");
    EXPECT_EQ(mail.smtpLoginPassword, "secret");
    ASSERT_EQ(mail.sent.size(), 1u);
    const auto& sent = mail.sent[0];
    EXPECT_EQ(sent.server, "smtp.example.jp");
    EXPECT_EQ(sent.to, "friend@example.jp");
    EXPECT_EQ(sent.from, "me@example.jp");
    EXPECT_EQ(sent.subject, utf8ToCp932("Re:  題"));
    EXPECT_EQ(sent.body, utf8ToCp932("一行目\r\n二行目"));
    EXPECT_EQ(sent.path, "/tmp/a.txt");
    EXPECT_TRUE(sent.ccNull && sent.bccNull && sent.headerNull);
    EXPECT_FALSE(sent.pathNull);
    EXPECT_EQ(sent.flag, 0);
    EXPECT_TRUE(dialogs.boxes().empty());
    processDeletes();
    EXPECT_TRUE(window.isNull());
}

TEST_F(BackFormTest, TextsOutsideCodePage932ReachTheLibraryWhole) {
    form().fillReply("題", "to@example.jp", "b");
    ui().SubjectText->setText(QStringLiteral("Re: 😀 한국어"));
    ui().BodyText->setPlainText(QStringLiteral("é ü ą\n简体中文"));
    click(ui().Command2);
    ASSERT_EQ(mail.sent.size(), 1u);
    EXPECT_TRUE(mail.sent[0].utf8Call);
    EXPECT_EQ(mail.sent[0].utf8Subject, "Re: 😀 한국어");
    EXPECT_EQ(mail.sent[0].utf8Body, "é ü ą\r\n简体中文");
}

TEST_F(BackFormTest, NoAttachmentIsAnEmptyTextNotNull) {
    form().fillReply("s", "to@example.jp", "b");
    click(ui().Command2);
    ASSERT_EQ(mail.sent.size(), 1u);
    EXPECT_EQ(mail.sent[0].path, "");
    EXPECT_FALSE(mail.sent[0].pathNull);
}

TEST_F(BackFormTest, FailedSendShowsTheLibraryTextAndKeepsTheReply) {
    QPointer<BackForm> window = &form();
    window->fillReply("題", "bad address", "本文");
    window->show();
    mail.sendResults.push_back(-1);
    mail.errorText = utf8ToCp932("宛先が不正です");
    click(ui().Command2);
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_EQ(dialogs.boxes()[0].text, "宛先が不正です");
    EXPECT_EQ(dialogs.boxes()[0].title, "送信エラー");
    processDeletes();
    ASSERT_FALSE(window.isNull());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(ui().BodyText->toPlainText(), "本文");
    EXPECT_EQ(ui().SubjectText->text(), "Re:  題");
    // A second try goes out again.
    click(ui().Command2);
    EXPECT_EQ(mail.sent.size(), 2u);
}

TEST_F(BackFormTest, StopClosesWithoutSending) {
    QPointer<BackForm> window = &form();
    window->show();
    click(ui().Command3);
    processDeletes();
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(mail.sent.empty());
}

TEST_F(BackFormTest, ResizeFollowsTheOuterSize) {
    form().layoutForSize(10000, 8000);
    EXPECT_EQ(ui().BodyText->width(), 660);   // 9900 twips
    EXPECT_EQ(ui().BodyText->height(), 395);  // 5920 twips
    EXPECT_EQ(ui().ToText->width(), 467);     // 7000 twips
    EXPECT_EQ(ui().SubjectText->width(), 467);
    EXPECT_EQ(ui().AttachText->width(), 267);  // 4000 twips
    EXPECT_EQ(ui().AttachCommand->x(), 349);   // 5240 twips
    EXPECT_EQ(ui().Command9->x(), 404);        // 6060 twips
    EXPECT_EQ(ui().Command10->x(), 463);       // 6940 twips
}

}  // namespace
}  // namespace tsubame
