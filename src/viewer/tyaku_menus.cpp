// The viewer's menus, toolbar, buttons, search and print.
#include <QAction>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTextEdit>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>
#include <filesystem>

#include "context/app_context.h"
#include "editor/editing_commands.h"
#include "editor/editor_bindings.h"
#include "editor/print_text.h"
#include "ui/header_painter.h"
#include "viewer/tyaku_commands.h"
#include "viewer/tyaku_form.h"

namespace tsubame {
namespace {

constexpr int kTwipsPerPixel = 15;

}  // namespace

TyakuCommands::TyakuCommands(AppContext& app, TyakuForm& form)
    : QObject(&form),
      app_(app),
      form_(form),
      client_(form.centralWidget()),
      openFolder_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
    setObjectName("TyakuCommands");
    const QSize designed = form_.size();
    buildMenus();
    // The menu bar sits above the designed client area, as a window menu does.
    form_.resize(designed.width(), designed.height() + form_.menuBar()->sizeHint().height());
    buildToolBar();
    connectButtons();
    setPictures();
    installPointerWatch();
    installHeaderPainter(*form_.mailList());
}

TyakuCommands* tyakuCommands(const TyakuForm& form) {
    return form.findChild<TyakuCommands*>("TyakuCommands", Qt::FindDirectChildrenOnly);
}

template <class Widget>
Widget& TyakuCommands::control(const char* name) const {
    Widget* widget = form_.findChild<Widget*>(name);
    Q_ASSERT(widget);
    return *widget;
}
// Used from the other files of the viewer's commands; an optimised build inlines the uses here.
template QWidget& TyakuCommands::control<QWidget>(const char*) const;
template QLabel& TyakuCommands::control<QLabel>(const char*) const;
template QLineEdit& TyakuCommands::control<QLineEdit>(const char*) const;
template QPushButton& TyakuCommands::control<QPushButton>(const char*) const;

QTextEdit& TyakuCommands::reader() const { return *form_.reader(); }

EditorTarget TyakuCommands::editorTarget() const {
    return {reader(), app_.editor, app_.paths(), app_.dialogs(), form_};
}

void TyakuCommands::buildMenus() {
    QMenuBar* bar = form_.menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName("mFile");
    addNewAndOpenItems(*file, [this](const QString& key) { runToolbarKey(key); });
    connect(addMenuItem(*file, "msave", QStringLiteral("名前を付けて保存"), QKeySequence::Save),
            &QAction::triggered, this, &TyakuCommands::saveUnderChosenName);
    // The entry prints as the toolbar's button does (it once did nothing).
    connect(addMenuItem(*file, "mprint", QStringLiteral("印刷"), QKeySequence::Print),
            &QAction::triggered, this, &TyakuCommands::print);
    connect(addMenuItem(*file, "mtenpufolder", QStringLiteral("添付フォルダを開く")),
            &QAction::triggered, this, &TyakuCommands::openAttachmentFolder);
    // Offered for a mail whose original the check kept because its record could not hold it.
    QAction* original = addMenuItem(*file, "moriginal", QStringLiteral("元のメールを開く"));
    connect(original, &QAction::triggered, this, &TyakuCommands::openOriginalMail);
    connect(file, &QMenu::aboutToShow, this,
            [this, original] { original->setEnabled(!originalMailPath().empty()); });
    addMenuSeparator(*file, "mline");
    connect(addMenuItem(*file, "mend", QStringLiteral("終了")), &QAction::triggered, &form_,
            &QWidget::close);

    QMenu* edit = bar->addMenu(QStringLiteral("編集(&E)"));
    edit->setObjectName("medit");
    addSelectAndJumpItems(*edit, reader());
    addMenuSeparator(*edit, "mline2");
    connect(
        addMenuItem(*edit, "mkensaku", QStringLiteral("検索"), QKeySequence(Qt::CTRL | Qt::Key_F)),
        &QAction::triggered, this, &TyakuCommands::findFromMenu);
    connect(
        addMenuItem(*edit, "mtugikensaku", QStringLiteral("次を検索"), QKeySequence(Qt::Key_F3)),
        &QAction::triggered, this, &TyakuCommands::findNext);
    addClipboardItems(*edit, reader());

    // Delete in the list removes the selected mail, as "一件削除" does; in the reader and the
    // boxes the key keeps its editing meaning.
    auto* deleteMail = new QAction(QStringLiteral("一件削除"), form_.mailList());
    deleteMail->setObjectName("DeleteMailKey");
    deleteMail->setShortcut(QKeySequence::Delete);
    deleteMail->setShortcutContext(Qt::WidgetShortcut);
    form_.mailList()->addAction(deleteMail);
    connect(deleteMail, &QAction::triggered, &form_, &TyakuForm::deleteSelectedMail);
    // Enter in the search box searches: the first time from the top, then for the next match.
    connect(&control<QLineEdit>("Text1"), &QLineEdit::returnPressed, this,
            &TyakuCommands::searchFromBox);
}

