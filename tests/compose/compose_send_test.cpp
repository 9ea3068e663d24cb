#include <QProgressBar>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "compose_fixture.h"
#include "send/send_fortune.h"
#include "support/paint_watch.h"

namespace tsubame::testing {
namespace {

const std::string kCrLf2 = "\r\n\r\n";

class ComposeSendTest : public ComposeTest {
  protected:
    ComposeSendTest() {
        app->account.SmtpServer = "smtp.example.com";
        app->account.MailAddress = "me@example.com";
    }
    void fill(const QString& to, const QString& subject, const QString& body) {
        box("ToText")->setText(to);
        box("SubjectText")->setText(subject);
        form().body()->setPlainText(body);
    }
    void enterToAllMode() {
        dialogs.answerNext(BoxAnswer::Yes);
        click("Option2");
        ASSERT_TRUE(form().toAllMode());
    }
    // A press that sent nothing: the window stays, with its message and no success status.
    void expectNothingSentAndKept(const QString& body) {
        EXPECT_TRUE(mail.sent.empty());
        ASSERT_FALSE(composeClosed());
        EXPECT_NE(status(), QStringLiteral("送信完了です。"));
        EXPECT_EQ(form().body()->toPlainText(), body);
    }
    std::vector<std::string> recipients() const {
        std::vector<std::string> to;
        for (const auto& sent : mail.sent) to.push_back(sent.to);
        return to;
    }
    // The fortune block that follows the body, or "" when the body does not end in one.
    static bool endsWithOneFortune(const std::string& sent, const std::string& body) {
        const std::string head = body + kCrLf2 + utf8ToCp932(fortuneBanner()) + kCrLf2;
        if (sent.rfind(head, 0) != 0) return false;
        const std::string tail = sent.substr(head.size());
        for (int k = 1; k <= kFortuneCount; ++k) {
            if (tail == utf8ToCp932(fortuneText(k))) return true;
        }
        return false;
    }
};

TEST_F(ComposeSendTest, SingleModeSendsOneCallWithTheRecipientAsTyped) {
    ASSERT_TRUE(app->settingsFiles().writeLogin("NAME", "user"));
    ASSERT_TRUE(app->settingsFiles().writeLogin("NAME2", "pass"));
    open();
    fill(QStringLiteral(" to@example.com "), QStringLiteral("件名です"),
         QStringLiteral("一行目\n二行目"));
    click("Command1");
    ASSERT_EQ(mail.sent.size(), 1u);
    const auto& sent = mail.sent[0];
    EXPECT_EQ(sent.to, " to@example.com ");
    EXPECT_EQ(sent.server, "smtp.example.com");
    EXPECT_EQ(sent.from, "me@example.com");
    EXPECT_EQ(sent.subject, utf8ToCp932("件名です"));
    EXPECT_EQ(sent.body, utf8ToCp932("一行目\r\n二行目"));
    EXPECT_TRUE(sent.ccNull);
    EXPECT_TRUE(sent.bccNull);
    EXPECT_TRUE(sent.headerNull);
    EXPECT_FALSE(sent.pathNull);  // no attachment: an empty text, not a null pointer
    EXPECT_EQ(sent.path, "");
    EXPECT_EQ(sent.flag, 0);
    EXPECT_EQ(mail.smtpLoginId, "user");
    EXPECT_EQ(mail.smtpLoginPassword, "pass");
    EXPECT_TRUE(dialogs.boxes().empty());
    EXPECT_TRUE(composeClosed());
}

TEST_F(ComposeSendTest, LoginFallsBackToTheAccountDialogsValues) {
    app->account.UserId = "typed";
    app->account.Password = "secret";
    open();
    fill("to@example.com", "s", "b");
    click("Command1");
    EXPECT_EQ(mail.smtpLoginId, "typed");
    EXPECT_EQ(mail.smtpLoginPassword, "secret");
}

TEST_F(ComposeSendTest, TwoAttachmentsArePassedAsOneCommaSeparatedText) {
    open();
    dialogs.openNext(QStringLiteral("/data/first"));
    dialogs.openNext(QStringLiteral("/data/second"));
    click("AttachCommand");
    click("Command9");
    fill("to@example.com", "s", "b");
    click("Command1");
    ASSERT_EQ(mail.sent.size(), 1u);
    EXPECT_EQ(mail.sent[0].path, "/data/first,/data/second");
}

TEST_F(ComposeSendTest, ToAllSendsToEveryEntryInRecordOrder) {
    addEntry("one", "one@example.com");
    addEntry("two", "two@example.com");
    addEntry("three", "three@example.com");
    open();
    enterToAllMode();
    fill("", "s", "b");
    click("Command1");
    EXPECT_EQ(recipients(), (std::vector<std::string>{"one@example.com", "two@example.com",
                                                      "three@example.com"}));
    EXPECT_TRUE(composeClosed());
}

TEST_F(ComposeSendTest, ToAllSkipsRowsWhoseEntryIsGoneOrBlank) {
    addEntry("one", "one@example.com");
    addEntry("blank", "");
    addEntry("three", "three@example.com");
    open();
    ASSERT_TRUE(app->addressStore().remove(3, true));  // the book shrank after the list loaded
    enterToAllMode();
    fill("", "s", "b");
    click("Command1");
    EXPECT_EQ(recipients(), (std::vector<std::string>{"one@example.com"}));
}

TEST_F(ComposeSendTest, ToAllWithAnEmptyListSendsNothingAndKeepsTheMessage) {
    open();
    enterToAllMode();
    fill("", "s", "body");
    click("Command1");
    expectNothingSentAndKept("body");
}

// The book shrank to nothing after the list was loaded: nobody got the message, so it stays,
// and the box names every entry that was not reached.
TEST_F(ComposeSendTest, ToAllThatReachedNobodyKeepsTheMessageAndNamesTheMissing) {
    addEntry("one", "one@example.com");
    addEntry("two", "two@example.com");
    open();
    ASSERT_TRUE(app->addressStore().remove(2, true));
    ASSERT_TRUE(app->addressStore().remove(1, true));
    enterToAllMode();
    dialogs.clear();
    fill("", "s", "body");
    click("Command1");
    expectNothingSentAndKept("body");
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_TRUE(dialogs.boxes()[0].text.contains("one")) << dialogs.boxes()[0].text.toStdString();
    EXPECT_TRUE(dialogs.boxes()[0].text.contains("two")) << dialogs.boxes()[0].text.toStdString();
}

// After a partial failure a second press sends only to those who have not got the message,
// and says so first.
TEST_F(ComposeSendTest, SecondPressSendsOnlyToThoseNotReachedYet) {
    addEntry("one", "one@example.com");
    addEntry("two", "two@example.com");
    addEntry("three", "three@example.com");
    open();
    enterToAllMode();
    fill("", "s", "body");
    mail.sendResults = {1, -1, -1};
    click("Command1");
    ASSERT_FALSE(composeClosed());
    mail.sent.clear();
    dialogs.clear();
    mail.sendResults = {1, -1};
    click("Command1");
    EXPECT_EQ(recipients(), (std::vector<std::string>{"two@example.com", "three@example.com"}));
    ASSERT_FALSE(dialogs.boxes().empty());
    EXPECT_TRUE(dialogs.boxes()[0].text.contains(QStringLiteral("1 件")))
        << dialogs.boxes()[0].text.toStdString();
    EXPECT_FALSE(composeClosed());
    mail.sent.clear();
    click("Command1");
    EXPECT_EQ(recipients(), (std::vector<std::string>{"three@example.com"}));
    EXPECT_EQ(status(), QStringLiteral("送信完了です。"));
    EXPECT_TRUE(composeClosed());
}

// Texts outside code page 932 reach the library whole, through its UTF-8 call.
TEST_F(ComposeSendTest, TextsOutsideCodePage932ReachTheLibraryWhole) {
    open();
    fill(QStringLiteral("to@example.com"), QStringLiteral("件名😀 한국어"),
         QStringLiteral("é ü ą\n简体中文😀"));
    click("Command1");
    ASSERT_EQ(mail.sent.size(), 1u);
    EXPECT_TRUE(mail.sent[0].utf8Call);
    EXPECT_EQ(mail.sent[0].utf8Subject, "件名😀 한국어");
    EXPECT_EQ(mail.sent[0].utf8Body, "é ü ą\r\n简体中文😀");
}

TEST_F(ComposeSendTest, FortuneFollowsTheBodyOnce) {
    open();
    fill("to@example.com", "s", QStringLiteral("本文"));
    control<QCheckBox>("Check1")->setChecked(true);
    click("Command1");
    ASSERT_EQ(mail.sent.size(), 1u);
    EXPECT_TRUE(endsWithOneFortune(mail.sent[0].body, utf8ToCp932("本文"))) << mail.sent[0].body;
}

TEST_F(ComposeSendTest, FortuneIsAddedOncePerMessageInToAllMode) {
    addEntry("one", "one@example.com");
    addEntry("two", "two@example.com");
    addEntry("three", "three@example.com");
    open();
    enterToAllMode();
    fill("", "s", "body");
    control<QCheckBox>("Check1")->setChecked(true);
    click("Command1");
    ASSERT_EQ(mail.sent.size(), 3u);
    for (const auto& sent : mail.sent) EXPECT_TRUE(endsWithOneFortune(sent.body, "body"));
}

TEST_F(ComposeSendTest, StatusLineSaysSendingDuringEveryPassAndDoneAfterwards) {
    addEntry("one", "one@example.com");
    addEntry("two", "two@example.com");
    open();
    dialogs.openNext(QStringLiteral("/data/first"));
    click("AttachCommand");
    click("Command9");  // shows the file list
    enterToAllMode();
    fill("", QStringLiteral("件名"), QStringLiteral("本文"));
    struct DuringPass {
        QString status, shownRecipient;
        bool addEnabled, attachEnabled, listVisible;
    };
    std::vector<DuringPass> seen;
    mail.onSend = [&] {
        seen.push_back({status(), box("ToText")->text().trimmed(), control("Command9")->isEnabled(),
                        control("AttachCommand")->isEnabled(), list("List2")->isVisible()});
    };
    click("Command1");
    ASSERT_EQ(seen.size(), 2u);
    for (const DuringPass& pass : seen) {
        EXPECT_EQ(pass.status, QStringLiteral("メールを送信中です。しばらくお待ち下さい。"));
        EXPECT_FALSE(pass.addEnabled);
        EXPECT_TRUE(pass.attachEnabled);
        EXPECT_FALSE(pass.listVisible);
    }
    EXPECT_EQ(seen[0].shownRecipient, QStringLiteral("one@example.com"));
    EXPECT_EQ(seen[1].shownRecipient, QStringLiteral("two@example.com"));
    EXPECT_EQ(status(), QStringLiteral("送信完了です。"));
    EXPECT_TRUE(composeClosed());
}

TEST_F(ComposeSendTest, ToAllSendRepaintsTheWindowAndShowsPassNOfN) {
    for (const char* name : {"one", "two", "three"})
        addEntry(name, std::string(name) + "@example.com");
    open();
    enterToAllMode();
    fill("", "s", "b");
    PaintWatch watch;
    form().installEventFilter(&watch);
    if (auto* bar = control<QProgressBar>("SendProgress")) bar->installEventFilter(&watch);
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, &form(), [this] { form().update(); });
    repaint.start(5);

