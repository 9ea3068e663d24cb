#pragma once

#include <QProcess>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

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
    QProcess process_;
    bool holding_ = false;
};

// Sets how long writers wait for the lock (TSUBAME_LOCK_WAIT_MS) for one scope.
class ScopedLockWait {
  public:
    explicit ScopedLockWait(std::chrono::milliseconds wait);
    ~ScopedLockWait();
    ScopedLockWait(const ScopedLockWait&) = delete;
    ScopedLockWait& operator=(const ScopedLockWait&) = delete;

  private:
    std::optional<std::string> previous_;
};

}  // namespace tsubame::testing
