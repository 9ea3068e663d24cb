// The smallest Qt widget program, the peer of the main window's start-up: one top-level
// window with a label. With TSUBAME_EXIT_AFTER_SHOW=1 it quits once the window is painted.

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QTimer>

namespace {

class QuitOnFirstPaint : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QLabel window("Tsubame");
    window.resize(560, 400);
    QuitOnFirstPaint quitter;
    if (qEnvironmentVariableIntValue("TSUBAME_EXIT_AFTER_SHOW") == 1)
        window.installEventFilter(&quitter);
    window.show();
    return QApplication::exec();
}
