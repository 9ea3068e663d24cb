// The compose window's menus and toolbar, bound to the shared editing commands.
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QToolBar>
#include <fstream>

#include "compose/compose_fixture.h"
#include "compose/write_commands.h"
#include "editor/plain_text.h"
#include "viewer/tyaku_commands.h"
#include "viewer/tyaku_form.h"

namespace tsubame::testing {
namespace {

class ComposeMenusTest : public ComposeTest {
  protected:
    ComposeMenusTest() { open(); }
    WriteCommands& commands() {
        WriteCommands* found = writeCommands(form());
        EXPECT_NE(found, nullptr);
        return *found;
    }
    QStringList entries(const char* menuName) {
        QStringList list;
        for (QAction* a : control<QMenu>(menuName)->actions())
            list << (a->isSeparator() ? QString("-") + a->objectName()
                                      : a->objectName() + ":" + a->text());
        return list;
    }
    void trigger(const char* name) { control<QAction>(name)->trigger(); }
    QTextEdit* body() { return form().body(); }
};

TEST_F(ComposeMenusTest, MenusHoldTheirEntriesInOrder) {
    EXPECT_EQ(control<QMenu>("mFile")->title(), "ファイル(&F)");
    EXPECT_EQ(entries("mFile"),
              QStringList({"mnew:新規作成", "mopen:開く", "mprint:印刷", "-mline", "mend:終了"}));
    EXPECT_EQ(control<QMenu>("medit")->title(), "編集");
    EXPECT_EQ(entries("medit"), QStringList({"mall:全て選択", "matamajump:文頭へジャンプ",
                                             "mbunmatujump:文末へジャンプ", "-mline3",
                                             "mcut:切り取り", "mcopy:コピー", "mpaste:貼り付け"}));
}

TEST_F(ComposeMenusTest, ToolbarButtonsCarryKeysAndTips) {
    QStringList buttons;
    for (QAction* a : form().toolBar()->actions())
        buttons << a->data().toString() + ":" + a->toolTip();
    EXPECT_EQ(buttons,
              QStringList({"New:新規作成", "Open:開く", "Print:印刷", "Cut:切り取り", "Copy:ｺﾋﾟｰ",
                           "Paste:貼り付け", "Bold:太字", "Italic:斜体", "Underline:下線"}));
}

TEST_F(ComposeMenusTest, ThreeBoldClicksGoOnOffOn) {
    for (bool expected : {true, false, true}) {
        commands().runToolbarKey("Bold");
        EXPECT_EQ(body()->font().bold(), expected);
    }
}

TEST_F(ComposeMenusTest, BoldIsSharedWithTheViewer) {
    TyakuForm& viewer = app->viewer();
    tyakuCommands(viewer)->runToolbarKey("Bold");
    EXPECT_TRUE(viewer.reader()->font().bold());
    commands().runToolbarKey("Bold");
    EXPECT_FALSE(body()->font().bold());  // the press in the compose window switches off
    tyakuCommands(viewer)->runToolbarKey("Italic");
    commands().runToolbarKey("Italic");
    EXPECT_FALSE(body()->font().italic());
}

TEST_F(ComposeMenusTest, KeysOutsideTheTableDoNothing) {
    body()->setPlainText("text");
    commands().runToolbarKey("Save");
    commands().runToolbarKey("SaveAs");
    commands().runToolbarKey("new");
    EXPECT_EQ(dialogs.fileDialogsShown(), 0);
    EXPECT_EQ(body()->toPlainText(), "text");
}

TEST_F(ComposeMenusTest, EditMenuWorksOnTheBody) {
    body()->setPlainText("一二三\n四五");
    trigger("mall");
    EXPECT_EQ(selectionLength(*body()), 6);
    trigger("mcopy");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "一二三\n四五");
    EXPECT_EQ(selectionStart(*body()), 6);
    trigger("matamajump");
    EXPECT_EQ(selectionStart(*body()), 0);
    QGuiApplication::clipboard()->setText("  挨拶 ");
    trigger("mpaste");
    EXPECT_EQ(body()->toPlainText(), "挨拶一二三\n四五");
    trigger("mbunmatujump");
    EXPECT_EQ(selectionStart(*body()), 8);
    setSelection(*body(), 0, 2);
    trigger("mcut");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "挨拶");
    EXPECT_EQ(body()->toPlainText(), "一二三\n四五");
}

TEST_F(ComposeMenusTest, NewSavesWhatTheViewerMarkedAndStartsAnEmptyDocument) {
    std::filesystem::create_directory(folder.path() / "docs");
    const auto old = folder.path() / "docs/old.txt";
    app->editor.CurrentDocumentPath = QString::fromStdString(old.string());
    app->editor.DocumentModified = true;
    body()->setPlainText("下書き");
    trigger("mnew");
    EXPECT_EQ(cp932ToUtf8(readFileBytes(old)), "下書き");
    EXPECT_EQ(body()->toPlainText(), "");
    EXPECT_EQ(form().windowTitle(),
              "新規作成.TXT      " +
                  QString::fromStdString((folder.path() / "docs/新規作成.TXT").string()));
}

TEST_F(ComposeMenusTest, OpenFillsTheBodyAndEndClosesWithoutSending) {
    const auto file = folder.path() / "letter.txt";
    { std::ofstream(file, std::ios::binary) << "Dear\r\nfriend"; }
    dialogs.openNext(QString::fromStdString(file.string()));
    trigger("mopen");
    EXPECT_EQ(body()->toPlainText(), "Dear\nfriend\n");
    trigger("mend");
    EXPECT_TRUE(composeClosed());
    EXPECT_TRUE(mail.sent.empty());
}

}  // namespace
}  // namespace tsubame::testing
