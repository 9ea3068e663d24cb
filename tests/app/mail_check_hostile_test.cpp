// The check in the main window with the real mail library: stop and close answer at once
// inside a slow mail or against a silent server, and a server settings file that cannot be
// read is told in the window. (The check against hostile mails and folders runs without
// windows: tests/receive/mail_check_hostile_test.cpp.)
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QByteArray>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTextEdit>
#include <QTreeView>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "app/mail_check_operation.h"
#include "app/mail_session.h"
#include "app/main_form.h"
#include "core/cp932.h"
#include "receive/original_mail.h"
#include "settings/settings_files.h"
#include "store/received_mail_store.h"
#include "support/mail_files.h"
#include "support/real_library_app_fixture.h"
#include "support/temp_folder.h"
#include "viewer/mail_list_model.h"
#include "viewer/tyaku_commands.h"
#include "viewer/tyaku_form.h"

namespace tsubame::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Strings = std::vector<std::string>;
using Files = std::map<std::string, std::string>;  // name -> content
using MailboxFault = FakePop3Mailbox::FaultKind;

class MailCheckHostileTest : public RealLibraryAppTest {
  protected:
    fs::path attachments() const { return folder_ / "添付フォルダ"; }

    MailCheckOutcome check() {
        app_->account.Pop3Server = box_.serverName();
        dialogs_.clear();
        return runMailCheck(*app_);
    }
    // Subject -> body of every record.
    std::map<std::string, std::string> stored() const {
        std::map<std::string, std::string> records;
        for (const ReceivedMailRecord& record : app_->receivedStore().readAll())
            records[std::string(record.subject())] = std::string(record.body());
        return records;
    }
    QString boxText() const {
        return dialogs_.boxes().empty() ? QString() : dialogs_.boxes().back().text;
    }
    void expectErrorBoxNaming(const QString& what) {
        ASSERT_FALSE(dialogs_.boxes().empty());
        EXPECT_EQ(dialogs_.boxes().back().title, QStringLiteral("エラー"));
        EXPECT_TRUE(boxText().contains(what)) << boxText().toStdString();
    }

    FakePop3Mailbox box_;
};

TEST_F(MailCheckHostileTest, StopAndCloseAnswerAtOnceInsideASlowMailOrAgainstASilentServer) {
    ScopedEnv timeout("TSUBAME_NET_TIMEOUT_MS", "20000");
    const auto runUntil = [](const std::function<bool()>& done, qint64 ms) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < ms) QApplication::processEvents();
        return done();
    };
    struct Case {
        const char* label;
        std::optional<FakePop3Mailbox::Fault> fault;
        bool pipelining, close;
        int left;  // the count the status gives, -1: none
    };
    const std::vector<Case> cases = {
        {"a slow mail", {}, false, false, 2},
        {"a slow mail asked ahead", {}, true, false, 2},
        {"a silent RETR", {{"RETR 1", MailboxFault::Silent}}, false, false, 3},
        {"a silent greeting", {{"greeting", MailboxFault::Silent}}, false, false, -1},
        {"a slow mail, closing the window", {}, false, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove(app_->paths().receivedStore());
        FakePop3Mailbox box({.pipelining = c.pipelining});
        for (const char* subject : {"one", "big", "three"})
            box.add(subject, subject[0] == 'b' ? 3 << 20 : 0);
        box.throttle(200 * 1024);
        if (c.fault) box.arm(*c.fault);
        app_->account.Pop3Server = box.serverName();
        app_->mail().resume(MailLibrary::Work::All);
        MainForm main(*app_);
        main.show();
        QPushButton* button = main.findChild<QPushButton*>("Command4");
        button->click();
        ASSERT_TRUE(runUntil(
            [&] { return box.faultStruck() || std::ranges::count(box.commands(), "RETR 2"); },
            5000));
        runUntil([] { return false; }, 300);
        if (!c.fault) {  // a send meanwhile does not wait for the mail under way
            const auto sent = std::chrono::steady_clock::now();
            EXPECT_LT(
                app_->mail().NMailSmtpSendMail("127.0.0.1:1", "a@example.com", nullptr, nullptr,
                                               "b@example.com", "s", "b", nullptr, "", 0),
                0);
            EXPECT_LT(std::chrono::steady_clock::now() - sent, 1s);
        }

        const auto start = std::chrono::steady_clock::now();
        c.close ? void(main.close()) : button->click();
        ASSERT_TRUE(runUntil([&] { return !main.checkRunning(); }, 5000));
        EXPECT_LT(std::chrono::steady_clock::now() - start, c.close ? 2s : 1s);
        const QString status = c.left < 0 ? QStringLiteral("受信を中止しました。")
                                          : QStringLiteral("受信中止（残り %1 通）").arg(c.left);
        EXPECT_EQ(main.findChild<QLineEdit*>("Text3")->text(), c.close ? QString() : status);
        EXPECT_EQ(main.findChild<QLineEdit*>("Text3")->cursorPosition(), 0) << "its start shown";
        EXPECT_EQ(main.isVisible(), !c.close);
        EXPECT_TRUE(dialogs_.boxes().empty()) << boxText().toStdString();
        EXPECT_EQ(box.subjects(), (Strings{"one", "big", "three"})) << "removed at a stop";

        box.throttle(0);
        box.disarm();
        app_->mail().resume(MailLibrary::Work::All);
        EXPECT_TRUE(runMailCheck(*app_).completed) << boxText().toStdString();
        EXPECT_TRUE(box.subjects().empty());
        EXPECT_EQ(stored().size(), 3u);
        EXPECT_EQ(app_->receivedStore().count(), 3) << "a mail stored twice";
    }
}

