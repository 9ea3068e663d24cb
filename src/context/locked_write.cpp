#include "context/locked_write.h"

#include "context/background_work.h"
#include "core/data_folder_lock.h"

namespace tsubame {

Status writeUnderLock(const std::filesystem::path& lockFile, const std::function<Status()>& write,
                      const std::function<void()>& waiting) {
    DataFolderLock lock = DataFolderLock::tryAcquire(lockFile);
    if (!lock && !lock.busy()) return lock.status();
    if (!lock && waiting) waiting();
    Status result;
    runBesideGui([&] {
        if (!lock) lock = DataFolderLock::acquire(lockFile, DataFolderLock::configuredWait());
        result = lock ? write() : lock.status();
        lock.release();
    });
    return result;
}

}  // namespace tsubame
