// The data folder's lock: one holder at a time, across processes and inside one, and a
// bounded wait that a worker thread can cut short.
#include "core/data_folder_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/lock_holder.h"
#include "support/temp_folder.h"

namespace tsubame::testing {
namespace {

using namespace std::chrono_literals;

class DataFolderLockTest : public ::testing::Test {
  protected:
    std::filesystem::path lockFile() const { return root_.path() / "kordata.lock"; }
    TempFolder root_;
};

TEST_F(DataFolderLockTest, SecondHolderInTheSameProcessIsBusyUntilTheFirstGoes) {
    DataFolderLock first = DataFolderLock::tryAcquire(lockFile());
    ASSERT_TRUE(first.held()) << first.status().message();
    DataFolderLock second = DataFolderLock::tryAcquire(lockFile());
    EXPECT_FALSE(second.held());
    EXPECT_TRUE(second.busy());
    EXPECT_EQ(second.status().message(), kDataFolderBusy);
    first.release();
    EXPECT_TRUE(DataFolderLock::tryAcquire(lockFile()).held());
}

TEST_F(DataFolderLockTest, WaitForAnotherProcessIsBoundedAndEndsWhenItLetsGo) {
    std::chrono::steady_clock::duration waited;
    {
        LockHolderProcess holder(lockFile());
        ASSERT_TRUE(holder.holding());
        const auto start = std::chrono::steady_clock::now();
        DataFolderLock lock = DataFolderLock::acquire(lockFile(), 300ms);
        waited = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(lock.busy());
        EXPECT_GE(waited, 300ms);
        EXPECT_LT(waited, 3s);

        // A waiting worker told to stop returns at once instead of waiting out its time.
        std::atomic<bool> stop{false};
        std::thread worker([&] {
            DataFolderLock cancelled =
                DataFolderLock::acquire(lockFile(), 60s, [&] { return stop.load(); });
            EXPECT_FALSE(cancelled.held());
        });
        const auto stopAt = std::chrono::steady_clock::now();
        stop = true;
        worker.join();
        EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 2s);
    }
    // The holder has gone: the lock is free again.
    EXPECT_TRUE(DataFolderLock::acquire(lockFile(), 2s).held());
}

TEST_F(DataFolderLockTest, MissingFolderIsAFailureNotAWaitForOthers) {
    const auto start = std::chrono::steady_clock::now();
    DataFolderLock lock = DataFolderLock::acquire(lockFile().parent_path() / "gone" / "x.lock", 5s);
    EXPECT_FALSE(lock.held());
    EXPECT_FALSE(lock.busy());
    EXPECT_FALSE(lock.status().ok());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST(DataFolderLockWaitTest, ConfiguredWaitComesFromTheEnvironment) {
    const struct {
        const char* text;
        std::chrono::milliseconds wait;
    } cases[] = {{"250", 250ms},
                 {"0", 0ms},
                 {"", DataFolderLock::kDefaultWait},
                 {"soon", DataFolderLock::kDefaultWait},
                 {"-5", DataFolderLock::kDefaultWait}};
    for (const auto& c : cases) {
        ::setenv("TSUBAME_LOCK_WAIT_MS", c.text, 1);
        EXPECT_EQ(DataFolderLock::configuredWait(), c.wait) << c.text;
    }
    ::unsetenv("TSUBAME_LOCK_WAIT_MS");
    EXPECT_EQ(DataFolderLock::configuredWait(), DataFolderLock::kDefaultWait);
}

}  // namespace
}  // namespace tsubame::testing
