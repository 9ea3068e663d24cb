#include "editor/editing_commands.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTextCursor>
#include <QTextEdit>
#include <QWidget>

#include "core/app_paths.h"
#include "editor/editor_state.h"
#include "editor/plain_text.h"
#include "editor/text_file.h"
#include "ui/dialogs.h"

namespace tsubame {
namespace {

const QString kNewDocumentName = QStringLiteral("新規作成.TXT");
const QString kCaptionGap = QStringLiteral("      ");  // six blanks

void putOnClipboard(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

}  // namespace

void cutText(QTextEdit& body) {
    putOnClipboard(selectedPlainText(body));
    body.textCursor().removeSelectedText();
    body.setFocus();
}

void copyText(QTextEdit& body) {
    qsizetype length = selectionLength(body);
    qsizetype caret = length != 0 ? selectionStart(body) + length : 0;
    putOnClipboard(selectedPlainText(body));
    setSelection(body, caret, 0);
    body.setFocus();
}

void pasteText(QTextEdit& body) {
    body.setFocus();
    // Plain insertion: pasted text takes the box's own format.
    body.textCursor().insertText(trimBlanks(QGuiApplication::clipboard()->text()));
    body.setFocus();
}

void selectAllText(QTextEdit& body) { setSelection(body, 0, plainTextLength(body)); }

void jumpToTop(QTextEdit& body) {
    setSelection(body, 0, 0);
    body.setFocus();
}

void jumpToEnd(QTextEdit& body) {
    setSelection(body, plainTextLength(body), 0);
    body.setFocus();
}

Status saveDocument(const QTextEdit& body, EditorState& state) {
    if (state.CurrentDocumentPath.isEmpty())
        return Status::failure("保存先のファイルがありません。");
    Status written = writeTextFile(toPath(state.CurrentDocumentPath), body.toPlainText());
    if (written) state.DocumentModified = false;
    return written;
}

void newDocument(QTextEdit& body, EditorState& state, const AppPaths& paths, Dialogs& dialogs,
                 QWidget& window) {
    if (state.CurrentDocumentPath.contains(kNewDocumentName)) return;
    // Without a document file there is nothing to save the text to.
    if (state.DocumentModified && !state.CurrentDocumentPath.isEmpty()) {
        Status saved = saveDocument(body, state);
        if (!saved) {
            dialogs.notice(&window, QStringLiteral("文書を保存できませんでした。\n") +
                                        QString::fromStdString(saved.message()));
            return;
        }
    }
    body.clear();
    QString folder = folderPart(state.CurrentDocumentPath);
    // A path without a folder would put the file wherever the process happens to run.
    state.CurrentDocumentPath =
        folder.endsWith(u'/') ? folder + kNewDocumentName : fromPath(paths.newDocument());
    // The empty file marks the new document on disk; the box is empty whether or not it could
    // be written.
    (void)saveDocument(body, state);
    state.DocumentModified = false;
    window.setWindowTitle(kNewDocumentName + kCaptionGap + state.CurrentDocumentPath);
}

}  // namespace tsubame
