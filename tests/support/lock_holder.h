#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include "support/child_process.h"
#include "support/pop3_test_helpers.h"

namespace tsubame::testing {

// Another process (util-linux flock(1)) that holds the data folder's lock until this object
// goes; holding() is true once the lock is really taken.
class LockHolderProcess {
  public:
    explicit LockHolderProcess(const std::filesystem::path& lockFile);
    ~LockHolderProcess();
    LockHolderProcess(const LockHolderProcess&) = delete;
    LockHolderProcess& operator=(const LockHolderProcess&) = delete;

    bool holding() const { return holding_; }

  private:
    ChildProcess process_;
    bool holding_ = false;
};

// Sets how long writers wait for the lock (TSUBAME_LOCK_WAIT_MS) for one scope.
class ScopedLockWait : public ScopedEnv {
  public:
    explicit ScopedLockWait(std::chrono::milliseconds wait)
        : ScopedEnv("TSUBAME_LOCK_WAIT_MS", std::to_string(wait.count())) {}
};

}  // namespace tsubame::testing
