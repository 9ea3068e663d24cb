// The receive journal: an interrupted check followed by a complete one stores every mail
// exactly once.
#include <cerrno>

#include "app/mail_check_fixture.h"
#include "core/file_io.h"
#include "transport/receive_journal.h"

namespace tsubame::testing {
namespace {

using Strings = std::vector<std::string>;

class MailCheckJournalTest : public MailCheckTest {
  protected:
    void TearDown() override { clearInjectedFaults(); }
    std::filesystem::path journalPath() const { return app_->paths().receiveJournal(); }
    void writeJournal(const std::string& text) {
        std::ofstream(journalPath(), std::ios::binary) << text;
    }
};

TEST_F(MailCheckJournalTest, InterruptedCheckThenCompleteCheckStoresEachMailOnce) {
    addMails(3);
    mail_.connectionDropsAtClose = true;  // the removal never happens
    runMailCheck(*app_);
    EXPECT_EQ(store().count(), 3);
    EXPECT_EQ(mail_.mailbox.size(), 3u);
    EXPECT_TRUE(std::filesystem::exists(journalPath()));

    mail_.connectionDropsAtClose = false;
    addMail("新しい", "after the interruption");
    const MailCheckOutcome outcome = runMailCheck(*app_);
    EXPECT_TRUE(outcome.completed);
    EXPECT_EQ(storedSubjects(), (Strings{"件名1", "件名2", "件名3", "新しい"}));
    EXPECT_TRUE(mail_.mailbox.empty());
    EXPECT_EQ(callsNamed("GetMail "), 3 + 1);  // the journaled mails were not fetched again
    EXPECT_FALSE(std::filesystem::exists(journalPath()));
}

TEST_F(MailCheckJournalTest, InterruptionInsideTheFirstCheckAtEveryMail) {
    // Stops the first check right after mail k was marked, as a kill would (no close).
    for (int k = 1; k <= 3; ++k) {
        SCOPED_TRACE(k);
        std::filesystem::remove(storePath());
        std::filesystem::remove(journalPath());
        mail_.mailbox.clear();
        addMails(3);
        mail_.onDelete = [&](int n) {
            if (n == k) mail_.connectionDropsAtClose = true, mail_.fetchFailsAt = k + 1;
        };
        runMailCheck(*app_);
        mail_.onDelete = nullptr;
        mail_.connectionDropsAtClose = false;
        mail_.fetchFailsAt = 0;
        runMailCheck(*app_);
        EXPECT_EQ(storedSubjects(), (Strings{"件名1", "件名2", "件名3"}));
        EXPECT_TRUE(mail_.mailbox.empty());
    }
}

TEST_F(MailCheckJournalTest, PendingEntryWithoutItsRecordIsStoredAgain) {
    // The kill came after the journal's intent line and before the record was written.
    addMails(2);
    const std::string id1 = mail_.mailbox[0].uidl;
    writeJournal("P 1 " + id1 + "\n");
    runMailCheck(*app_);
    EXPECT_EQ(storedSubjects(), (Strings{"件名1", "件名2"}));
}

TEST_F(MailCheckJournalTest, PendingEntryWhoseRecordIsWholeIsOnlyMarked) {
    // The kill came after the record was written and before it was confirmed.
    addMails(2);
    addRecord("件名1", "sender@example.jp", "date", "本文1");
    writeJournal("P 1 " + mail_.mailbox[0].uidl + "\n");
    runMailCheck(*app_);
    EXPECT_EQ(storedSubjects(), (Strings{"件名1", "件名2"}));
    EXPECT_TRUE(mail_.mailbox.empty());
}

TEST_F(MailCheckJournalTest, HalfWrittenRecordOfAnInterruptedCheckIsReplaced) {
    addMails(1);
    addRecord("older", "x", "y", "z");
    {
        std::ofstream out(storePath(), std::ios::binary | std::ios::app);
        out << std::string(ReceivedMailRecord::kSize - 100, 'x');  // rounds up to 2 records
    }
    writeJournal("P 2 " + mail_.mailbox[0].uidl + "\n");
    runMailCheck(*app_);
    EXPECT_EQ(storedSubjects(), (Strings{"older", "件名1"}));
    EXPECT_EQ(storeSize(), 2 * ReceivedMailRecord::kSize);
}

TEST_F(MailCheckJournalTest, JournalWriteFailureKeepsTheMailOnTheServer) {
    addMails(2);
    mail_.onDelete = [&](int n) {
        if (n == 1) injectFault(FaultKind::Sync, 1, EIO);  // the next flush: mail 2's intent
    };
    const MailCheckOutcome outcome = runMailCheck(*app_);
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(storedSubjects(), (Strings{"件名1"}));
    EXPECT_EQ(mail_.mailbox.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(journalPath()));  // cleared after the close
}

TEST_F(MailCheckJournalTest, FailedConfirmationKeepsTheJournalSoTheMailIsNotStoredTwice) {
    // Mail 1's record is written and flushed, then its confirmation line cannot be written
    // (the third write of the check, after the intent line and the record): the check stops
    // with mail 1 stored but still on the server.
    addMails(2);
    injectFault(FaultKind::Write, 3, ENOSPC);
    const MailCheckOutcome failed = runMailCheck(*app_);
    clearInjectedFaults();
    EXPECT_FALSE(failed.completed);
    EXPECT_EQ(storedSubjects(), (Strings{"件名1"}));
    EXPECT_EQ(mail_.mailbox.size(), 2u);
    EXPECT_TRUE(std::filesystem::exists(journalPath()));

    EXPECT_TRUE(runMailCheck(*app_).completed);
    EXPECT_EQ(storedSubjects(), (Strings{"件名1", "件名2"}));
    EXPECT_TRUE(mail_.mailbox.empty());
    EXPECT_FALSE(std::filesystem::exists(journalPath()));
}

TEST(ReceiveJournalTest, LinesCutShortAreIgnoredAndNotGlued) {
    QTemporaryDir dir;
    const std::filesystem::path path = std::filesystem::path(dir.path().toStdString()) / "j";
    std::ofstream(path, std::ios::binary) << "S done\nP 3 half";
    ReceiveJournal journal(path);
    ASSERT_TRUE(journal.load().ok());
    EXPECT_TRUE(journal.alreadyStored("done", 0));
    EXPECT_FALSE(journal.alreadyStored("half", 5));
    ASSERT_TRUE(journal.noteStored("next").ok());
    ReceiveJournal again(path);
    ASSERT_TRUE(again.load().ok());
    EXPECT_TRUE(again.alreadyStored("next", 0));
    EXPECT_FALSE(again.alreadyStored("", 10));
    ASSERT_TRUE(again.clear().ok());
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace tsubame::testing
