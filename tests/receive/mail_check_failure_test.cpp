// A mail leaves the server only when its record is safely in the store.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <functional>

#include "core/file_io.h"
#include "receive/mail_check.h"
#include "receive/scripted_check_fixture.h"

namespace tsubame::testing {
namespace {

using Strings = std::vector<std::string>;

class MailCheckFailureTest : public ScriptedCheckTest {
  protected:
    Strings serverSubjects() const {
        Strings subjects;
        for (const auto& m : mail_.mailbox) subjects.push_back(cp932ToUtf8(m.subject));
        return subjects;
    }
};

TEST_F(MailCheckFailureTest, StopBeforeCloseLeavesEveryMailOnTheServer) {
    addMails(3);
    dropUidls();  // a server without unique ids: the journal knows the mails by their content
    mail_.connectionDropsAtClose = true;
    mail_.errorText = "connection reset";
    const MailCheckResult outcome = runCheck();
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(serverSubjects(), (Strings{"件名1", "件名2", "件名3"}));
    EXPECT_EQ(store().count(), 3);
    ASSERT_EQ(noticeTexts().size(), 1u);
    EXPECT_EQ(noticeTexts()[0], std::string("connection reset"));

    mail_.connectionDropsAtClose = false;
    runCheck();
    EXPECT_TRUE(mail_.mailbox.empty());
    EXPECT_EQ(store().count(), 3);
}

TEST_F(MailCheckFailureTest, FailedFetchKeepsThatMailAndGoesOnWithTheNext) {
    addMails(3);
    mail_.fetchFailsAt = 2;
    mail_.errorText = "-ERR no such message";
    const MailCheckResult outcome = runCheck();
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.count, 2);
    EXPECT_EQ(storedSubjects(), (Strings{"件名1", "件名3"}));
    EXPECT_EQ(serverSubjects(), (Strings{"件名2"}));
    EXPECT_EQ(callsNamed("DeleteMail"), 2);
    ASSERT_EQ(host_.notices.size(), 1u);
    EXPECT_EQ(host_.notices[0].title, std::string("エラー"));
    EXPECT_TRUE(contains(host_.notices[0].text, "メール 2"));
    EXPECT_TRUE(contains(host_.notices[0].text, "-ERR no such message"));
}

TEST_F(MailCheckFailureTest, LostConnectionEndsTheCheckAtThatMail) {
    addMails(3);
    mail_.fetchFailsAt = 2;
    mail_.fetchFailureLosesConnection = true;
    mail_.errorText = "connection reset";
    const MailCheckResult outcome = runCheck();
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.count, 1);
    EXPECT_EQ(storedSubjects(), (Strings{"件名1"}));
    EXPECT_EQ(callsNamed("GetMail 3"), 0);
    ASSERT_EQ(host_.notices.size(), 1u);
    EXPECT_EQ(host_.notices[0].text, std::string("connection reset"));
}

TEST_F(MailCheckFailureTest, MissingDataFolderKeepsEveryMail) {
    addMails(3);
    // Gone after the login was read, before the first mail is stored.
    mail_.onFetch = [&](int) { std::filesystem::remove_all(state_.paths.dataFolder()); };
    const MailCheckResult outcome = runCheck();
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(serverSubjects(), (Strings{"件名1", "件名2", "件名3"}));
    EXPECT_EQ(callsNamed("DeleteMail"), 0);
    ASSERT_EQ(host_.notices.size(), 1u);
    EXPECT_EQ(host_.notices[0].title, std::string("エラー"));
    EXPECT_TRUE(contains(host_.notices[0].text, "サーバーに残してあります"));
}

TEST_F(MailCheckFailureTest, DiskFullDuringAnAppendKeepsThatMailAndTheLaterOnes) {
    addMails(3);
    dropUidls();
    mail_.onDelete = [&](int n) {
        if (n == 1) injectFault(FaultKind::Write, 1, ENOSPC);
    };
    runCheck();
    EXPECT_EQ(storedSubjects(), (Strings{"件名1"}));
    // The failed append left no partial record behind.
    EXPECT_EQ(storeSize(), ReceivedMailRecord::kSize);
    EXPECT_EQ(serverSubjects(), (Strings{"件名2", "件名3"}));
}

