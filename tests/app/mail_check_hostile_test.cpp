// The whole check, with the real mail library, against mails and folders that used to make it
// lose mail: a mail the server will not hand out, attachments that cannot be written, a NUL
// byte, a hostile scratch file, a missing attachment folder and an application folder whose
// name code page 932 cannot spell. Every mail ends up whole in the store (body and every
// attachment) or still on the server, and nothing is written outside the application folder.
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
#include "support/real_library_check_fixture.h"
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

Files filesIn(const fs::path& folder) {
    Files files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        files[entry.path().filename().string()] =
            entry.is_symlink() ? "-> " + fs::read_symlink(entry.path()).string()
                               : readFileBytes(entry.path());
    return files;
}

// A mail with a text body and base64 attachments.
std::string mailWith(const std::string& subject, const std::string& text, const Files& parts) {
    std::string raw = "From: a@example.jp\r\nSubject: " + subject +
                      "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
                      "--b\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" +
                      text + "\r\n";
    for (const auto& [name, content] : parts)
        raw +=
            "--b\r\nContent-Type: application/octet-stream\r\nContent-Disposition: "
            "attachment; filename=" +
            name + "\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
            QByteArray::fromStdString(content).toBase64().toStdString() + "\r\n";
    return raw + "--b--\r\n";
}

class MailCheckHostileTest : public RealLibraryCheckTest {
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

TEST_F(MailCheckHostileTest, AMailTheServerWillNotHandOutStaysAndTheRestAreTaken) {
    for (const char* subject : {"one", "two", "three"}) box_.add(subject);
    box_.arm({"RETR 2", MailboxFault::ErrReply});

    const MailCheckOutcome outcome = check();
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.count, 2);
    EXPECT_EQ(box_.subjects(), Strings{"two"});
    EXPECT_EQ(stored().size(), 2u);
    EXPECT_TRUE(stored().contains("three")) << "the check stopped at the refused mail";
    expectErrorBoxNaming(QStringLiteral("メール 2"));
    EXPECT_TRUE(boxText().contains(QStringLiteral("1 通"))) << boxText().toStdString();

    box_.disarm();
    EXPECT_TRUE(check().completed);
    EXPECT_TRUE(box_.subjects().empty());
    EXPECT_EQ(stored().size(), 3u);
}

