#include "app/exit_after_show.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>

namespace tsubame {
namespace {

// Runs the event loop with window shown and reports whether the hook ended it (true) or the
// fail-safe timer did (false).
bool loopEndedByHook(QWidget& window, int failSafeMs) {
    bool failSafeFired = false;
    QTimer failSafe;
    failSafe.setSingleShot(true);
    QObject::connect(&failSafe, &QTimer::timeout, [&] {
        failSafeFired = true;
        QCoreApplication::quit();
    });
    window.show();
    quitAfterFirstPaintIfRequested(window);
    failSafe.start(failSafeMs);
    QApplication::exec();
    window.hide();
    return !failSafeFired;
}

TEST(ExitAfterShow, QuitsOnceThePaintedWindowIsShownOnlyWhenAsked) {
    {
        qputenv("TSUBAME_EXIT_AFTER_SHOW", "1");
        QLabel window("shown");
        EXPECT_TRUE(loopEndedByHook(window, 5000));
    }
    for (const char* value : {"", "0"}) {
        qputenv("TSUBAME_EXIT_AFTER_SHOW", value);
        QLabel window("shown");
        EXPECT_FALSE(loopEndedByHook(window, 300)) << "with TSUBAME_EXIT_AFTER_SHOW=" << value;
    }
    qunsetenv("TSUBAME_EXIT_AFTER_SHOW");
}

}  // namespace
}  // namespace tsubame
