// The check against another writer of the store that holds the data folder's lock.
#include <chrono>

#include "core/data_folder_lock.h"
#include "receive/scripted_check_fixture.h"
#include "support/lock_holder.h"

namespace tsubame::testing {
namespace {

using namespace std::chrono_literals;

TEST_F(ScriptedCheckTest, AStopEndsTheWaitForAnotherWriterAtOnce) {
    LockHolderProcess other(state_.paths.dataFolderLock());
    ASSERT_TRUE(other.holding());
    const auto start = std::chrono::steady_clock::now();
    host_.stop = true;
    EXPECT_TRUE(runCheck().stopped);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(host_.notices.empty());
}

}  // namespace
}  // namespace tsubame::testing
