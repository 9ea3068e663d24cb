#include <gtest/gtest.h>

#include <QScreen>

#include "app/shell_fixture.h"

namespace tsubame::testing {
namespace {

using WindowPlacementAppTest = ShellTest;

// The gap between two rectangles (0 when they touch or overlap).
int distance(const QRect& a, const QRect& b) {
    const int dx = std::max({0, b.left() - a.right(), a.left() - b.right()});
    const int dy = std::max({0, b.top() - a.bottom(), a.top() - b.bottom()});
    return std::max(dx, dy);
}

TEST_F(WindowPlacementAppTest, WindowsOpenOnTheScreenBesideTheMainWindow) {
    // Configured, so that no dialog opens at start.
    TempAppFolder::write(folder.korumiIni(), "POP3=pop.example.com\r\n");
    TempAppFolder::write(folder.dataFile("iniIdPass.ini"), "[EXEINI]\r\nNAME=a\r\nNAME2=b\r\n");
    MainForm& main = start();
    const QRect available = main.screen()->availableGeometry();
    // The main window in the lower right corner, where the old placement left windows far off.
    main.show();
    main.move(available.right() - main.frameGeometry().width() - 20,
              available.bottom() - main.frameGeometry().height() - 20);
    const WindowKind kinds[] = {WindowKind::SetForm, WindowKind::OptionForm, WindowKind::Compose,
                                WindowKind::AddressBook, WindowKind::Viewer};
    for (WindowKind kind : kinds) {
        QWidget& window = app->window(kind);
        AppContext::showWindow(window);
        const QRect frame = window.frameGeometry();
        EXPECT_TRUE(available.contains(frame)) << window.objectName().toStdString();
        EXPECT_LE(distance(frame, main.frameGeometry()), 12) << window.objectName().toStdString();
        window.close();
        processDeletes();
    }
}

}  // namespace
}  // namespace tsubame::testing