    // Each send lasts until the window has painted again, or a second when it cannot.
    std::vector<bool> paintedDuringSend;
    mail.onSend = [&] {
        const int before = watch.paints;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (watch.paints == before && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        paintedDuringSend.push_back(watch.paints > before);
    };
    click("Command1");
    EXPECT_EQ(paintedDuringSend, std::vector<bool>(3, true));
    EXPECT_EQ(watch.progressTexts, (std::set<QString>{"1 / 3", "2 / 3", "3 / 3"}));
    EXPECT_EQ(recipients().size(), 3u);
    EXPECT_TRUE(composeClosed());
}

TEST_F(ComposeSendTest, FailedPassTwoOfThreeStillRunsPassThreeAndKeepsTheMessage) {
    addEntry("one", "one@example.com");
    addEntry("two", "two@example.com");
    addEntry("three", "three@example.com");
    open();
    enterToAllMode();
    dialogs.clear();
    fill("", QStringLiteral("件名"), QStringLiteral("本文"));
    mail.sendResults = {1, -1, 1};
    mail.errorText = utf8ToCp932("接続できません");
    click("Command1");
    EXPECT_EQ(mail.sent.size(), 3u);
    ASSERT_EQ(dialogs.boxes().size(), 2u);
    EXPECT_EQ(dialogs.boxes()[0].text, QStringLiteral("接続できません"));
    EXPECT_EQ(dialogs.boxes()[0].title, QStringLiteral("送信エラー"));
    EXPECT_EQ(dialogs.boxes()[0].buttons, BoxButtons::Ok);
    EXPECT_EQ(dialogs.boxes()[0].icon, BoxIcon::None);
    EXPECT_TRUE(dialogs.boxes()[1].text.contains("two@example.com"));
    EXPECT_FALSE(dialogs.boxes()[1].text.contains("one@example.com"));
    EXPECT_FALSE(composeClosed());
    EXPECT_TRUE(form().toAllMode());
    EXPECT_EQ(box("SubjectText")->text(), QStringLiteral("件名"));
    EXPECT_EQ(form().body()->toPlainText(), QStringLiteral("本文"));
    EXPECT_NE(status(), QStringLiteral("送信完了です。"));
}

TEST_F(ComposeSendTest, FailedSingleSendLeavesEverythingAsItWas) {
    open();
    dialogs.openNext(QStringLiteral("/data/first"));
    click("AttachCommand");
    fill("to@example.com", "s", "body");
    control<QCheckBox>("Check1")->setChecked(true);
    mail.sendResults = {-3};
    click("Command1");
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_EQ(dialogs.boxes()[0].text, "scripted failure");
    EXPECT_FALSE(composeClosed());
    EXPECT_EQ(box("ToText")->text(), "to@example.com");
    EXPECT_EQ(box("SubjectText")->text(), "s");
    EXPECT_EQ(form().body()->toPlainText(), "body");  // no fortune left behind in the body
    EXPECT_EQ(box("AttachText")->text(), "/data/first");
    EXPECT_TRUE(control<QCheckBox>("Check1")->isChecked());
    EXPECT_TRUE(control("Command9")->isEnabled());
    EXPECT_FALSE(control("AttachCommand")->isEnabled());
    EXPECT_NE(status(), QStringLiteral("送信完了です。"));

    click("Command1");  // sending again works on the same message
    ASSERT_EQ(mail.sent.size(), 2u);
    EXPECT_TRUE(endsWithOneFortune(mail.sent[1].body, "body"));
    EXPECT_TRUE(composeClosed());
}

}  // namespace
}  // namespace tsubame::testing
