#include "ui/qt_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <cstdio>

namespace tsubame {
namespace {

QString qtFilter(const QString& filter) {
    // "caption|*.a;*.b" becomes "caption (*.a *.b)".
    QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
    return out.isEmpty() ? filter : out.join(";;");
}

}  // namespace

BoxAnswer QtDialogs::messageBox(QWidget* parent, const QString& text, const QString& title,
                                BoxButtons buttons, BoxIcon icon) {
    QMessageBox box(parent);
    box.setText(text);
    box.setWindowTitle(title.isEmpty() ? kApplicationTitle : title);
    switch (icon) {
        case BoxIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case BoxIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case BoxIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case BoxIcon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case BoxIcon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
    }
    // Japanese captions, as the system's own boxes show them.
    switch (buttons) {
        case BoxButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            box.setEscapeButton(QMessageBox::Ok);
            break;
        case BoxButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Ok);
            box.setEscapeButton(QMessageBox::Cancel);
            box.button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
            break;
        case BoxButtons::YesNo:
        case BoxButtons::YesNoDefaultNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(buttons == BoxButtons::YesNo ? QMessageBox::Yes : QMessageBox::No);
            box.setEscapeButton(QMessageBox::No);
            box.button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
            box.button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Yes:
            return BoxAnswer::Yes;
        case QMessageBox::No:
            return BoxAnswer::No;
        case QMessageBox::Cancel:
            return BoxAnswer::Cancel;
        default:
            return isYesNo(buttons) ? BoxAnswer::No : BoxAnswer::Ok;
    }
}

std::optional<QString> QtDialogs::openFileName(QWidget* parent, const QString& title,
                                               const QString& filter) {
    QString name = QFileDialog::getOpenFileName(parent, title, {}, qtFilter(filter));
    if (name.isEmpty()) return std::nullopt;
    return name;
}

std::optional<QString> QtDialogs::saveFileName(QWidget* parent, const QString& title,
                                               const QString& filter) {
    QString name = QFileDialog::getSaveFileName(parent, title, {}, qtFilter(filter));
    if (name.isEmpty()) return std::nullopt;
    return name;
}

bool QtDialogs::printDialog(QWidget* parent, QPrinter& printer) {
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintSelection,
                     printer.printRange() == QPrinter::Selection);
    return dialog.exec() == QDialog::Accepted;
}

BoxAnswer StderrDialogs::messageBox(QWidget*, const QString& text, const QString& title,
                                    BoxButtons buttons, BoxIcon) {
    ++boxes_;
    QByteArray line = (title.isEmpty() ? text : title + ": " + text).toUtf8();
    std::fprintf(stderr, "%s\n", line.constData());
    if (isYesNo(buttons)) return BoxAnswer::No;
    return BoxAnswer::Ok;
}

}  // namespace tsubame
