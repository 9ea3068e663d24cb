// tsubame --check, the built program, against real Dovecot while other processes write the
// same data folder: a deleter working like the viewer, a second check, a lock holder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "core/data_folder_lock.h"
#include "support/check_program_fixture.h"
#include "support/lock_holder.h"

namespace tsubame::testing {
namespace {

namespace fs = std::filesystem;

std::string trimmedRight(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) text.pop_back();
    return text;
}

class DataFolderLockEndToEndTest : public CheckProgramTest {
  protected:
    void SetUp() override {
        CheckProgramTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        TSUBAME_NEED_SERVER(fs::exists(deleter()), "not built: " << deleter());
    }
    static fs::path deleter() { return buildDir() / "tests" / "tsubame_store_deleter"; }

    void deliver(int count) {
        for (int k = 1; k <= count; ++k)
            server_.deliver("Subject: mail " + std::to_string(k) +
                            "\r\nFrom: a@example.jp\r\nDate: Mon, 07 Dec 2026 10:00:00 +0900"
                            "\r\n\r\nbody " +
                            std::to_string(k) + "\r\n" + std::string(3000, 'p') + "\r\n");
    }
    void startCheck(ChildProcess& process, int lockWaitMs) {
        process.setEnv("TSUBAME_LOCK_WAIT_MS", std::to_string(lockWaitMs));
        CheckProgramTest::startCheck(process);
    }
    static int exitCode(ChildProcess& process) {
        return CheckProgramTest::exitCode(process, 120000);
    }
    // How often each subject is in the store.
    std::map<std::string, int> storedSubjects() const {
        std::map<std::string, int> seen;
        for (const auto& entry : store().readListEntries()) ++seen[trimmedRight(entry.subject)];
        return seen;
    }
};

TEST_F(DataFolderLockEndToEndTest, CheckWhileAnotherProcessDeletesInALoopLosesNothing) {
    constexpr int kMails = 300;
    deliver(kMails);
    const fs::path log = work_ / "deleted.log", stop = work_ / "stop";
    ChildProcess deleting;
    ASSERT_TRUE(
        deleting.start(deleter().string(), {folder_.string(), log.string(), stop.string()}));
    ChildProcess check;
    startCheck(check, 5000);
    const int code = exitCode(check);
    std::ofstream(stop) << "";
    ASSERT_TRUE(deleting.waitForFinished(30000));
    ASSERT_EQ(code, 0) << check.readAllStandardError();

    // Every mail left the server and is either in the store or was deleted by the other
    // process, exactly once.
    EXPECT_EQ(server_.messageCount(), 0);
    std::map<std::string, int> seen = storedSubjects();
    std::ifstream in(log);
    int deleted = 0;
    for (std::string line; std::getline(in, line); ++deleted) ++seen[trimmedRight(line)];
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kMails)) << deleted << " deleted";
    for (const auto& [subject, times] : seen) EXPECT_EQ(times, 1) << subject;
    std::printf("mails deleted by the other process: %d of %d\n", deleted, kMails);
}

TEST_F(DataFolderLockEndToEndTest, TwoChecksAtOnceStoreEachMailOnce) {
    constexpr int kMails = 300;
    deliver(kMails);
    ChildProcess first, second;
    startCheck(first, 100000);
    startCheck(second, 100000);
    EXPECT_EQ(exitCode(first), 0) << first.readAllStandardError();
    EXPECT_EQ(exitCode(second), 0) << second.readAllStandardError();

    EXPECT_EQ(server_.messageCount(), 0);
    const std::map<std::string, int> seen = storedSubjects();
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kMails));
    for (const auto& [subject, times] : seen) EXPECT_EQ(times, 1) << subject;
    EXPECT_EQ(store().wholeRecords(), kMails);
}

TEST_F(DataFolderLockEndToEndTest, CheckExitsWith75AndTakesNothingWhileTheLockStaysTaken) {
    deliver(2);
    ASSERT_TRUE(store().createIfMissing().ok());
    LockHolderProcess other(paths().dataFolderLock());
    ASSERT_TRUE(other.holding());
    ChildProcess check;
    startCheck(check, 300);
    EXPECT_EQ(exitCode(check), 75);
    EXPECT_NE(check.readAllStandardError().find(kDataFolderBusy), std::string::npos);
    EXPECT_EQ(server_.messageCount(), 2);
    EXPECT_EQ(fs::file_size(paths().receivedStore()), 0u);
    EXPECT_FALSE(fs::exists(paths().receiveJournal()));
}

}  // namespace
}  // namespace tsubame::testing
