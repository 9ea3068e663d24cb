#include "support/lock_holder.h"

#include <cstdlib>

#include "core/data_folder_lock.h"

namespace tsubame::testing {

LockHolderProcess::LockHolderProcess(const std::filesystem::path& lockFile) {
    // flock keeps the lock itself (-o: not passed on to cat) while cat waits for the end of
    // its input, which the destructor closes.
    if (!process_.start("/usr/bin/flock", {"-x", "-o", lockFile.string(), "cat"})) return;
    for (int i = 0; i < 500 && !holding_; ++i) {
        holding_ = DataFolderLock::tryAcquire(lockFile).busy();
        if (!holding_) sleepMs(10);
    }
}

LockHolderProcess::~LockHolderProcess() {
    if (process_.state() == ChildProcess::NotRunning) return;
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished();
    }
}

}  // namespace tsubame::testing
