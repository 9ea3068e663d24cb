#pragma once

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QTreeView>

#include "viewer/tyaku_commands.h"
#include "viewer/tyaku_form.h"
#include "viewer/viewer_fixture.h"

namespace tsubame::testing {

// The viewer with its commands, over an application folder that has "■TextQuickSave".
class ViewerCommandsTest : public AppFolderTest {
  protected:
    ViewerCommandsTest() { std::filesystem::create_directories(quickSaveFolder()); }

    TyakuCommands& commands() {
        TyakuCommands* found = tyakuCommands(viewer());
        EXPECT_NE(found, nullptr);
        return *found;
    }
    template <class W>
    W* control(const char* name) {
        W* widget = viewer().findChild<W*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QAction* action(const char* name) { return control<QAction>(name); }
    std::filesystem::path quickSaveFolder() const { return folder_ / "■TextQuickSave"; }

    // A real click on a row: press and release, as the user would.
    void clickRow(int row) {
        QTreeView* list = viewer().mailList();
        QPoint at = list->visualRect(list->model()->index(row, 0)).center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(list->viewport(), &event);
        }
    }
    // The pointer moving over a widget.
    static void moveOver(QWidget* widget) {
        QPointF at(2, 2);
        QMouseEvent event(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }
};

}  // namespace tsubame::testing
