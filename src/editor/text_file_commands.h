#pragma once

class QTextEdit;
class QWidget;

namespace tsubame {

class Dialogs;

// Opening a text file into a body box (the viewer's reader or the compose body): an open
// dialog, then the file's text replaces the box's text. A cancelled dialog or an unreadable
// file changes nothing. The window's caption and the shared document state stay as they are.
// Returns true when the box was filled.
bool openTextInto(QTextEdit& body, Dialogs& dialogs, QWidget* window);

// Saving the viewer's reader under a chosen name: a save dialog, then the reader's text and
// one final line break are written. The viewer's caption becomes the chosen path once the file
// is written; a failed write is reported and leaves the caption as it was. Returns true when
// the file was written.
bool saveViewerTextAs(QTextEdit& reader, Dialogs& dialogs, QWidget& viewer);

}  // namespace tsubame
