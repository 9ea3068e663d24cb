// The viewer's menus, toolbar, layout and hover help.
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTextEdit>
#include <QToolBar>

#include "ui/header_painter.h"
#include "viewer/actions_fixture.h"

namespace tsubame::testing {
namespace {

class ViewerMenusTest : public ViewerCommandsTest {
  protected:
    QStringList entries(const char* menuName) {
        QStringList list;
        for (QAction* a : control<QMenu>(menuName)->actions())
            list << (a->isSeparator() ? QString("-") + a->objectName()
                                      : a->objectName() + ":" + a->text());
        return list;
    }
    QRect twips(QWidget* w) {
        return QRect(w->x() * 15, w->y() * 15, w->width() * 15, w->height() * 15);
    }
};

TEST_F(ViewerMenusTest, MenusHoldTheirEntriesInOrder) {
    EXPECT_EQ(control<QMenu>("mFile")->title(), "ファイル(&F)");
    EXPECT_EQ(entries("mFile"),
              QStringList({"mnew:新規作成", "mopen:開く", "msave:名前を付けて保存", "mprint:印刷",
                           "mtenpufolder:添付フォルダを開く", "moriginal:元のメールを開く",
                           "-mline", "mend:終了"}));
    EXPECT_EQ(control<QMenu>("medit")->title(), "編集(&E)");
    EXPECT_EQ(entries("medit"), QStringList({"mall:全て選択", "matamajump:文頭へジャンプ",
                                             "mbunmatujump:文末へジャンプ", "-mline2",
                                             "mkensaku:検索", "mtugikensaku:次を検索",
                                             "mcut:切り取り", "mcopy:コピー", "mpaste:貼り付け"}));
}

TEST_F(ViewerMenusTest, ToolbarButtonsCarryKeysAndTips) {
    QStringList buttons;
    for (QAction* a : control<QToolBar>("tbToolBar")->actions())
        buttons << a->data().toString() + ":" + a->toolTip();
    EXPECT_EQ(buttons, QStringList({"New:新規作成", "Open:開く", "Save:名前を付けて保存",
                                    "Print:印刷", "Cut:切り取り", "Copy:ｺﾋﾟｰ", "Paste:貼り付け",
                                    "Bold:太字", "Italic:斜体", "Underline:下線"}));
}

TEST_F(ViewerMenusTest, BoldContinuesFromTheSharedState) {
    commands().runToolbarKey("Bold");
    EXPECT_TRUE(viewer().reader()->font().bold());
    commands().runToolbarKey("Bold");
    EXPECT_FALSE(viewer().reader()->font().bold());
    app_->editor.BoldOn = true;  // as after one press in the compose window
    commands().runToolbarKey("Bold");
    EXPECT_FALSE(viewer().reader()->font().bold());
    EXPECT_FALSE(app_->editor.BoldOn);
    commands().runToolbarKey("bold");  // keys are exact
    EXPECT_FALSE(app_->editor.BoldOn);
}

TEST_F(ViewerMenusTest, NewFromTheToolbarStartsANewDocument) {
    std::filesystem::create_directories(folder_ / "docs");
    app_->editor.CurrentDocumentPath = QString::fromStdString((folder_ / "docs/a.txt").string());
    viewer().reader()->setPlainText("changed text");  // the viewer marks the document modified
    ASSERT_TRUE(app_->editor.DocumentModified);
    commands().runToolbarKey("New");
    EXPECT_EQ(readFileBytes(folder_ / "docs/a.txt"), "changed text");
    EXPECT_TRUE(std::filesystem::exists(folder_ / "docs/新規作成.TXT"));
    EXPECT_EQ(viewer().reader()->toPlainText(), "");
    EXPECT_EQ(
        viewer().windowTitle(),
        "新規作成.TXT      " + QString::fromStdString((folder_ / "docs/新規作成.TXT").string()));
}

TEST_F(ViewerMenusTest, OpenFromTheMenuFillsTheReader) {
    { std::ofstream(folder_ / "in.txt", std::ios::binary) << "line"; }
    dialogs_.openNext(QString::fromStdString((folder_ / "in.txt").string()));
    action("mopen")->trigger();
    EXPECT_EQ(viewer().reader()->toPlainText(), "line\n");
}

TEST_F(ViewerMenusTest, ResizingTo10000By8000TwipsPlacesTheControls) {
    viewer().reader()->move(1, 260);  // where the load step puts it: 20 twips from the left
    commands().layoutForSize(10000, 8000, false);
    EXPECT_EQ(twips(viewer().mailList()).size(), QSize(9900, 1995));  // 2000 twips, in pixels
    EXPECT_EQ(viewer().subjectBox()->y() * 15, 2940);
    EXPECT_EQ(viewer().fromBox()->y(), viewer().subjectBox()->y());
    EXPECT_EQ(viewer().dateBox()->y(), viewer().subjectBox()->y());
    EXPECT_EQ(viewer().subjectBox()->x(), 0);  // reader left − 15 twips
    EXPECT_EQ(viewer().subjectBox()->width() * 15, 4995);
    EXPECT_EQ(viewer().fromBox()->x(), viewer().subjectBox()->x() + viewer().subjectBox()->width());
    EXPECT_EQ(viewer().fromBox()->width() * 15, 3000);
    EXPECT_EQ(viewer().dateBox()->x(), viewer().fromBox()->x() + viewer().fromBox()->width());
    EXPECT_EQ(viewer().dateBox()->x() + viewer().dateBox()->width(), 667);  // 10000 twips
    EXPECT_EQ(twips(viewer().reader()), QRect(15, 3300, 9900, 3720));
    EXPECT_EQ(control<QWidget>("Picture1")->width(), 667);
}

TEST_F(ViewerMenusTest, TheLayoutInTwipsMatchesTheDesignedRules) {
    ViewerPlaces p;
    p.reader.left = 20;
    p.copyButton.left = 1920;
    p.statusBar = {0, 6945, 9345, 375};
    ViewerPlaces out = viewerLayout(p, 10000, 8000, false);
    EXPECT_DOUBLE_EQ(out.list.width, 9900);
    EXPECT_DOUBLE_EQ(out.list.height, 2000);
    EXPECT_DOUBLE_EQ(out.subject.top, 2940);
    EXPECT_DOUBLE_EQ(out.subject.left, 5);
    EXPECT_DOUBLE_EQ(out.from.left, 5005);
    EXPECT_DOUBLE_EQ(out.date.left, 8005);
    EXPECT_DOUBLE_EQ(out.date.width, 2000);
    EXPECT_DOUBLE_EQ(out.reader.top, 3300);
    EXPECT_DOUBLE_EQ(out.reader.height, 3720);
    EXPECT_DOUBLE_EQ(out.copyBox.left, 5300);  // from the copy button's place before the move
    EXPECT_DOUBLE_EQ(out.copyButton.left, 1880);
    EXPECT_DOUBLE_EQ(out.copyButton.top, 7025);
    ViewerPlaces maximized = viewerLayout(p, 10000, 8000, true);
    EXPECT_DOUBLE_EQ(maximized.copyBox.top, 7000);
    EXPECT_DOUBLE_EQ(maximized.copyButton.top, 7020);
}

TEST_F(ViewerMenusTest, AResizeOfTheShownWindowRunsTheLayout) {
    viewer().show();
    viewer().resize(800, 600);
    QCoreApplication::processEvents();
    const QSize outer = viewer().frameGeometry().size();
    EXPECT_NEAR(viewer().mailList()->width(), outer.width() * 0.99, 1.0);
    EXPECT_NEAR(viewer().mailList()->height(), outer.height() * 0.25, 1.0);
    EXPECT_EQ(viewer().mailList()->columnWidth(1), viewer().mailList()->width() / 4);
    QWidget* statusBar = control<QWidget>("StatusBar1");
    EXPECT_EQ(statusBar->y() + statusBar->height(), viewer().centralWidget()->height());
}

TEST_F(ViewerMenusTest, HoverHelpExplainsTheButtonsAndTheListHidesIt) {
    QTextEdit* help = viewer().helpBox();
    moveOver(control<QWidget>("Command6"));
    EXPECT_TRUE(help->isVisibleTo(&viewer()));
    EXPECT_EQ(help->toPlainText(), "受信したメール全件削除します。");
    moveOver(control<QWidget>("Command1"));
    EXPECT_TRUE(help->toPlainText().endsWith("\n\nコピーされる内容は右の欄に反映されます。"));
    moveOver(viewer().reader()->viewport());
    EXPECT_FALSE(help->isVisibleTo(&viewer()));
    EXPECT_FALSE(help->toPlainText().isEmpty());
    moveOver(control<QWidget>("Text1"));
    EXPECT_TRUE(help->toPlainText().startsWith("検索したい文字を入力し"));
    moveOver(viewer().mailList()->viewport());
    EXPECT_FALSE(help->isVisibleTo(&viewer()));
    EXPECT_EQ(help->toPlainText(), "");
    EXPECT_TRUE(control<QPushButton>("Command1")->styleSheet().contains("#808080"));
}

TEST_F(ViewerMenusTest, TheListHeaderHasTheProgramsPainter) {
    EXPECT_NE(qobject_cast<HeaderPainter*>(viewer().mailList()->header()->style()), nullptr);
}

}  // namespace
}  // namespace tsubame::testing
