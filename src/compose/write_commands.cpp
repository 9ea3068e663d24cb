#include "compose/write_commands.h"

#include <QMenu>
#include <QMenuBar>
#include <QTextEdit>
#include <QToolBar>

#include "compose/write_form.h"
#include "context/app_context.h"
#include "editor/editing_commands.h"
#include "editor/editor_bindings.h"
#include "editor/print_text.h"

namespace tsubame {

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
    addNewAndOpenItems(*file, [this](const QString& key) { runToolbarKey(key); });
    connect(addMenuItem(*file, "mprint", QStringLiteral("印刷"), QKeySequence::Print),
            &QAction::triggered, this, &WriteCommands::print);
    addMenuSeparator(*file, "mline");
    // Closing without sending, as the window's own stop button does.
    connect(addMenuItem(*file, "mend", QStringLiteral("終了")), &QAction::triggered, &form_,
            &QWidget::close);

    QMenu* edit = bar->addMenu(QStringLiteral("編集"));
    edit->setObjectName("medit");
    addSelectAndJumpItems(*edit, body());
    addMenuSeparator(*edit, "mline3");
    addClipboardItems(*edit, body());
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
