// The receive journal: an interrupted check followed by a complete one stores every mail
// exactly once.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>

#include "core/file_io.h"
#include "receive/receive_journal.h"
#include "receive/scripted_check_fixture.h"

namespace tsubame::testing {
namespace {

using Strings = std::vector<std::string>;

class MailCheckJournalTest : public ScriptedCheckTest {
  protected:
    // A check that dies before its flush (as at a power loss): the mails stay on the server.
    void runCheckWithoutFlush() {
        ReceiveJournal::setBootForTesting("the boot before the power loss");
        injectFault(FaultKind::Sync, 1, EIO);
        runCheck();
        clearInjectedFaults();
        host_.clear();
        ReceiveJournal::setBootForTesting("the boot after the power loss");
    }
    std::filesystem::path journalPath() const { return state_.paths.receiveJournal(); }
    void writeJournal(const std::string& text) {
        std::ofstream(journalPath(), std::ios::binary) << text;
    }
    // The journal line a check writes for scripted mail k stored in record n.
    std::string journalLine(const char* kind, int k, std::int64_t n) {
        const ScriptedMailLibrary::Mail& m = mail_.mailbox[k - 1];
        ReceivedMailRecord record;
        EXPECT_TRUE(store().read(n, record));
        char sum[17];
        std::snprintf(sum, sizeof sum, "%016llx",
                      static_cast<unsigned long long>(legacyRecordChecksum(record)));
        return std::string(kind) + " " + std::to_string(n) + " " + sum + " " +
               std::to_string(m.rawHeader.size() + m.rawBody.size() + 4) + " " +
               mailDigest(m.rawHeader, m.rawBody) + " " + m.uidl + "\n";
    }
};

TEST_F(MailCheckJournalTest, InterruptedCheckThenCompleteCheckStoresEachMailOnce) {
    addMails(3);
    mail_.connectionDropsAtClose = true;  // the removal never happens
    runCheck();
    EXPECT_EQ(store().count(), 3);
    EXPECT_EQ(mail_.mailbox.size(), 3u);
    EXPECT_TRUE(std::filesystem::exists(journalPath()));

    mail_.connectionDropsAtClose = false;
    addMail("新しい", "after the interruption");
    const MailCheckResult outcome = runCheck();
    EXPECT_TRUE(outcome.completed);
    EXPECT_EQ(storedSubjects(), (Strings{"件名1", "件名2", "件名3", "新しい"}));
    EXPECT_TRUE(mail_.mailbox.empty());
    // The journaled mails are downloaded again to prove them, and then only marked.
    EXPECT_EQ(callsNamed("GetMail "), 3 + 4);
    EXPECT_FALSE(std::filesystem::exists(journalPath()));
}

TEST_F(MailCheckJournalTest, DeletionsAfterAnInterruptedCheckNeitherDuplicateNorBringBack) {
    const std::vector<std::pair<std::function<void(const ReceivedMailStore&)>, Strings>> rows = {
        {[](const ReceivedMailStore& s) { ASSERT_TRUE(s.remove(1).ok()); }, {"件名2", "件名3"}},
        {[](const ReceivedMailStore& s) { ASSERT_TRUE(s.remove(3).ok()); }, {"件名1", "件名2"}},
        {[](const ReceivedMailStore& s) { ASSERT_TRUE(s.removeAll().ok()); }, {}},
    };
    for (const auto& [deletion, kept] : rows) {
        std::filesystem::remove(storePath());
        mail_.mailbox.clear();
        addRecord("older", "x", "y", "z");
        addMails(3);
        mail_.connectionDropsAtClose = true;  // the QUIT's reply is lost: nothing removed
        runCheck();
        mail_.connectionDropsAtClose = false;
        ASSERT_TRUE(store().remove(1).ok());  // moves every record of the check
        deletion(store());
        EXPECT_TRUE(runCheck().completed);
        EXPECT_EQ(storedSubjects(), kept);
        EXPECT_TRUE(mail_.mailbox.empty());
    }
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
            if (n != k) return;
            mail_.connectionDropsAtClose = true;
            mail_.fetchFailsAt = k + 1;
            mail_.fetchFailureLosesConnection = true;  // a failed fetch alone does not stop it
        };
        runCheck();
        mail_.onDelete = nullptr;
        mail_.connectionDropsAtClose = false;
        mail_.fetchFailsAt = 0;
        mail_.fetchFailureLosesConnection = false;
        runCheck();
        EXPECT_EQ(storedSubjects(), (Strings{"件名1", "件名2", "件名3"}));
        EXPECT_TRUE(mail_.mailbox.empty());
    }
}

