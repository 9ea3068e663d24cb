#include "context/background_work.h"

#include <QEventLoop>
#include <atomic>

namespace tsubame {

void runBesideGui(const std::function<void()>& work) {
    std::atomic<bool> done = false;
    QEventLoop loop;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        work();
        done = true;
    }));
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    thread->start();
    loop.exec();
    // The program's end makes every event loop return; the work may still wait for a call on
    // this thread (callOnGui), so keep serving those until it is done.
    while (!done) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    thread->wait();
}

}  // namespace tsubame
