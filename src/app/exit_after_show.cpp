#include "app/exit_after_show.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace tsubame {

namespace {

// Quits the event loop once the watched window has been painted (after the paint completes).
class QuitOnFirstPaint : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
        }
        return false;
    }
};

}  // namespace

void quitAfterFirstPaintIfRequested(QWidget& window) {
    if (qEnvironmentVariableIntValue("TSUBAME_EXIT_AFTER_SHOW") != 1) return;
    window.installEventFilter(new QuitOnFirstPaint(&window));
}

}  // namespace tsubame