// An attachment that cannot be written keeps its whole mail on the server; the next mails
// are taken; once the cause is gone the mail arrives with every attachment.
TEST_F(MailCheckHostileTest, AnAttachmentThatCannotBeWrittenKeepsItsWholeMailOnTheServer) {
    const Files parts = {{"a.bin", std::string("first\0part", 10)}, {"b.bin", "second part"}};
    struct Case {
        const char* label;
        std::function<void()> breakIt, mendIt;
    };
    const std::vector<Case> cases = {
        {"disk full at the second attachment", [] { injectFault(FaultKind::Write, 2, ENOSPC); },
         [] { clearInjectedFaults(); }},
        {"the attachment folder is a file",
         [&] {
             fs::remove_all(attachments());
             std::ofstream(attachments()) << "in the way";
         },
         [&] { fs::remove(attachments()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string subject = std::string("files ") + c.label;
        box_.addRaw(subject, mailWith(subject, "see the files", parts));
        box_.add(std::string("plain ") + c.label);
        c.breakIt();

        EXPECT_FALSE(check().completed);
        c.mendIt();
        EXPECT_EQ(box_.subjects(), Strings{subject});
        EXPECT_FALSE(stored().contains(subject));
        EXPECT_TRUE(stored().contains(std::string("plain ") + c.label));
        EXPECT_TRUE(filesIn(attachments()).empty()) << "a part of the kept mail was left";
        expectErrorBoxNaming(QStringLiteral("添付ファイルをオープンできません"));
        EXPECT_TRUE(boxText().contains(QString::fromStdString("メール 1「" + subject + "」")));

        EXPECT_TRUE(check().completed) << boxText().toStdString();
        EXPECT_TRUE(box_.subjects().empty());
        EXPECT_TRUE(stored().contains(subject));
        EXPECT_EQ(filesIn(attachments()), parts);
        fs::remove_all(attachments());
        fs::create_directory(attachments());
    }
}

TEST_F(MailCheckHostileTest, AMissingAttachmentFolderIsMadeAgain) {
    fs::remove_all(attachments());
    box_.addRaw("files", mailWith("files", "see the files", {{"a.txt", "content"}}));
    EXPECT_TRUE(check().completed) << boxText().toStdString();
    EXPECT_TRUE(box_.subjects().empty());
    EXPECT_EQ(filesIn(attachments()), (Files{{"a.txt", "content"}}));
}

TEST_F(MailCheckHostileTest, AnAppFolderCodePage932CannotSpellKeepsTheAttachmentsInside) {
    const fs::path base = root();
    // Where a conversion of the folder's name to code page 932 and back would lead.
    const fs::path lookalike = base / cp932ToUtf8(utf8ToCp932("josé")) / "app";
    ASSERT_NE(lookalike, base / "josé" / "app");
    fs::create_directories(lookalike / "添付フォルダ");
    useAppFolder(base / "josé" / "app");
    box_.addRaw("files", mailWith("files", "see the files", {{"a.txt", "content"}}));

    EXPECT_TRUE(check().completed) << boxText().toStdString();
    EXPECT_EQ(filesIn(attachments()), (Files{{"a.txt", "content"}}));
    EXPECT_TRUE(filesIn(lookalike / "添付フォルダ").empty()) << "written outside the app folder";
}

TEST_F(MailCheckHostileTest, TheScratchFileNeitherFollowsALinkNorReplacesAUsersFile) {
    const fs::path outside = root() / "outside.txt";
    struct Case {
        const char* label;
        std::function<void()> plant;
        Files expected;
    };
    const std::vector<Case> cases = {
        {"a link",
         [&] { fs::create_symlink(outside, attachments() / "0.txt"); },
         {{"0.txt", "-> " + outside.string()}}},
        {"a user's file",
         [&] { std::ofstream(attachments() / "0.txt") << "mine"; },
         {{"0.txt", "mine"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        c.plant();
        box_.add(std::string("mail beside ") + c.label);
        EXPECT_TRUE(check().completed) << boxText().toStdString();
        EXPECT_TRUE(stored().contains(std::string("mail beside ") + c.label));
        EXPECT_FALSE(fs::exists(outside)) << "the raw mail went through the link";
        EXPECT_EQ(filesIn(attachments()), c.expected);
        fs::remove(attachments() / "0.txt");
    }
}

TEST_F(MailCheckHostileTest, ANulByteCutsNeitherTheBodyNorTheLaterAttachments) {
    const std::string text = std::string("before\0after", 12);
    box_.addRaw("nul", mailWith("nul", text, {{"later.bin", "still here"}}));
    EXPECT_TRUE(check().completed) << boxText().toStdString();
    ASSERT_TRUE(stored().contains("nul"));
    const std::string body = stored().at("nul");
    EXPECT_TRUE(body.starts_with("before")) << body;
    EXPECT_NE(body.find("after"), std::string::npos) << body;
    EXPECT_EQ(filesIn(attachments()), (Files{{"later.bin", "still here"}}));
}

// Stop and close answer at once, inside a slowly sent mail or against a silent server; the
// mail under way and those after it stay on the server; the next check takes each mail once.
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

// A stop that comes while a mail is decoded (its attachment already written) keeps that mail
// on the server and leaves none of its files.
TEST_F(MailCheckHostileTest, AStopWhileAMailIsDecodedKeepsItOnTheServerWithoutItsFiles) {
    box_.addRaw("parts", mailWith("parts", "text", {{"a.bin", "first"}}));
    box_.add("next");
    app_->account.Pop3Server = box_.serverName();
    const auto attachmentWritten = [this] {  // also in the folder where files wait
        std::error_code e;
        for (fs::recursive_directory_iterator it(attachments(), e), end; !e && it != end;
             it.increment(e))
            if (it->is_regular_file(e)) return true;
        return false;
    };
    const MailCheckOutcome outcome = runMailCheck(*app_, attachmentWritten);
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(box_.subjects(), (Strings{"parts", "next"}));
    EXPECT_TRUE(stored().empty());
    EXPECT_EQ(filesIn(attachments()), Files{});
}

// What the record cannot hold goes nowhere else once the server has removed the mail: such a
// mail is kept whole as a .eml file, and its body names it. A mail that fits adds no file.
TEST_F(MailCheckHostileTest, AMailTheRecordCannotHoldIsKeptWholeAsAnEmlFile) {
    const struct {
        const char* what;
        std::string raw;
        bool kept;
    } cases[] = {
        {"fits", mailWith("fits", "text", {}), false},
        {"long", mailWith("long", std::string(40000, 'x') + "end", {}), true},
        {"emoji", mailWith("=?UTF-8?B?8J+YgA==?=", "text", {}), true},
        {"split",
         "Subject: split\r\nContent-Type: message/partial; id=\"a@b\"; number=1; total=2\r\n\r\n"
         "Subject: inner\r\n\r\nfirst half\r\n",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(attachments());
        fs::remove(app_->paths().receivedStore());
        box_.addRaw(c.what, c.raw);
        check();
        EXPECT_TRUE(box_.subjects().empty());
        const Files files = filesIn(attachments());
        ASSERT_EQ(files.size(), c.kept ? 1u : 0u);
        const std::vector<ReceivedMailRecord> records = app_->receivedStore().readAll();
        ASSERT_EQ(records.size(), 1u);
        const std::string body = cp932ToUtf8(std::string(records[0].body()));
        if (!c.kept) {
            EXPECT_EQ(body, "text");
            continue;
        }
        EXPECT_EQ(files.begin()->second, c.raw);
        // The name as far as code page 932 spells it.
        const std::string notice = originalMailNotice(files.begin()->first);
        EXPECT_TRUE(body.ends_with(cp932ToUtf8(utf8ToCp932(notice)))) << body;
        EXPECT_LE(std::string(records[0].body()).size(), ReceivedMailRecord::kBodyWidth);
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