void TyakuCommands::buildToolBar() {
    QWidget& strip = control<QWidget>("Picture1");
    QToolBar* bar = buildKeyedToolBar(&strip,
                                      {{"New", QStringLiteral("新規作成")},
                                       {"Open", QStringLiteral("開く")},
                                       {"Save", QStringLiteral("名前を付けて保存")},
                                       {"Print", QStringLiteral("印刷")},
                                       {"Cut", QStringLiteral("切り取り")},
                                       {"Copy", QStringLiteral("ｺﾋﾟｰ")},
                                       {"Paste", QStringLiteral("貼り付け")},
                                       {"Bold", QStringLiteral("太字")},
                                       {"Italic", QStringLiteral("斜体")},
                                       {"Underline", QStringLiteral("下線")}},
                                      [this](const QString& key) { runToolbarKey(key); });
    bar->setGeometry(0, 0, 9015 / kTwipsPerPixel, 390 / kTwipsPerPixel);
    // The quick-save button and the search box stand on the strip in front of the toolbar.
    bar->lower();
}

void TyakuCommands::connectButtons() {
    connect(&control<QPushButton>("Command1"), &QPushButton::clicked, this,
            &TyakuCommands::copyHeaderField);
    connect(&control<QPushButton>("Command2"), &QPushButton::clicked, this,
            &TyakuCommands::quickSave);
    connect(&control<QPushButton>("Command4"), &QPushButton::clicked, this,
            &TyakuCommands::registerSender);
    connect(&control<QPushButton>("Command5"), &QPushButton::clicked, this, &TyakuCommands::reply);
}

void TyakuCommands::setPictures() {
    // Small images over the left ends of the four coloured buttons.
    const std::pair<const char*, const char*> pictures[] = {
        {"Picture7", "削"}, {"Picture10", "帳"}, {"Picture8", "返"}, {"Picture9", "全"}};
    for (const auto& [name, glyph] : pictures) {
        auto& picture = control<QLabel>(name);
        picture.setPixmap(glyphIcon(QString::fromUtf8(glyph)).pixmap(picture.size()));
    }
}

void TyakuCommands::runToolbarKey(const QString& key) {
    if (key == QLatin1String("Save") || key == QLatin1String("SaveAs")) {
        saveUnderChosenName();
        return;
    }
    if (key == QLatin1String("Print")) {
        print();
        return;
    }
    runEditorKey(editorTarget(), key);
}

int TyakuCommands::print() { return printBody(reader(), app_.dialogs(), &form_); }

void TyakuCommands::find() {
    searchedFromBox_ = control<QLineEdit>("Text1").text();
    search_.find(reader(), searchedFromBox_);
}

void TyakuCommands::findNext() {
    searchedFromBox_ = control<QLineEdit>("Text1").text();
    search_.findNext(reader(), searchedFromBox_);
}

void TyakuCommands::findFromMenu() {
    find();
    // With nothing to look for yet, the keyboard goes to the search box (Ctrl+F).
    auto& box = control<QLineEdit>("Text1");
    if (box.text().isEmpty()) box.setFocus(Qt::ShortcutFocusReason);
}

void TyakuCommands::searchFromBox() {
    const bool sameText = control<QLineEdit>("Text1").text() == searchedFromBox_;
    if (sameText && search_.lastFound() > 0)
        findNext();
    else
        find();
}

void TyakuCommands::openAttachmentFolder() {
    const std::filesystem::path folder = app_.paths().attachmentFolder();
    const QString path = QString::fromStdString(folder.string());
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error) || !openFolder_(QUrl::fromLocalFile(path)))
        app_.dialogs().notice(&form_, QStringLiteral("添付フォルダを開けませんでした。\n") + path);
}

std::filesystem::path TyakuCommands::originalMailPath() const {
    // Only the check's own link counts, never a notice in the body: the sender wrote that.
    const std::string& name = form_.keptOriginalFile();
    if (name.empty() || name.find('/') != std::string::npos || !name.ends_with(".eml") ||
        name.starts_with("."))
        return {};
    std::filesystem::path path = app_.paths().attachmentFolder() / name;
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) ? path : std::filesystem::path();
}

void TyakuCommands::openOriginalMail() {
    const std::filesystem::path path = originalMailPath();
    const QString shown = QString::fromStdString(path.string());
    if (path.empty())
        app_.dialogs().notice(&form_, QStringLiteral("元のメールを開けませんでした。"));
    else if (!openFolder_(QUrl::fromLocalFile(shown)))
        // The file is there: the user can open it with a program of their choice.
        app_.dialogs().notice(&form_, QStringLiteral("元のメールを開けませんでした。\n") + shown);
}

void TyakuCommands::selectAll() { selectAllText(reader()); }

}  // namespace tsubame
