#include "editor/editor_bindings.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QTextEdit>
#include <QToolBar>
#include <map>

#include "editor/editing_commands.h"
#include "editor/format_toggles.h"
#include "editor/print_text.h"
#include "editor/text_file_commands.h"

namespace tsubame {

bool runEditorKey(const EditorTarget& t, const QString& key) {
    const std::map<QString, std::function<void()>> commands = {
        {"New", [&] { newDocument(t.body, t.state, t.paths, t.dialogs, t.window); }},
        {"Open", [&] { openTextInto(t.body, t.dialogs, &t.window); }},
        {"Print", [&] { printBody(t.body, t.dialogs, &t.window); }},
        {"Cut", [&] { cutText(t.body); }},
        {"Copy", [&] { copyText(t.body); }},
        {"Paste", [&] { pasteText(t.body); }},
        {"Bold", [&] { toggleBold(t.body, t.state); }},
        {"Italic", [&] { toggleItalic(t.body, t.state); }},
        {"Underline", [&] { toggleUnderline(t.body, t.state); }},
    };
    auto found = commands.find(key);
    if (found == commands.end()) return false;
    found->second();
    return true;
}

void addKeyedButtons(QToolBar& bar, const std::vector<ToolButton>& buttons,
                     std::function<void(const QString&)> onKey) {
    bar.setIconSize(QSize(16, 16));
    bar.setMovable(false);
    for (const ToolButton& button : buttons) {
        QAction* action = bar.addAction(toolIcon(button.key), button.tip);
        action->setData(button.key);
        action->setToolTip(button.tip);
        action->setObjectName("tb" + button.key);
        QObject::connect(action, &QAction::triggered, &bar,
                         [onKey, key = button.key] { onKey(key); });
    }
}

QToolBar* buildKeyedToolBar(QWidget* parent, const std::vector<ToolButton>& buttons,
                            std::function<void(const QString&)> onKey) {
    auto* bar = new QToolBar(parent);
    bar->setObjectName("tbToolBar");
    addKeyedButtons(*bar, buttons, std::move(onKey));
    return bar;
}

QAction* addMenuItem(QMenu& menu, const char* name, const QString& caption,
                     const QKeySequence& shortcut) {
    QAction* action = menu.addAction(caption);
    action->setObjectName(name);
    action->setShortcut(shortcut);
    return action;
}

void addMenuSeparator(QMenu& menu, const char* name) { menu.addSeparator()->setObjectName(name); }

void addNewAndOpenItems(QMenu& menu, std::function<void(const QString&)> runKey) {
    QObject::connect(addMenuItem(menu, "mnew", QStringLiteral("新規作成"), QKeySequence::New),
                     &QAction::triggered, &menu, [runKey] { runKey(QStringLiteral("New")); });
    QObject::connect(addMenuItem(menu, "mopen", QStringLiteral("開く"), QKeySequence::Open),
                     &QAction::triggered, &menu, [runKey] { runKey(QStringLiteral("Open")); });
}

void addSelectAndJumpItems(QMenu& menu, QTextEdit& body) {
    QObject::connect(addMenuItem(menu, "mall", QStringLiteral("全て選択"), QKeySequence::SelectAll),
                     &QAction::triggered, &menu, [&body] { selectAllText(body); });
    QObject::connect(addMenuItem(menu, "matamajump", QStringLiteral("文頭へジャンプ")),
                     &QAction::triggered, &menu, [&body] { jumpToTop(body); });
    QObject::connect(addMenuItem(menu, "mbunmatujump", QStringLiteral("文末へジャンプ")),
                     &QAction::triggered, &menu, [&body] { jumpToEnd(body); });
}

void addClipboardItems(QMenu& menu, QTextEdit& body) {
    QObject::connect(addMenuItem(menu, "mcut", QStringLiteral("切り取り"), QKeySequence::Cut),
                     &QAction::triggered, &menu, [&body] { cutText(body); });
    QObject::connect(addMenuItem(menu, "mcopy", QStringLiteral("コピー"), QKeySequence::Copy),
                     &QAction::triggered, &menu, [&body] { copyText(body); });
    // Pasted text takes the body's own format.
    QObject::connect(addMenuItem(menu, "mpaste", QStringLiteral("貼り付け"), QKeySequence::Paste),
                     &QAction::triggered, &menu, [&body] { pasteText(body); });
}

QIcon glyphIcon(const QString& glyph, bool bold, bool italic, bool underline) {
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(glyph.size() > 1 ? 11 : 16);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    painter.setFont(font);
    painter.setPen(QColor(0, 0, 128));
    painter.drawText(pixmap.rect(), Qt::AlignCenter, glyph);
    return QIcon(pixmap);
}

QIcon toolIcon(const QString& key) {
    if (key == "Bold") return glyphIcon("B", true);
    if (key == "Italic") return glyphIcon("I", false, true);
    if (key == "Underline") return glyphIcon("U", false, false, true);
    static const std::map<QString, QString> glyphs = {
        {"New", "新"},   {"Open", "開"}, {"Save", "保"}, {"SaveAs", "保"},
        {"Print", "印"}, {"Cut", "切"},  {"Copy", "写"}, {"Paste", "貼"},
    };
    auto found = glyphs.find(key);
    return glyphIcon(found == glyphs.end() ? QStringLiteral("?") : found->second);
}

}  // namespace tsubame