TEST_F(MailCheckJournalTest, PendingEntryWithoutItsRecordIsStoredAgain) {
    // The kill came after the journal's intent line and before the record was written.
    addMails(2);
    const std::string id1 = mail_.mailbox[0].uidl;
    writeJournal("P 1 " + id1 + "\n");
    runCheck();
    EXPECT_EQ(storedSubjects(), (Strings{"件名1", "件名2"}));
}

TEST_F(MailCheckJournalTest, PendingEntryWhoseRecordIsWholeIsOnlyMarked) {
    // The kill came after the record was written and before it was confirmed.
    addMails(2);
    addRecord("件名1", "sender@example.jp", "date", "本文1");
    writeJournal(journalLine("P3", 1, 1));
    runCheck();
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
    runCheck();
    EXPECT_EQ(storedSubjects(), (Strings{"older", "件名1"}));
    EXPECT_EQ(storeSize(), 2 * ReceivedMailRecord::kSize);
}

TEST_F(MailCheckJournalTest, JournalWriteFailureKeepsTheMailOnTheServer) {
    addMails(2);
    mail_.onDelete = [&](int n) {
        if (n == 1) injectFault(FaultKind::Write, 1, ENOSPC);  // the next write: mail 2's intent
    };
    const MailCheckResult outcome = runCheck();
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(storedSubjects(), (Strings{"件名1"}));
    EXPECT_EQ(mail_.mailbox.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(journalPath()));  // cleared after the close
}

TEST_F(MailCheckJournalTest, FailedConfirmationKeepsTheJournalSoTheMailIsNotStoredTwice) {
    // Mail 1's record is written and flushed, then its confirmation line cannot be written
    // (the fourth write of the check, after the journal's block and intent lines and the
    // record): the check stops with mail 1 stored but still on the server.
    addMails(2);
    injectFault(FaultKind::Write, 4, ENOSPC);
    const MailCheckResult failed = runCheck();
    clearInjectedFaults();
    EXPECT_FALSE(failed.completed);
    EXPECT_EQ(storedSubjects(), (Strings{"件名1"}));
    EXPECT_EQ(mail_.mailbox.size(), 2u);
    EXPECT_TRUE(std::filesystem::exists(journalPath()));

    EXPECT_TRUE(runCheck().completed);
    EXPECT_EQ(storedSubjects(), (Strings{"件名1", "件名2"}));
    EXPECT_TRUE(mail_.mailbox.empty());
    EXPECT_FALSE(std::filesystem::exists(journalPath()));
}

TEST_F(MailCheckJournalTest, PowerLossThatCostTheStoreItsTailStoresThoseMailsAgain) {
    // The journal survived, the store's last records did not (after a power loss the two
    // files are not in any order): the entries naming lost records must not be trusted.
    for (std::uintmax_t kept : {ReceivedMailRecord::kSize, ReceivedMailRecord::kSize * 5 / 2}) {
        SCOPED_TRACE(kept);
        std::filesystem::remove(storePath());
        std::filesystem::remove(journalPath());
        mail_.mailbox.clear();
        mail_.calls.clear();
        addMails(3);
        runCheckWithoutFlush();
        ASSERT_EQ(store().count(), 3);
        ASSERT_EQ(mail_.mailbox.size(), 3u);
        std::filesystem::resize_file(storePath(), kept);

        EXPECT_TRUE(runCheck().completed);
        EXPECT_EQ(storedSubjects(), (Strings{"件名1", "件名2", "件名3"}));
        EXPECT_TRUE(mail_.mailbox.empty());
        EXPECT_EQ(callsNamed("GetMail "), 3 + 3);  // all downloaded, the lost ones stored
        EXPECT_FALSE(std::filesystem::exists(journalPath()));
    }
}

