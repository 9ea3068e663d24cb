#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <functional>

#include "core/thread_handoff.h"

namespace tsubame {

// Runs work on a thread of its own and returns when it is done; meanwhile the calling (GUI)
// thread keeps handling its events, so the windows answer and repaint. The caller's window may
// be deleted meanwhile (the end of the program): it checks a QPointer afterwards.
void runBesideGui(const std::function<void()>& work);

// Runs call on the GUI thread: at once when already there, else queued there while the
// calling thread waits for it, so that what the call shows comes before the next step.
template <class Call>
void callOnGui(Call call) {
    QCoreApplication* app = QCoreApplication::instance();
    if (QThread::currentThread() == app->thread()) {
        call();
        return;
    }
    const HandOffMark back;
    QMetaObject::invokeMethod(app, handedOver(std::move(call), &back),
                              Qt::BlockingQueuedConnection);
    back.takeOver();
}

}  // namespace tsubame
