// Every caption of every window, measured with the real fonts against the box it stands in.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QStyleOptionGroupBox>
#include <QTextEdit>

#include "addressbook/friend_form.h"
#include "app/shell_fixture.h"
#include "compose/write_form.h"
#include "reply/back_form.h"
#include "setup/id_pass_form.h"
#include "setup/option_form.h"
#include "setup/set_form.h"
#include "viewer/tyaku_form.h"

namespace tsubame::testing {
namespace {

QString withoutMnemonic(QString text) {
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(u'&');
    return text.replace(QChar(1), u'&');
}

// The rectangle the style gives a control's text, and the text's size in the control's font.
struct Fit {
    QString text;
    QRect room;
    QSize need;
};

// Only these controls are checked; the room is what their style draws the text into.
std::optional<Fit> measure(QWidget& w) {
    QStyle* style = w.style();
    const QFontMetrics fm = w.fontMetrics();
    // Width as the text advances, height as far as it inks (line spacing may overlap a frame).
    auto line = [&](const QString& text) {
        return QSize(fm.horizontalAdvance(text), fm.tightBoundingRect(text).height());
    };
    if (auto* button = qobject_cast<QAbstractButton*>(&w)) {
        if (button->text().isEmpty()) return std::nullopt;
        QStyleOptionButton opt;
        opt.initFrom(button);
        opt.text = button->text();
        opt.icon = button->icon();
        opt.iconSize = button->iconSize();
        QStyle::SubElement element = QStyle::SE_PushButtonContents;
        if (qobject_cast<QCheckBox*>(button)) element = QStyle::SE_CheckBoxContents;
        if (qobject_cast<QRadioButton*>(button)) element = QStyle::SE_RadioButtonContents;
        if (!qobject_cast<QPushButton*>(button) && element == QStyle::SE_PushButtonContents)
            return std::nullopt;  // tool buttons size themselves
        QRect room = style->subElementRect(element, &opt, button);
        if (element == QStyle::SE_PushButtonContents && !button->icon().isNull())
            room.setLeft(room.left() + button->iconSize().width() + 4);
        return Fit{button->text(), room, line(withoutMnemonic(button->text()))};
    }
    if (auto* label = qobject_cast<QLabel*>(&w)) {
        if (label->text().isEmpty() || label->textFormat() == Qt::RichText) return std::nullopt;
        QRect room = label->contentsRect().adjusted(label->margin(), label->margin(),
                                                    -label->margin(), -label->margin());
        const QString text = withoutMnemonic(label->text());
        if (label->wordWrap()) {
            QRect wrapped =
                fm.boundingRect(QRect(0, 0, room.width(), 10000), Qt::TextWordWrap, text);
            return Fit{text, room, wrapped.size()};
        }
        const QStringList lines = text.split(u'\n');
        QSize need = line(lines.first());
        for (const QString& part : lines.mid(1))
            need = QSize(std::max(need.width(), fm.horizontalAdvance(part)),
                         need.height() + fm.lineSpacing());
        return Fit{text, room, need};
    }
    if (auto* group = qobject_cast<QGroupBox*>(&w)) {
        if (group->title().isEmpty()) return std::nullopt;
        QStyleOptionGroupBox opt;
        opt.initFrom(group);
        opt.text = group->title();
        opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        opt.textAlignment = group->alignment();
        QRect room = group->rect();
        QRect label =
            style->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, group);
        room.setLeft(label.left());
        room.setTop(label.top());
        return Fit{group->title(), room, line(withoutMnemonic(group->title()))};
    }
    if (auto* edit = qobject_cast<QLineEdit*>(&w)) {
        // The count and status boxes the program fills; the user's own entries may scroll.
        if (!edit->isReadOnly() && edit->text().isEmpty()) return std::nullopt;
        QStyleOptionFrame opt;
        opt.initFrom(edit);
        opt.lineWidth = edit->hasFrame() ? style->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
        QRect room = style->subElementRect(QStyle::SE_LineEditContents, &opt, edit);
        const QMargins margins = edit->textMargins();
        room = room.marginsRemoved(margins).adjusted(2, 0, -2, 0);  // QLineEdit's own margin
        return Fit{edit->text(), room, line(edit->text())};
    }
    return std::nullopt;
}

// The part of a control its parents let through, in the control's coordinates.
QRect unclipped(QWidget& w, QWidget& window) {
    QRect visible = w.rect();
    QPoint offset(0, 0);
    for (QWidget* p = &w; p != &window && p->parentWidget(); p = p->parentWidget()) {
        offset += p->pos();
        visible &= p->parentWidget()->rect().translated(-offset);
    }
    return visible;
}

// "Window/Control: text (need w×h, room w×h)" for every visible caption that does not fit.
std::vector<std::string> clippedCaptions(QWidget& window) {
    std::vector<std::string> clipped;
    window.ensurePolished();
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&window)) continue;
        const QRect visible = unclipped(*w, window);
        if (visible.isEmpty()) continue;  // placed out of sight on purpose
        std::optional<Fit> fit = measure(*w);
        if (!fit) continue;
        fit->room &= visible;
        if (fit->need.width() <= fit->room.width() && fit->need.height() <= fit->room.height())
            continue;
        clipped.push_back(
            window.objectName().toStdString() + "/" + w->objectName().toStdString() + ": \"" +
            fit->text.toStdString() + "\" needs " + std::to_string(fit->need.width()) + "x" +
            std::to_string(fit->need.height()) + ", has " + std::to_string(fit->room.width()) +
            "x" + std::to_string(fit->room.height()));
    }
    return clipped;
}

class CaptionsFitTest : public ShellTest {
  protected:
    void configure() {
        TempAppFolder::write(folder.dataFile("iniIdPass.ini"),
                             "[EXEINI]\r\nNAME=taro\r\nNAME2=secret\r\nNAME3=1\r\n");
        TempAppFolder::write(
            folder.korumiIni(),
            "SMTP=smtp.example.com\r\nPOP3=pop.example.com\r\nMAIL=me@example.com\r\n");
    }
    void expectAllFit(QWidget& window) {
        AppContext::showWindow(window);
        QApplication::processEvents();
        for (const std::string& clipped : clippedCaptions(window)) ADD_FAILURE() << clipped;
    }
};

TEST_F(CaptionsFitTest, TheMainWindowInBothLayoutsWithThreeDigitCounts) {
    configure();
    MainForm& main = start();
    main.setNewMailCount("305");
    main.setStoredMailCount("305");
    for (bool wide : {true, false}) {
        main.setWideLayout(wide);
        expectAllFit(main);
    }
}

TEST_F(CaptionsFitTest, EverySecondaryWindow) {
    configure();
    start();
    app->viewer().countBox()->setText("305");
    std::vector<QWidget*> windows = {&app->setForm(),    &app->idPassForm(), &app->optionForm(),
                                     &app->viewer(),     &app->compose(),    &app->reply(),
                                     &app->addressBook()};
    for (QWidget* window : windows) expectAllFit(*window);
}

TEST_F(CaptionsFitTest, TheComposeWindowShowsItsStatusLineAndModeFrameWhole) {
    configure();
    start();
    WriteForm& compose = app->compose();
    AppContext::showWindow(compose);
    QApplication::processEvents();
    QWidget* client = compose.centralWidget();
    for (QWidget* w : client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!w->isVisibleTo(&compose) || w->y() < 0) continue;
        EXPECT_LE(w->geometry().bottom(), client->height() - 1)
            << w->objectName().toStdString() << " is cut by the window's bottom edge";
    }
}

}  // namespace
}  // namespace tsubame::testing