TEST_F(MailCheckJournalTest, RecordThatDiffersFromItsJournalEntryIsStoredAgain) {
    addMails(3);
    runCheckWithoutFlush();
    ASSERT_EQ(store().count(), 3);
    {
        // Record 2 came back from the power loss as zeros: its data never reached the disk.
        std::fstream out(storePath(), std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(ReceivedMailRecord::kSize));
        out << std::string(ReceivedMailRecord::kSize, '\0');
    }
    EXPECT_TRUE(runCheck().completed);
    const Strings subjects = storedSubjects();
    EXPECT_EQ(subjects.size(), 4u);
    for (const char* subject : {"件名1", "件名2", "件名3"})
        EXPECT_EQ(std::count(subjects.begin(), subjects.end(), subject), 1) << subject;
    EXPECT_EQ(subjects.back(), "件名2");
    EXPECT_TRUE(mail_.mailbox.empty());
}

TEST_F(MailCheckJournalTest, StoreAndJournalAreFlushedOnceBeforeTheCloseOrNothingIsRemoved) {
    // The first flush of the check is the store's, the second the journal's; both come after
    // every mail is stored, and when either fails the connection is not closed.
    for (int failing : {1, 2}) {
        SCOPED_TRACE(failing);
        std::filesystem::remove(storePath());
        std::filesystem::remove(journalPath());
        mail_.mailbox.clear();
        mail_.calls.clear();
        host_.clear();
        addMails(5);
        injectFault(FaultKind::Sync, failing, EIO);
        const MailCheckResult failed = runCheck();
        clearInjectedFaults();
        EXPECT_FALSE(failed.completed);
        const Strings all{"件名1", "件名2", "件名3", "件名4", "件名5"};
        EXPECT_EQ(storedSubjects(), all);
        EXPECT_EQ(callsNamed("Close"), 0);
        EXPECT_EQ(callsNamed("Abort"), 1);  // the connection is not left open
        EXPECT_EQ(mail_.mailbox.size(), 5u);
        ASSERT_EQ(host_.notices.size(), 1u);
        EXPECT_TRUE(contains(host_.notices[0].text, "書き込めませんでした"));

        // The next check recognises every mail from the journal and only removes them.
        EXPECT_TRUE(runCheck().completed);
        EXPECT_EQ(storedSubjects(), all);
        EXPECT_TRUE(mail_.mailbox.empty());
        EXPECT_EQ(callsNamed("GetMail "), 5 + 5);
    }
}

// A store of the given records, in a folder of its own.
class ReceiveJournalTest : public ::testing::Test {
  protected:
    ReceivedMailRecord addRecord(const std::string& subject) {
        ReceivedMailRecord record;
        record.fill(subject, "date", "from", "body");
        EXPECT_TRUE(store_.append(record).ok());
        return record;
    }

    TempFolder dir_;  // before the paths made from it
    const std::filesystem::path folder_{dir_.path()};
    const std::filesystem::path journalPath_ = folder_ / "j";
    ReceivedMailStore store_{folder_ / "store", folder_ / "store.tmp"};
};

MailIdentity identity(const std::string& id, const std::string& content) {
    return {id, static_cast<std::int64_t>(content.size()), mailDigest("h", content)};
}

TEST_F(ReceiveJournalTest, LinesCutShortAreIgnoredAndNotGlued) {
    const MailIdentity next = identity("next", "text");
    for (int i = 0; i < 5; ++i) addRecord("r");
    const std::uint64_t sum = recordChecksum(addRecord("next"));
    std::ofstream(journalPath_, std::ios::binary) << "S done\nP 3 half";
    ReceiveJournal journal(journalPath_);
    ASSERT_TRUE(journal.load().ok());
    EXPECT_TRUE(journal.hasEntries());  // an old line: an interrupted check, but no proof
    EXPECT_FALSE(journal.takeStored(identity("done", "text"), store_));
    ASSERT_TRUE(journal.noteStored(next, sum).ok());
    ASSERT_TRUE(journal.sync().ok());
    ReceiveJournal again(journalPath_);
    ASSERT_TRUE(again.load().ok());
    EXPECT_TRUE(again.takeStored(next, store_));
    EXPECT_FALSE(again.takeStored(next, store_)) << "one entry stands for one mail";
    ASSERT_TRUE(again.clear().ok());
    EXPECT_FALSE(std::filesystem::exists(journalPath_));
}

