#include "compose/attachment_controls.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "ui/dialogs.h"

namespace tsubame {

bool AttachmentControls::chooseFile(Dialogs& dialogs, QWidget* window, QString& path) {
    std::optional<QString> chosen = dialogs.openFileName(window, QString(), QString());
    if (!chosen || chosen->isEmpty()) return false;
    names.addItem(QFileInfo(*chosen).fileName());
    path = *chosen;
    return true;
}

void AttachmentControls::attachFirst(Dialogs& dialogs, QWidget* window) {
    add.setEnabled(true);
    if (QString path; chooseFile(dialogs, window, path)) paths.setText(path);
    attach.setEnabled(false);
}

void AttachmentControls::attachAnother(Dialogs& dialogs, QWidget* window) {
    names.show();
    names.raise();  // the list stands over the controls below it
    if (paths.text().isEmpty()) return;
    if (QString path; chooseFile(dialogs, window, path))
        paths.setText(paths.text() + QLatin1Char(',') + path);
}

void AttachmentControls::dropAll() {
    paths.clear();
    names.clear();
    names.hide();
    add.setEnabled(false);
    drop.setEnabled(false);
    attach.setEnabled(true);
}

}  // namespace tsubame
