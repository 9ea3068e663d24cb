#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "app/shell_fixture.h"
#include "setup/id_pass_form.h"
#include "setup/option_form.h"
#include "setup/set_form.h"

namespace tsubame::testing {
namespace {

using DialogKeyboardTest = ShellTest;

QList<QWidget*> tabStops(QWidget& dialog) {
    QList<QWidget*> stops;
    for (QWidget* w : dialog.findChildren<QWidget*>())
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(&dialog)) stops << w;
    return stops;
}

// The controls in the order Tab reaches them.
QStringList tabOrder(QWidget& dialog) {
    const QList<QWidget*> stops = tabStops(dialog);
    QStringList order;
    QWidget* widget = stops.first();
    for (int i = 0; i < 200 && order.size() < stops.size();
         ++i, widget = widget->nextInFocusChain())
        if (stops.contains(widget)) order << widget->objectName();
    return order;
}

// The same controls as they stand: top to bottom, left to right.
QStringList visualOrder(QWidget& dialog) {
    QList<QWidget*> stops = tabStops(dialog);
    std::ranges::sort(stops, [](QWidget* a, QWidget* b) {
        return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
    });
    QStringList order;
    for (QWidget* w : stops) order << w->objectName();
    return order;
}

QStringList rotatedToStartAt(QStringList order, const QString& first) {
    const qsizetype at = order.indexOf(first);
    if (at > 0) order = order.mid(at) + order.mid(0, at);
    return order;
}

TEST_F(DialogKeyboardTest, TabFollowsTheVisualOrderInEveryDialog) {
    QWidget* dialogs[] = {&app->setForm(), &app->idPassForm(), &app->optionForm()};
    for (QWidget* dialog : dialogs) {
        const QStringList visual = visualOrder(*dialog);
        ASSERT_FALSE(visual.isEmpty());
        EXPECT_EQ(rotatedToStartAt(tabOrder(*dialog), visual.first()), visual)
            << dialog->objectName().toStdString();
    }
}

TEST_F(DialogKeyboardTest, EnterInABoxPressesTheDefaultButton) {
    auto pressEnterIn = [](QWidget& dialog, const char* box) {
        AppContext::showWindow(dialog);
        auto* edit = dialog.findChild<QLineEdit*>(box);
        edit->setFocus();
        edit->setText("typed");
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(edit, &enter);
    };
    pressEnterIn(app->optionForm(), "MailText");  // "設定" saves
    EXPECT_EQ(app->account.MailAddress, "typed");
    EXPECT_EQ(TempAppFolder::read(folder.korumiIni()),
              "SMTP=\r\nPOP3=\r\nMAIL=typed\r\nAPOP=0\r\n");

    pressEnterIn(app->idPassForm(), "PassText");  // "OK" takes the login
    EXPECT_EQ(app->account.Password, "typed");
    processDeletes();
    EXPECT_EQ(app->loadedOptionForm(), nullptr);
    EXPECT_EQ(app->loadedIdPassForm(), nullptr);
}

}  // namespace
}  // namespace tsubame::testing