// A mail with characters code page 932 lacks: its record holds 〓 for them, the viewer shows
// the kept original's own texts (the saves still the record's), and the kept file is named with
// the subject's own characters. A notice a sender writes into a body links nothing.
TEST_F(MailCheckHostileTest, AKeptOriginalIsShownWithTheCharactersItsRecordLacks) {
    const std::string subject = "会議 🎉 Größe 한국", name = "김민수",
                      text = "本文 😀 안녕\r\n二行目";
    const auto word = [](const std::string& t) {
        return "=?UTF-8?B?" + QByteArray::fromStdString(t).toBase64().toStdString() + "?=";
    };
    std::ofstream(attachments() / "元のメール 1 x.eml") << "x";
    box_.addRaw("forged",
                mailWith("forged", "x\r\n" + originalMailNotice("元のメール 1 x.eml"), {}));
    box_.addRaw("kept", "From: " + word(name) + " <kim@example.kr>\r\nSubject: " + word(subject) +
                            "\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" + text + "\r\n");
    check();
    ASSERT_EQ(stored().size(), 2u);
    const Files files = filesIn(attachments());
    ASSERT_EQ(files.size(), 2u);
    const std::string kept = files.rbegin()->first;  // after "元のメール 1 x.eml"
    EXPECT_TRUE(kept.ends_with(" " + subject + ".eml")) << kept;

    TyakuForm& viewer = app_->viewer();
    viewer.openViewer();
    EXPECT_EQ(viewer.subjectBox()->text().toStdString(), subject);
    EXPECT_EQ(viewer.fromBox()->text().toStdString(), name + " <kim@example.kr>");
    const std::string body = viewer.reader()->toPlainText().toStdString();
    EXPECT_TRUE(body.starts_with("本文 😀 안녕\n二行目") && body.ends_with(originalMailNotice(kept)))
        << body;
    for (int column : {0, 1})
        EXPECT_EQ(viewer.listModel().index(1, column).data().toString(),
                  column == 0 ? viewer.subjectBox()->text() : viewer.fromBox()->text());
    EXPECT_EQ(tyakuCommands(viewer)->shownMessage().subject.toStdString(),
              cp932ToUtf8(utf8ToCp932(subject)));
    for (int row : {1, 2}) {
        viewer.mailList()->selectionModel()->select(
            viewer.listModel().index(row - 1, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        viewer.showSelectedMail();
        emit viewer.findChild<QMenu*>("mFile")->aboutToShow();
        EXPECT_EQ(viewer.findChild<QAction*>("moriginal")->isEnabled(), row == 2) << row;
    }
}

// The window: a korumi.ini that is no readable file neither hangs the start nor passes for an
// empty mailbox; the check names the reason in a box titled "エラー".
TEST_F(MailCheckHostileTest, AServerSettingsFileThatCannotBeReadIsToldInTheWindow) {
    const fs::path work = root() / "work";
    fs::create_directories(work);
    const fs::path previous = fs::current_path();
    fs::current_path(work);
    struct Case {
        const char* label;
        std::function<void()> plant;
        QString reason;
        bool startUpReads = true;  // the main window's start reads it first
    };
    const std::vector<Case> cases = {
        {"a FIFO", [] { ::mkfifo("korumi.ini", 0644); }, QStringLiteral("普通のファイルではない")},
        {"a folder", [] { fs::create_directory("korumi.ini"); },
         QStringLiteral("普通のファイルではない")},
        {"unreadable",
         [] {
             std::ofstream("korumi.ini") << "SMTP=smtp.example.jp\r\n";
             // The check's own look at the file fails; the start-up read has been done.
             injectFault(FaultKind::Read, 1, EIO);
         },
         QStringLiteral("読み込めません"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        app_->account = {};
        MainForm main(*app_);
        c.plant();
        if (c.startUpReads) loadAccountServerSettings(*app_);
        dialogs_.clear();
        EXPECT_FALSE(runMailCheck(*app_).completed);
        expectErrorBoxNaming(c.reason);
        EXPECT_EQ(main.findChild<QLineEdit*>("Text3")->text(),
                  QStringLiteral("メールを受信できませんでした。"));
        fs::remove_all("korumi.ini");
    }
    fs::current_path(previous);
}

}  // namespace
}  // namespace tsubame::testing
