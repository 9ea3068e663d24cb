#pragma once

#include <chrono>
#include <filesystem>
#include <functional>

#include "core/file_io.h"
#include "core/status.h"

namespace tsubame {

// A lock of one store of the data folder. Every writer of the received store holds the data
// folder's lock for its whole operation (a check from the first append to the server's
// removal, a deletion from its marks to the end of the compaction), so that a check started
// from cron and a deletion in the viewer, or two checks, never work on the store at the same
// time. The address book has a lock of its own, held around each of its writes, so that a
// running check never keeps the address book waiting.
//
// An advisory flock on a lock file beside the stores: the kernel drops it when its holder
// ends, even when killed, so a crash never leaves the folder locked. The lock belongs to
// this object's open file: a second DataFolderLock waits for the first even inside one
// process, on any thread. The lock file itself is never removed.
class DataFolderLock {
  public:
    // How long a second writer waits before it gives up, unless configured otherwise.
    static constexpr std::chrono::milliseconds kDefaultWait{5000};
    // The wait from TSUBAME_LOCK_WAIT_MS (milliseconds) when set, else kDefaultWait.
    static std::chrono::milliseconds configuredWait();

    DataFolderLock() = default;  // not held
    DataFolderLock(DataFolderLock&&) noexcept = default;
    DataFolderLock& operator=(DataFolderLock&&) noexcept = default;

    // One attempt that never blocks.
    static DataFolderLock tryAcquire(const std::filesystem::path& lockFile);
    // Attempts until it holds the lock, wait has passed, or cancelled() returns true. It
    // polls instead of blocking in the kernel, so a worker thread can be told to stop.
    static DataFolderLock acquire(const std::filesystem::path& lockFile,
                                  std::chrono::milliseconds wait,
                                  const std::function<bool()>& cancelled = {});

    bool held() const { return fd_.valid(); }
    explicit operator bool() const { return held(); }
    // True when another writer holds the lock (as opposed to a lock file that cannot be
    // opened); the status then carries kDataFolderBusy.
    bool busy() const { return busy_; }
    // Why the lock is not held, for the user.
    const Status& status() const { return status_; }

    void release() { fd_ = UniqueFd(); }

  private:
    UniqueFd fd_;
    Status status_;
    bool busy_ = false;
};

// What a writer tells the user when it gives up waiting.
inline constexpr const char* kDataFolderBusy =
    "ほかの処理（メール受信、削除）がメールデータを使用中です。"
    "何も変更していません。しばらくしてからやり直してください。";
inline constexpr const char* kAddressBookBusy =
    "ほかの処理がアドレス帳を使用中です。"
    "何も変更していません。しばらくしてからやり直してください。";

}  // namespace tsubame
