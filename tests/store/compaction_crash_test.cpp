#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <random>
#include <thread>

#include "store/address_store.h"
#include "store/received_mail_store.h"
#include "store_fixture.h"
#include "support/temp_folder.h"

using namespace tsubame;
using namespace tsubame::testing;

namespace {

struct CrashOutcome {
    int oldStore = 0;
    int newStore = 0;
    int interrupted = 0;  // kills that struck while the compaction was still running
};

// Runs compact() in a child process and kills it with SIGKILL after a random delay, again and
// again. After every kill the store file must be the old image or the new one, byte for byte.
CrashOutcome killCompactionsAtRandomPoints(const std::filesystem::path& storePath,
                                           const StoreImages& images,
                                           const std::function<Status()>& compact, int rounds) {
    // How long one undisturbed compaction takes sets the range of the kill points.
    writeFileBytes(storePath, images.before);
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(compact());
    const auto duration = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    EXPECT_EQ(readFileBytes(storePath), images.after);

    std::mt19937 random(20261207);
    std::uniform_int_distribution<long> delay(0, duration.count() * 5 / 4 + 1);
    CrashOutcome outcome;
    for (int round = 0; round < rounds; ++round) {
        writeFileBytes(storePath, images.before);
        int ready[2];
        if (::pipe(ready) != 0) {
            ADD_FAILURE() << "pipe failed";
            return outcome;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(ready[0]);
            char go = 'g';
            if (::write(ready[1], &go, 1) != 1) ::_exit(3);
            ::_exit(compact() ? 0 : 2);
        }
        ::close(ready[1]);
        char go = 0;
        EXPECT_EQ(::read(ready[0], &go, 1), 1);
        ::close(ready[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << "compaction failed";
        if (WIFSIGNALED(status)) ++outcome.interrupted;

        const std::string now = readFileBytes(storePath);
        if (now == images.before) {
            ++outcome.oldStore;
        } else if (now == images.after) {
            ++outcome.newStore;
        } else {
            ADD_FAILURE() << "round " << round << ": the store holds " << now.size()
                          << " bytes, neither the old nor the new records";
            return outcome;
        }
    }
    // Whatever the last kill left behind, the next compaction completes.
    EXPECT_TRUE(compact());
    EXPECT_EQ(readFileBytes(storePath), images.after);
    return outcome;
}

}  // namespace

TEST(CompactionCrash, KilledReceivedStoreCompactionsLeaveTheOldOrTheNewStore) {
    TempFolder folder;
    ReceivedMailStore store(folder / "kordata2.data", folder / "KORDATA2.TMP");
    const StoreImages images = receivedStoreImages(300);
    CrashOutcome outcome = killCompactionsAtRandomPoints(
        store.path(), images, [&] { return store.compact(); }, 60);
    EXPECT_EQ(outcome.oldStore + outcome.newStore, 60);
    // The kill points must really fall inside compactions, not only after them.
    EXPECT_GT(outcome.interrupted, 0);
    EXPECT_GT(outcome.oldStore, 0);
    std::cout << "kills during the compaction: " << outcome.interrupted
              << "; stores left old: " << outcome.oldStore << ", new: " << outcome.newStore << "\n";
}

TEST(CompactionCrash, KilledAddressBookCompactionsLeaveTheOldOrTheNewBook) {
    TempFolder folder;
    AddressStore store(folder / "Kordata20.data", folder / "KORDATA20.TMP");
    const StoreImages images = addressStoreImages(400);
    CrashOutcome outcome = killCompactionsAtRandomPoints(
        store.path(), images, [&] { return store.remove(1, false); }, 40);
    EXPECT_EQ(outcome.oldStore + outcome.newStore, 40);
}
