#include "compose/write_commands.h"

#include <QMenu>
#include <QMenuBar>
#include <QTextEdit>
#include <QToolBar>

#include "app/app_context.h"
#include "compose/write_form.h"
#include "editor/editing_commands.h"
#include "editor/editor_bindings.h"
#include "editor/print_text.h"

namespace tsubame {
namespace {

QAction* addItem(QMenu& menu, const char* name, const QString& caption) {
    QAction* action = menu.addAction(caption);
    action->setObjectName(name);
    return action;
}

void addSeparator(QMenu& menu, const char* name) { menu.addSeparator()->setObjectName(name); }

}  // namespace

WriteCommands::WriteCommands(AppContext& app, WriteForm& form)
    : QObject(&form), app_(app), form_(form) {
    setObjectName("WriteCommands");
    buildMenus();
    buildToolBar();
}

WriteCommands* writeCommands(const WriteForm& form) {
    return form.findChild<WriteCommands*>("WriteCommands", Qt::FindDirectChildrenOnly);
}

QTextEdit& WriteCommands::body() const { return *form_.body(); }

EditorTarget WriteCommands::editorTarget() const {
    return {body(), app_.editor, app_.paths(), app_.dialogs(), form_};
}

void WriteCommands::buildMenus() {
    QMenuBar* bar = form_.menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName("mFile");
    connect(addItem(*file, "mnew", QStringLiteral("新規作成")), &QAction::triggered, this,
            [this] { runToolbarKey("New"); });
    connect(addItem(*file, "mopen", QStringLiteral("開く")), &QAction::triggered, this,
            [this] { runToolbarKey("Open"); });
    connect(addItem(*file, "mprint", QStringLiteral("印刷")), &QAction::triggered, this,
            &WriteCommands::print);
    addSeparator(*file, "mline");
    // Closing without sending, as the window's own stop button does.
    connect(addItem(*file, "mend", QStringLiteral("終了")), &QAction::triggered, &form_,
            &QWidget::close);

    QMenu* edit = bar->addMenu(QStringLiteral("編集"));
    edit->setObjectName("medit");
    connect(addItem(*edit, "mall", QStringLiteral("全て選択")), &QAction::triggered, this,
            &WriteCommands::selectAll);
    connect(addItem(*edit, "matamajump", QStringLiteral("文頭へジャンプ")), &QAction::triggered,
            this, [this] { jumpToTop(body()); });
    connect(addItem(*edit, "mbunmatujump", QStringLiteral("文末へジャンプ")), &QAction::triggered,
            this, [this] { jumpToEnd(body()); });
    addSeparator(*edit, "mline3");
    connect(addItem(*edit, "mcut", QStringLiteral("切り取り")), &QAction::triggered, this,
            [this] { cutText(body()); });
    connect(addItem(*edit, "mcopy", QStringLiteral("コピー")), &QAction::triggered, this,
            [this] { copyText(body()); });
    connect(addItem(*edit, "mpaste", QStringLiteral("貼り付け")), &QAction::triggered, this,
            &WriteCommands::paste);
}

void WriteCommands::buildToolBar() {
    addKeyedButtons(*form_.toolBar(),
                    {{"New", QStringLiteral("新規作成")},
                     {"Open", QStringLiteral("開く")},
                     {"Print", QStringLiteral("印刷")},
                     {"Cut", QStringLiteral("切り取り")},
                     {"Copy", QStringLiteral("ｺﾋﾟｰ")},
                     {"Paste", QStringLiteral("貼り付け")},
                     {"Bold", QStringLiteral("太字")},
                     {"Italic", QStringLiteral("斜体")},
                     {"Underline", QStringLiteral("下線")}},
                    [this](const QString& key) { runToolbarKey(key); });
}

void WriteCommands::runToolbarKey(const QString& key) { runEditorKey(editorTarget(), key); }

int WriteCommands::print() { return printBody(body(), app_.dialogs(), &form_); }

void WriteCommands::selectAll() { selectAllText(body()); }

void WriteCommands::paste() { pasteText(body()); }

}  // namespace tsubame