TEST_F(MailCheckFailureTest, FullStoreKeepsTheMailOnTheServer) {
    ASSERT_TRUE(store().createIfMissing().ok());
    // A store at the 16-bit record limit, made sparse so that it costs no disk space.
    std::filesystem::resize_file(
        storePath(),
        ReceivedMailStore::kMaxRecords * static_cast<std::uintmax_t>(ReceivedMailRecord::kSize));
    addMails(1);
    runCheck();
    EXPECT_EQ(serverSubjects(), (Strings{"件名1"}));
    EXPECT_EQ(store().count(), ReceivedMailStore::kMaxRecords);
    ASSERT_EQ(host_.notices.size(), 1u);
    EXPECT_TRUE(contains(host_.notices[0].text, "一杯"));
}

TEST_F(MailCheckFailureTest, FailedFlushBeforeCloseRemovesNothing) {
    addMails(2);
    dropUidls();  // one flush for the whole check, before the close
    injectFault(FaultKind::Sync, 1, EIO);
    const MailCheckResult outcome = runCheck();
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(callsNamed("Close"), 0);
    EXPECT_EQ(mail_.mailbox.size(), 2u);
    ASSERT_EQ(host_.notices.size(), 1u);
}

// A server that announces a far larger size than the mail has.
class OversizedMailLibrary : public ScriptedMailLibrary {
  public:
    int NMailPop3GetMailSize(int handle, int mailNo) override {
        ScriptedMailLibrary::NMailPop3GetMailSize(handle, mailNo);
        return 64 << 20;
    }
    int NMailPop3GetMail(int handle, int mailNo, std::string& subject, std::string& date,
                         std::string& from, std::string& header, std::string& body, const char* a,
                         const char* b) override {
        bodyHandedOver = std::max(bodyHandedOver, body.size());
        return ScriptedMailLibrary::NMailPop3GetMail(handle, mailNo, subject, date, from, header,
                                                     body, a, b);
    }
    std::size_t bodyHandedOver = 0;
};

TEST_F(MailCheckFailureTest, AnnouncedSizeDoesNotDecideWhatTheCheckAllocates) {
    // The library fills the body itself; a buffer sized from the server's word would let a
    // wrong or hostile size (up to 2 GB) exhaust the memory.
    OversizedMailLibrary library;
    library.addMail(utf8ToCp932("件名"), "sender@example.jp", "date", utf8ToCp932("本文"));
    EXPECT_TRUE(state_.check(library, host_).completed);
    EXPECT_EQ(storedSubjects(), (Strings{"件名"}));
    EXPECT_LT(library.bodyHandedOver, 4096u);
}

TEST_F(MailCheckFailureTest, DataFilesThatAreNoRegularFilesAreRefusedByNameWithoutWaiting) {
    const AppPaths& paths = state_.paths;
    using Make = std::function<void(const std::filesystem::path&)>;
    const std::vector<Make> kinds = {
        [](const std::filesystem::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
        [](const std::filesystem::path& p) { std::filesystem::create_directory(p); },
        [](const std::filesystem::path& p) { std::filesystem::create_symlink("/dev/null", p); },
    };
    for (const auto& file : {paths.receivedStore(), paths.receiveJournal(), paths.dataFolderLock()})
        for (const Make& make : kinds) {
            SCOPED_TRACE(file.string());
            std::filesystem::remove_all(storePath());
            host_.clear();
            mail_.mailbox.clear();
            addMails(1);
            std::filesystem::remove_all(file);
            make(file);
            EXPECT_FALSE(runCheck().completed);
            EXPECT_EQ(mail_.mailbox.size(), 1u);
            ASSERT_EQ(host_.notices.size(), 1u);
            EXPECT_TRUE(contains(host_.notices[0].text, file.string()));
            std::filesystem::remove_all(file);
        }
}

TEST_F(MailCheckFailureTest, LeftoversOfAKilledCheckGoAndTheUsersFilesStay) {
    const std::filesystem::path folder = state_.paths.attachmentFolder();
    const std::string mark = "TSUBAME SCRATCH MAIL\r\nFrom: a\r\n";
    const std::string running =
        ".tsubame-part-" + std::to_string(::getppid()) + "-0123456789ab.tmp";
    for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
             {".tsubame-part-999999999-0123456789ab.tmp", "half an attachment"},
             {running, "another application folder's running check"},
             {".tsubame-part-notes.tmp", "the user's own file"},
             {"0-AbCdEf.txt", mark},
             {"0.txt", "the user's own file"},
             {".tsubame-notes", "the user's own file"},
             {"report.pdf", "an attachment"}})
        std::ofstream(folder / name, std::ios::binary) << text;
    EXPECT_TRUE(runCheck().completed);
    Strings left;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (Strings{".tsubame-notes", running, ".tsubame-part-notes.tmp", "0.txt",
                             "report.pdf"}));
}

}  // namespace
}  // namespace tsubame::testing