TEST_F(ReceiveJournalTest, EntriesAreTrustedOnlyWhenRecordIdSizeAndDigestMatch) {
    const ReceivedMailRecord first = addRecord("first");
    const ReceivedMailRecord second = addRecord("second");
    const MailIdentity a = identity("a", "content a"), b = identity("", "content b");
    ReceiveJournal journal(journalPath_);
    ASSERT_TRUE(journal.notePending(a, recordChecksum(first)).ok());
    ASSERT_TRUE(journal.noteStored(b, recordChecksum(second)).ok());
    ASSERT_TRUE(journal.notePending(identity("x", "lost"), 12345).ok());  // no such record
    ASSERT_TRUE(journal.notePending(identity("z", "zero"), 0).ok());
    ASSERT_TRUE(journal.sync().ok());
    struct Case {
        MailIdentity mail;
        bool stored;
    };
    MailIdentity otherSize = a, reusedId = identity("a", "a new mail"), noDigest = b;
    ++otherSize.size;
    noDigest.digest.clear();
    const std::vector<Case> cases = {
        {otherSize, false},
        {reusedId, false},
        {identity("b", "content a"), false},
        {noDigest, false},
        {identity("x", "lost"), false},
        {identity("z", "zero"), false},
        {{"", a.size, a.digest}, true},   // the server has stopped giving ids
        {{"b", b.size, b.digest}, true},  // the line has no id
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mail.id + " " + std::to_string(c.mail.size));
        ReceiveJournal read(journalPath_);
        ASSERT_TRUE(read.load().ok());
        EXPECT_EQ(read.takeStored(c.mail, store_), c.stored);
    }
    // Malformed lines are ignored, not read as another form.
    std::ofstream(journalPath_, std::ios::binary)
        << "S3 2 123 9 " << b.digest << "\nS3 2 " << std::string(16, '0') << " x " << b.digest
        << "\nS3 2 " << std::string(16, '0') << " 9 abc\nS4 " << std::string(16, '0') << " x "
        << b.digest << "\n";
    ReceiveJournal read(journalPath_);
    ASSERT_TRUE(read.load().ok());
    EXPECT_FALSE(read.takeStored(b, store_));
}

TEST_F(ReceiveJournalTest, StoredLinesOfAnEarlierBootStandOnlyByTheirFlushOrTheirRecord) {
    const std::uint64_t kept = recordChecksum(addRecord("kept"));
    const MailIdentity lost = identity("l", "lost"), found = identity("f", "found"),
                       flushed = identity("c", "flushed");
    ReceiveJournal::setBootForTesting("before");
    ReceiveJournal killed(journalPath_);
    ASSERT_TRUE(killed.noteStored(lost, 12345).ok());  // its record did not survive
    ASSERT_TRUE(killed.noteStored(found, kept).ok());
    ReceiveJournal closed(journalPath_);
    ASSERT_TRUE(closed.noteStored(flushed, 6789).ok());
    ASSERT_TRUE(closed.noteStoreFlushed().ok());
    for (const auto& [boot, lostStands] : {std::pair{"before", true}, {"after", false}}) {
        ReceiveJournal::setBootForTesting(boot);
        ReceiveJournal read(journalPath_);
        ASSERT_TRUE(read.load().ok());
        EXPECT_EQ(read.takeStored(lost, store_), lostStands) << boot;
        EXPECT_TRUE(read.takeStored(found, store_)) << boot;
        EXPECT_TRUE(read.takeStored(flushed, store_)) << boot;
    }
}

}  // namespace
}  // namespace tsubame::testing
