#include "context/background_work.h"

#include <QEventLoop>
#include <atomic>

namespace tsubame {

void runBesideGui(const std::function<void()>& work) {
    std::atomic<bool> done = false;
    // What work wrote, and its reads of the caller's frame, come before the caller goes on and
    // reuses that frame (ThreadSanitizer did not order them through done alone).
    const HandOffMark ended;
    QEventLoop loop;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        work();
        ended.handOff();
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
    ended.takeOver();
}

}  // namespace tsubame
