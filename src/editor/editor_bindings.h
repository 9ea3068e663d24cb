#pragma once

#include <QKeySequence>
#include <QString>
#include <functional>
#include <vector>

class QAction;
class QIcon;
class QMenu;
class QTextEdit;
class QToolBar;
class QWidget;

namespace tsubame {

class AppPaths;
class Dialogs;
struct EditorState;

// What the shared commands need from the window they are invoked in.
struct EditorTarget {
    QTextEdit& body;
    EditorState& state;
    const AppPaths& paths;
    Dialogs& dialogs;
    QWidget& window;
};

// Runs the shared command bound to a toolbar key ("New", "Open", "Print", "Cut", "Copy",
// "Paste", "Bold", "Italic", "Underline"; compared exactly). False for any other key.
bool runEditorKey(const EditorTarget& target, const QString& key);

struct ToolButton {
    QString key;
    QString tip;
};

// Adds one button per entry to a toolbar, in order; each button carries its key as data and
// its tip as tooltip, and a click passes the key to onKey.
void addKeyedButtons(QToolBar& bar, const std::vector<ToolButton>& buttons,
                     std::function<void(const QString&)> onKey);
// A toolbar named "tbToolBar" with those buttons.
QToolBar* buildKeyedToolBar(QWidget* parent, const std::vector<ToolButton>& buttons,
                            std::function<void(const QString&)> onKey);

// A menu entry whose object name is the name of its control ("mnew", "mcut" ...), with its
// keyboard shortcut (shown in the menu), and a separator named the same way.
QAction* addMenuItem(QMenu& menu, const char* name, const QString& caption,
                     const QKeySequence& shortcut = {});
void addMenuSeparator(QMenu& menu, const char* name);
// The file menu's first two entries, "新規作成" (mnew, Ctrl+N) and "開く" (mopen, Ctrl+O), which
// run the toolbar's keys "New" and "Open".
void addNewAndOpenItems(QMenu& menu, std::function<void(const QString&)> runKey);
// The edit-menu entries both windows share, acting on their body: "全て選択" (mall, Ctrl+A),
// "文頭へジャンプ" (matamajump) and "文末へジャンプ" (mbunmatujump); and the clipboard entries
// "切り取り" (mcut, Ctrl+X), "コピー" (mcopy, Ctrl+C) and "貼り付け" (mpaste, Ctrl+V). A text box
// with the focus keeps its own handling of these keys.
void addSelectAndJumpItems(QMenu& menu, QTextEdit& body);
void addClipboardItems(QMenu& menu, QTextEdit& body);

// The small image of a toolbar key.
QIcon toolIcon(const QString& key);
// A small image showing a short text (one or two characters), for buttons and pictures.
QIcon glyphIcon(const QString& glyph, bool bold = false, bool italic = false,
                bool underline = false);

}  // namespace tsubame
