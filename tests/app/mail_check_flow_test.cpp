// The mail check's normal course: order of storing and marking, what the windows show.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include "app/mail_check_fixture.h"
#include "app/main_form.h"
#include "receive/mail_check.h"
#include "setup/id_pass_form.h"
#include "viewer/tyaku_form.h"

namespace tsubame::testing {
namespace {

using Strings = std::vector<std::string>;

QString mainText(MainForm& main, const char* name) {
    auto* box = main.findChild<QLineEdit*>(QString::fromLatin1(name));
    if (box) return box->text();
    auto* edit = main.findChild<QPlainTextEdit*>(QString::fromLatin1(name));
    return edit ? edit->toPlainText() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

TEST_F(MailCheckTest, ThreeMailsAreStoredInOrderAndEachMarkedAfterItsRecord) {
    MainForm main(*app_);
    addMails(3);
    Strings atDelete;
    mail_.onDelete = [&](int n) {
        // The record of mail n is in the store when mail n is marked.
        atDelete.push_back(std::to_string(store().count()) + ":" + storedSubject(n));
    };
    const MailCheckOutcome outcome = runMailCheck(*app_);

    EXPECT_EQ(atDelete, (Strings{"1:件名1", "2:件名2", "3:件名3"}));
    EXPECT_EQ(storedSubjects(), (Strings{"件名1", "件名2", "件名3"}));
    EXPECT_EQ(storedBody(3), "本文3\r\n");  // the decoder keeps the body's last line end
    EXPECT_TRUE(mail_.mailbox.empty());
    EXPECT_EQ(outcome.count, 3);
    EXPECT_TRUE(outcome.completed);
    EXPECT_EQ(mail_.lastAuthId, "user");
    EXPECT_EQ(mail_.lastAuthPassword, "pass");
    EXPECT_EQ(mail_.lastApop, 0);
    EXPECT_EQ(app_->CurrentRecord, 3);
    EXPECT_EQ(mainText(main, "Text6"), QStringLiteral("3"));
    EXPECT_EQ(mainText(main, "Text3"), QStringLiteral("新着メールがあります"));
    EXPECT_EQ(mainText(main, "Text1"), QStringLiteral("メールのチェックをしています。"));
    EXPECT_TRUE(main.isWideLayout());
    // The viewer was the staging area without being shown, and holds the last mail.
    TyakuForm* viewer = app_->loadedViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_EQ(viewer->subjectBox()->text(), QStringLiteral("件名3"));
    EXPECT_EQ(viewer->fromBox()->text(), QStringLiteral("sender@example.jp"));
    EXPECT_EQ(viewer->reader()->toPlainText(), QStringLiteral("本文3\n"));
    EXPECT_TRUE(dialogs_.boxes().empty());
    EXPECT_FALSE(std::filesystem::exists(app_->paths().attachmentScratch()));
    EXPECT_FALSE(std::filesystem::exists(app_->paths().receiveJournal()));
}

TEST_F(MailCheckTest, NoMailLeavesTheWindowNarrowAndTheViewerClosed) {
    MainForm main(*app_);
    const MailCheckOutcome outcome = runMailCheck(*app_);
    EXPECT_EQ(outcome.count, 0);
    EXPECT_TRUE(outcome.completed);
    EXPECT_EQ(mainText(main, "Text3"), QStringLiteral("新着メール無し。"));
    EXPECT_EQ(mainText(main, "Text6"), QStringLiteral("0"));
    EXPECT_FALSE(main.isWideLayout());
    EXPECT_EQ(app_->loadedViewer(), nullptr);
    EXPECT_EQ(store().count(), 0);
    EXPECT_EQ(callsNamed("Close"), 1);
}

TEST_F(MailCheckTest, RefusedLoginShowsTheLibraryTextAndTheNegativeCount) {
    MainForm main(*app_);
    addMails(2);
    mail_.loginResult = -3;
    mail_.errorText = "-ERR authentication failed";
    const MailCheckOutcome outcome = runMailCheck(*app_);
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_EQ(dialogs_.boxes()[0].title, QStringLiteral("エラー"));
    EXPECT_EQ(dialogs_.boxes()[0].text, QStringLiteral("-ERR authentication failed"));
    EXPECT_EQ(outcome.count, -3);
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(mainText(main, "Text6"), QStringLiteral("-3"));
    EXPECT_EQ(mainText(main, "Text3"), QStringLiteral("メールを受信できませんでした。"));
    EXPECT_EQ(mail_.mailbox.size(), 2u);
    EXPECT_EQ(callsNamed("Close"), 1);
}

TEST_F(MailCheckTest, MissingLoginOpensTheAccountDialogWithoutLoggingIn) {
    MainForm main(*app_);
    SettingsFiles(app_->paths()).writeLogin("NAME2", "");
    addMails(1);
    const MailCheckOutcome outcome = runMailCheck(*app_);
    EXPECT_EQ(callsNamed("Authenticate"), 0);
    EXPECT_EQ(callsNamed("Close"), 1);
    ASSERT_NE(app_->loadedIdPassForm(), nullptr);
    EXPECT_TRUE(app_->loadedIdPassForm()->isVisible());
    EXPECT_EQ(outcome.count, 0);
    EXPECT_EQ(mainText(main, "Text6"), QStringLiteral("0"));
    EXPECT_EQ(mail_.mailbox.size(), 1u);
}

TEST_F(MailCheckTest, EmptyServerOrFailedConnectionIsToldAndNotShownAsNoMail) {
    MainForm main(*app_);
    app_->account.Pop3Server.clear();
    EXPECT_FALSE(runMailCheck(*app_).completed);
    EXPECT_EQ(callsNamed("Connect"), 0);
    EXPECT_NE(mainText(main, "Text1"), QStringLiteral("メールのチェックをしています。"));
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_EQ(dialogs_.boxes()[0].title, QStringLiteral("エラー"));
    EXPECT_TRUE(dialogs_.boxTexts()[0].contains(QStringLiteral("POP3サーバー")));

    dialogs_.clear();
    app_->account.Pop3Server = "pop.example.jp";
    mail_.connectFails = true;
    mail_.errorText = "connection refused";
    const MailCheckOutcome outcome = runMailCheck(*app_);
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.count, 0);
    EXPECT_EQ(mainText(main, "Text1"), QStringLiteral("メールのチェックをしています。"));
    EXPECT_EQ(mainText(main, "Text3"), QStringLiteral("メールを受信できませんでした。"));
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_EQ(dialogs_.boxes()[0].title, QStringLiteral("エラー"));
    EXPECT_EQ(dialogs_.boxTexts()[0], QStringLiteral("connection refused"));
}

TEST_F(MailCheckTest, AutoOpenShowsTheFilledViewer) {
    MainForm main(*app_);
    auto* check2 = main.findChild<QWidget*>("Check2");
    ASSERT_NE(check2, nullptr);
    QMetaObject::invokeMethod(check2, "setChecked", Q_ARG(bool, true));
    ASSERT_TRUE(main.autoOpenViewerChecked());
    addMails(2);
    runMailCheck(*app_);
    ASSERT_NE(app_->loadedViewer(), nullptr);
    EXPECT_TRUE(app_->loadedViewer()->isVisible());
    EXPECT_EQ(app_->loadedViewer()->listRowCount(), 2);
    EXPECT_EQ(main.storedMailCount(), QStringLiteral("2"));
}

}  // namespace
}  // namespace tsubame::testing
