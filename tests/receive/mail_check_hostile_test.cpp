// The whole check, with the real mail library, against mails and folders that used to make it
// lose mail: a mail the server will not hand out, attachments that cannot be written, a NUL
// byte, a hostile scratch file, a missing attachment folder and an application folder whose
// name code page 932 cannot spell. Every mail ends up whole in the store (body and every
// attachment) or still on the server, and nothing is written outside the application folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "core/cp932.h"
#include "receive/mail_check.h"
#include "receive/original_mail.h"
#include "settings/settings_files.h"
#include "store/received_mail_store.h"
#include "support/mail_files.h"
#include "support/real_library_check_fixture.h"
#include "support/temp_folder.h"

namespace tsubame::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Strings = std::vector<std::string>;
using MailboxFault = FakePop3Mailbox::FaultKind;

class MailCheckHostileTest : public RealLibraryCheckTest {
  protected:
    fs::path attachments() const { return folder_ / "添付フォルダ"; }

    MailCheckResult check() {
        state_->account.Pop3Server = box_.serverName();
        host_.clear();
        return state_->check(*library_, host_);
    }
    // Subject -> body of every record.
    std::map<std::string, std::string> stored() const {
        std::map<std::string, std::string> records;
        for (const ReceivedMailRecord& record : state_->receivedStore().readAll())
            records[std::string(record.subject())] = std::string(record.body());
        return records;
    }
    std::string boxText() const {
        return host_.notices.empty() ? std::string() : host_.notices.back().text;
    }
    void expectErrorBoxNaming(const std::string& what) {
        ASSERT_FALSE(host_.notices.empty());
        EXPECT_EQ(host_.notices.back().title, "エラー");
        EXPECT_NE(boxText().find(what), std::string::npos) << boxText();
    }

    FakePop3Mailbox box_;
};

TEST_F(MailCheckHostileTest, AMailTheServerWillNotHandOutStaysAndTheRestAreTaken) {
    for (const char* subject : {"one", "two", "three"}) box_.add(subject);
    box_.arm({"RETR 2", MailboxFault::ErrReply});

    const MailCheckResult outcome = check();
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.count, 2);
    EXPECT_EQ(box_.subjects(), Strings{"two"});
    EXPECT_EQ(stored().size(), 2u);
    EXPECT_TRUE(stored().contains("three")) << "the check stopped at the refused mail";
    expectErrorBoxNaming("メール 2");
    EXPECT_TRUE((boxText().find("1 通") != std::string::npos)) << boxText();

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
        expectErrorBoxNaming("添付ファイルをオープンできません");
        EXPECT_TRUE((boxText().find("メール 1「" + subject + "」") != std::string::npos));

        EXPECT_TRUE(check().completed) << boxText();
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
    EXPECT_TRUE(check().completed) << boxText();
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

    EXPECT_TRUE(check().completed) << boxText();
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
        EXPECT_TRUE(check().completed) << boxText();
        EXPECT_TRUE(stored().contains(std::string("mail beside ") + c.label));
        EXPECT_FALSE(fs::exists(outside)) << "the raw mail went through the link";
        EXPECT_EQ(filesIn(attachments()), c.expected);
        fs::remove(attachments() / "0.txt");
    }
}

TEST_F(MailCheckHostileTest, ANulByteCutsNeitherTheBodyNorTheLaterAttachments) {
    const std::string text = std::string("before\0after", 12);
    box_.addRaw("nul", mailWith("nul", text, {{"later.bin", "still here"}}));
    EXPECT_TRUE(check().completed) << boxText();
    ASSERT_TRUE(stored().contains("nul"));
    const std::string body = stored().at("nul");
    EXPECT_TRUE(body.starts_with("before")) << body;
    EXPECT_NE(body.find("after"), std::string::npos) << body;
    EXPECT_EQ(filesIn(attachments()), (Files{{"later.bin", "still here"}}));
}

// Stop and close answer at once, inside a slowly sent mail or against a silent server; the
// mail under way and those after it stay on the server; the next check takes each mail once.
// A stop that comes while a mail is decoded (its attachment already written) keeps that mail
// on the server and leaves none of its files.
TEST_F(MailCheckHostileTest, AStopWhileAMailIsDecodedKeepsItOnTheServerWithoutItsFiles) {
    box_.addRaw("parts", mailWith("parts", "text", {{"a.bin", "first"}}));
    box_.add("next");
    state_->account.Pop3Server = box_.serverName();
    const auto attachmentWritten = [this] {  // also in the folder where files wait
        std::error_code e;
        for (fs::recursive_directory_iterator it(attachments(), e), end; !e && it != end;
             it.increment(e))
            if (it->is_regular_file(e)) return true;
        return false;
    };
    host_.setStopWhen(attachmentWritten);
    const MailCheckResult outcome = state_->check(*library_, host_);
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
        fs::remove(state_->paths.receivedStore());
        box_.addRaw(c.what, c.raw);
        check();
        EXPECT_TRUE(box_.subjects().empty());
        const Files files = filesIn(attachments());
        ASSERT_EQ(files.size(), c.kept ? 1u : 0u);
        const std::vector<ReceivedMailRecord> records = state_->receivedStore().readAll();
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

// The window: a korumi.ini that is no readable file neither hangs the start nor passes for an
// empty mailbox; the check names the reason in a box titled "エラー".

}  // namespace
}  // namespace tsubame::testing
