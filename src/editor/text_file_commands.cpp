#include "editor/text_file_commands.h"

#include <QTextEdit>
#include <QWidget>

#include "editor/text_file.h"
#include "ui/dialogs.h"

namespace tsubame {

bool openTextInto(QTextEdit& body, Dialogs& dialogs, QWidget* window) {
    std::optional<QString> chosen = dialogs.openFileName(window, QString(), kTextFileFilter);
    if (!chosen || chosen->isEmpty()) return false;
    std::optional<QString> text = readTextFile(toPath(*chosen));
    if (!text) return false;
    body.setPlainText(*text);
    return true;
}

bool saveViewerTextAs(QTextEdit& reader, Dialogs& dialogs, QWidget& viewer) {
    std::optional<QString> chosen = dialogs.saveFileName(&viewer, QString(), kTextFileFilter);
    if (!chosen || chosen->isEmpty()) return false;
    Status written = writeTextFile(toPath(*chosen), reader.toPlainText() + u'\n');
    if (!written) {
        dialogs.notice(&viewer, QStringLiteral("ファイルを保存できませんでした。\n") +
                                    QString::fromStdString(written.message()));
        return false;
    }
    viewer.setWindowTitle(*chosen);
    return true;
}

}  // namespace tsubame
