#include "editor/text_file_commands.h"

#include <QFileInfo>
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
    // The filter offers text files: a name typed without an extension becomes one. The
    // dialog asked about the name as typed, so an existing file of the new name is asked here.
    if (QFileInfo(*chosen).suffix().isEmpty()) {
        if (chosen->endsWith(u'.')) chosen->chop(1);
        *chosen += QStringLiteral(".txt");
        if (QFileInfo::exists(*chosen) &&
            !dialogs.confirm(&viewer,
                             QStringLiteral("同名のファイルが既に存在します。上書きしますか？"),
                             BoxButtons::YesNoDefaultNo))
            return false;
    }
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
