#include "core/data_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

namespace tsubame {
namespace {

constexpr std::chrono::milliseconds kPollInterval{20};

}  // namespace

std::chrono::milliseconds DataFolderLock::configuredWait() {
    const char* text = std::getenv("TSUBAME_LOCK_WAIT_MS");
    if (text == nullptr || *text == '\0') return kDefaultWait;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 0) return kDefaultWait;
    return std::chrono::milliseconds(value);
}

DataFolderLock DataFolderLock::tryAcquire(const std::filesystem::path& lockFile) {
    DataFolderLock lock;
    // Close-on-exec: a child process must not inherit, and so keep, the lock.
    // Any lock file must be a regular file: a FIFO or a device would block or ignore flock.
    Status why;
    UniqueFd fd = openRegularFile(lockFile, O_RDWR | O_CREAT | O_NOFOLLOW,
                                  "ロックファイルを開けません", why, 0644);
    if (!fd.valid()) {
        lock.status_ = why;
        return lock;
    }
    int result;
    do {
        result = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        lock.busy_ = errno == EWOULDBLOCK;
        lock.status_ = lock.busy_
                           ? Status::failure(kDataFolderBusy)
                           : Status::failure(ioErrorText("ロックできません", lockFile, errno));
        return lock;
    }
    lock.fd_ = std::move(fd);
    return lock;
}

DataFolderLock DataFolderLock::acquire(const std::filesystem::path& lockFile,
                                       std::chrono::milliseconds wait,
                                       const std::function<bool()>& cancelled) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        DataFolderLock lock = tryAcquire(lockFile);
        if (lock.held() || !lock.busy()) return lock;
        if (std::chrono::steady_clock::now() >= deadline || (cancelled && cancelled())) return lock;
        std::this_thread::sleep_for(kPollInterval);
    }
}

}  // namespace tsubame
