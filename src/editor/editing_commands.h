#pragma once

#include "core/status.h"

class QTextEdit;
class QWidget;

namespace tsubame {

class AppPaths;
class Dialogs;
struct EditorState;

// The editing commands shared by the viewer's reader and the compose body. Each acts on the
// body box of the window it was invoked from.

// Moves the selection (empty text when nothing is selected) to the clipboard.
void cutText(QTextEdit& body);
// Copies the selection to the clipboard and puts the caret after it; without a selection the
// clipboard is emptied and the caret goes to the start.
void copyText(QTextEdit& body);
// Replaces the selection with the clipboard's text, without blanks at its ends, as plain text.
void pasteText(QTextEdit& body);
// Selects the whole text; the focus stays where it is.
void selectAllText(QTextEdit& body);
void jumpToTop(QTextEdit& body);
void jumpToEnd(QTextEdit& body);

// Writes the body's text to the current document file; clears the modified flag on success.
Status saveDocument(const QTextEdit& body, EditorState& state);

// Starts an empty "新規作成.TXT" next to the current document (in the application folder while
// there is none). A modified document is saved first; if that fails, the user is told and the
// text stays. Nothing happens while the current document is already a new document.
void newDocument(QTextEdit& body, EditorState& state, const AppPaths& paths, Dialogs& dialogs,
                 QWidget& window);

}  // namespace tsubame
