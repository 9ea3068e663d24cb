#include "support/lock_holder.h"

#include <QThread>
#include <cstdlib>

#include "core/data_folder_lock.h"

namespace tsubame::testing {

LockHolderProcess::LockHolderProcess(const std::filesystem::path& lockFile) {
    // flock keeps the lock itself (-o: not passed on to cat) while cat waits for the end of
    // its input, which the destructor closes.
    process_.start(QStringLiteral("/usr/bin/flock"),
                   {QStringLiteral("-x"), QStringLiteral("-o"),
                    QString::fromStdString(lockFile.string()), QStringLiteral("cat")});
    if (!process_.waitForStarted()) return;
    for (int i = 0; i < 500 && !holding_; ++i) {
        holding_ = DataFolderLock::tryAcquire(lockFile).busy();
        if (!holding_) QThread::msleep(10);
    }
}

LockHolderProcess::~LockHolderProcess() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished();
    }
}

}  // namespace tsubame::testing
