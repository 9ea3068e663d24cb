// The shown mail as the user meets it: header boxes from their start, list cells without the
// fields' padding, and the commands that act on the shown mail without a selected row.
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>

#include "addressbook/friend_form.h"
#include "reply/back_form.h"
#include "viewer/actions_fixture.h"

namespace tsubame::testing {
namespace {

const std::string kLongFrom = "\"山田 太郎 (営業部 第二課)\" <taro.yamada@sales.example.co.jp>";
const std::string kLongDate = "Thu, 24 Dec 2026 09:15:30 +0900";

class ShownMailTest : public ViewerCommandsTest {
  protected:
    void addMails() {
        addRecord("一番目の件名", kLongFrom, kLongDate, "本文1");
        addRecord("二番目の件名", kLongFrom, kLongDate, "本文2");
        addRecord("三番目の件名", kLongFrom, kLongDate, "本文3");
    }
    void expectBoxesShowTheirStart(const char* when) {
        for (QLineEdit* box : {viewer().subjectBox(), viewer().fromBox(), viewer().dateBox()}) {
            EXPECT_EQ(box->cursorPosition(), 0) << when << ": " << box->text().toStdString();
            EXPECT_EQ(box->text(), box->text().trimmed()) << when;
        }
        EXPECT_EQ(viewer().fromBox()->text().toStdString(), kLongFrom) << when;
        EXPECT_EQ(viewer().dateBox()->text().toStdString(), kLongDate) << when;
    }
    // The width a cell asks for as its delegate draws it.
    int drawnWidth(int row, int column) {
        QTreeView* list = viewer().mailList();
        QStyleOptionViewItem option;
        option.initFrom(list->viewport());
        option.font = list->font();
        option.fontMetrics = list->fontMetrics();
        const QModelIndex index = list->model()->index(row, column);
        return list->itemDelegateForIndex(index)->sizeHint(option, index).width();
    }
};

TEST_F(ShownMailTest, HeaderBoxesShowTheStartOfTheirTextTrimmed) {
    addMails();
    viewer().openViewer();
    expectBoxesShowTheirStart("after opening");
    clickRow(1);
    expectBoxesShowTheirStart("after a click");
    dialogs_.answerNext(BoxAnswer::Yes);
    control<QPushButton>("Command3")->click();
    expectBoxesShowTheirStart("after a deletion");
    viewer().stageMail("件名", QString::fromStdString(kLongFrom), QString::fromStdString(kLongDate),
                       "本文");
    EXPECT_EQ(viewer().fromBox()->cursorPosition(), 0) << "while a check stages a mail";
}

TEST_F(ShownMailTest, CellsAreDrawnWithoutPaddingAndAWholeDateFitsItsColumn) {
    addMails();
    viewer().openViewer();
    QTreeView* list = viewer().mailList();
    for (int column : {0, 2})
        EXPECT_LE(drawnWidth(0, column), list->columnWidth(column)) << "column " << column;
    EXPECT_GE(list->columnWidth(2),
              list->fontMetrics().horizontalAdvance(QString::fromStdString(kLongDate)));
}

TEST_F(ShownMailTest, ReplyQuickSaveAndRegisterNeedAMailChosenButNotASelectedRow) {
    addMails();
    viewer().openViewer();  // record 3 is shown, but none was chosen
    for (const char* button : {"Command5", "Command4", "Command2"}) {
        control<QPushButton>(button)->click();
        clickRow(2);
        viewer().mailList()->clearSelection();  // chosen, then the row lost its selection
        control<QPushButton>(button)->click();
    }
    EXPECT_EQ(dialogs_.boxTexts(), std::vector<QString>(3, "データが選択されていません"));
    dialogs_.clear();
    ASSERT_NE(app_->loadedReply(), nullptr);
    EXPECT_EQ(app_->loadedReply()->findChild<QLineEdit*>("SubjectText")->text(),
              "Re:  三番目の件名");
    ASSERT_NE(app_->loadedAddressBook(), nullptr);
    EXPECT_EQ(app_->loadedAddressBook()->findChild<QLineEdit*>("Text4")->text().toStdString(),
              kLongFrom);
    EXPECT_TRUE(std::filesystem::exists(quickSaveFolder() / "三番目の件名.txt"));
    // Deleting still needs a row.
    control<QPushButton>("Command3")->click();
    ASSERT_EQ(dialogs_.boxTexts(), std::vector<QString>{"データが選択されていません"});
    EXPECT_EQ(viewer().listRowCount(), 3);
}

}  // namespace
}  // namespace tsubame::testing
