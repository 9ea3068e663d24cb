#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "core/file_io.h"
#include "store/address_store.h"
#include "store/received_mail_store.h"
#include "store_fixture.h"
#include "support/temp_folder.h"

using namespace tsubame;
using namespace tsubame::testing;

namespace {

class CompactionFaultTest : public ::testing::Test {
  protected:
    void TearDown() override { clearInjectedFaults(); }

    // Fails the Nth operation of the given kind for N = 1, 2, 3 ... until a compaction runs
    // through without meeting its fault. Returns how many runs failed.
    int failEachStepInTurn(FaultKind kind, const std::filesystem::path& storePath,
                           const std::filesystem::path& tempPath, const StoreImages& images,
                           const std::function<Status()>& compact) {
        for (int n = 1; n < 1000; ++n) {
            writeFileBytes(storePath, images.before);
            injectFault(kind, n, EIO);
            Status st = compact();
            clearInjectedFaults();
            const std::string now = readFileBytes(storePath);
            EXPECT_FALSE(std::filesystem::exists(tempPath)) << "N = " << n;
            if (st) {
                EXPECT_EQ(now, images.after) << "N = " << n;
                return n - 1;
            }
            EXPECT_FALSE(st.message().empty());
            EXPECT_EQ(now, images.before) << "failure " << n << ": " << st.message();
            if (now != images.before) return n;
        }
        ADD_FAILURE() << "the compaction never completed";
        return 0;
    }

    TempFolder folder;
};

}  // namespace

TEST_F(CompactionFaultTest, EveryFailingStepOfAReceivedStoreCompactionLeavesTheOldStore) {
    ReceivedMailStore store(folder / "kordata2.data", folder / "KORDATA2.TMP");
    const StoreImages images = receivedStoreImages(400);  // more than one copy chunk
    auto compact = [&] { return store.compact(); };
    EXPECT_GE(failEachStepInTurn(FaultKind::Write, store.path(), folder / "KORDATA2.TMP", images,
                                 compact),
              2);
    EXPECT_GE(
        failEachStepInTurn(FaultKind::Read, store.path(), folder / "KORDATA2.TMP", images, compact),
        2);
    // The temporary file's flush fails; the folder's flush after the rename may fail harmlessly.
    EXPECT_EQ(
        failEachStepInTurn(FaultKind::Sync, store.path(), folder / "KORDATA2.TMP", images, compact),
        1);
    EXPECT_EQ(failEachStepInTurn(FaultKind::Rename, store.path(), folder / "KORDATA2.TMP", images,
                                 compact),
              1);
}

TEST_F(CompactionFaultTest, EveryFailingStepOfAnAddressBookRemovalKeepsTheBook) {
    AddressStore store(folder / "Kordata20.data", folder / "KORDATA20.TMP");
    const StoreImages images = addressStoreImages(30);
    for (FaultKind kind : {FaultKind::Write, FaultKind::Read, FaultKind::Sync, FaultKind::Rename})
        EXPECT_GE(failEachStepInTurn(kind, store.path(), folder / "KORDATA20.TMP", images,
                                     [&] { return store.remove(1, false); }),
                  1);
}

TEST_F(CompactionFaultTest, AConfirmedRemovalThatFailsTakesItsMarkBack) {
    AddressStore store(folder / "Kordata20.data", folder / "KORDATA20.TMP");
    const StoreImages images = addressStoreImages(6);
    writeFileBytes(store.path(), images.before);
    injectFault(FaultKind::Rename, 1, EIO);
    EXPECT_FALSE(store.remove(2, true));
    EXPECT_EQ(readFileBytes(store.path()), images.before);
}

TEST_F(CompactionFaultTest, AFailingAppendKeepsTheOldLength) {
    ReceivedMailStore store(folder / "kordata2.data", folder / "KORDATA2.TMP");
    const StoreImages images = receivedStoreImages(3);
    writeFileBytes(store.path(), images.before);
    ReceivedMailRecord record;
    record.fill("new", "date", "from", "body");
    injectFault(FaultKind::Write, 1, ENOSPC);
    Status st = store.append(record);
    ASSERT_FALSE(st);
    EXPECT_NE(st.message().find("kordata2.data"), std::string::npos) << st.message();
    EXPECT_EQ(readFileBytes(store.path()), images.before);
}

TEST_F(CompactionFaultTest, AFileSizeLimitStopsAppendAndCompactionCleanly) {
    ReceivedMailStore store(folder / "kordata2.data", folder / "KORDATA2.TMP");
    const StoreImages images = receivedStoreImages(6);
    writeFileBytes(store.path(), images.before);
    // The limit applies to the child only; it gets EFBIG instead of the signal.
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlim_t limit = images.before.size() + ReceivedMailRecord::kSize / 2;
        rlimit rl{limit, limit};
        if (::setrlimit(RLIMIT_FSIZE, &rl) != 0) ::_exit(10);
        ReceivedMailRecord record;
        record.fill("new", "date", "from", "body");
        if (store.append(record)) ::_exit(11);  // must not fit
        // Below the size of the new store, the compaction cannot write its copy and must
        // leave the store alone.
        rlimit tight{ReceivedMailRecord::kSize, ReceivedMailRecord::kSize};
        if (::setrlimit(RLIMIT_FSIZE, &tight) != 0) ::_exit(12);
        if (store.compact()) ::_exit(13);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFileBytes(store.path()), images.before);
    EXPECT_FALSE(std::filesystem::exists(folder / "KORDATA2.TMP"));
}
