// Saving, copying, registering and answering the message shown in the viewer.
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTextEdit>

#include "addressbook/friend_form.h"
#include "reply/back_form.h"
#include "viewer/actions_fixture.h"
#include "viewer/quick_save.h"

namespace tsubame::testing {
namespace {

class ViewerActionsTest : public ViewerCommandsTest {
  protected:
    // One stored message, shown and selected in the list.
    void showOneMessage(const std::string& subject = "会議の件") {
        addRecord(subject, "taro@example.jp", "Mon, 7 Dec 2026 09:00:00 +0900",
                  "本文一行目\r\n二行目");
        viewer().openViewer();
        clickRow(0);
    }
    void click(const char* name) { control<QPushButton>(name)->click(); }
    std::filesystem::path saved(const std::string& name) const { return quickSaveFolder() / name; }
};

TEST_F(ViewerActionsTest, QuickSaveWritesTheFourLabelledLinesAndShowsThem) {
    showOneMessage();
    click("Command2");
    const std::string expected = utf8ToCp932(
        "Subject:  会議の件\r\nFrom:  taro@example.jp\r\nDate:  Mon, 7 Dec 2026 09:00:00 "
        "+0900\r\nBody:  本文一行目\r\n二行目\r\n");
    EXPECT_EQ(readFileBytes(saved("会議の件.txt")), expected);
    EXPECT_EQ(viewer().reader()->toPlainText(),
              "Subject:  会議の件\nFrom:  taro@example.jp\nDate:  Mon, 7 Dec 2026 09:00:00 "
              "+0900\nBody:  本文一行目\n二行目");
    EXPECT_EQ(viewer().selectionFlag(), "");
    EXPECT_TRUE(dialogs_.boxes().empty());
}

TEST_F(ViewerActionsTest, QuickSaveOfAnExistingFileAnsweredNoChangesNothing) {
    showOneMessage();
    { std::ofstream(saved("会議の件.txt"), std::ios::binary) << "keep me"; }
    const QString before = viewer().reader()->toPlainText();
    dialogs_.answerNext(BoxAnswer::No);
    click("Command2");
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_EQ(dialogs_.boxes()[0].text, "同名のファイルが既に存在します。上書きしますか？ ");
    EXPECT_EQ(dialogs_.boxes()[0].title, "確認");
    EXPECT_EQ(dialogs_.boxes()[0].buttons, BoxButtons::YesNo);
    EXPECT_EQ(dialogs_.boxes()[0].icon, BoxIcon::Question);
    EXPECT_EQ(readFileBytes(saved("会議の件.txt")), "keep me");
    EXPECT_EQ(viewer().reader()->toPlainText(), before);
    EXPECT_EQ(viewer().selectionFlag(), "");
}

TEST_F(ViewerActionsTest, QuickSaveOverwritesWhenAnsweredYes) {
    showOneMessage();
    { std::ofstream(saved("会議の件.txt"), std::ios::binary) << "old"; }
    dialogs_.answerNext(BoxAnswer::Yes);
    click("Command2");
    EXPECT_EQ(readFileBytes(saved("会議の件.txt")).rfind("Subject:  ", 0), 0u);
}

TEST_F(ViewerActionsTest, TheExistenceTestIsExactNotAPattern) {
    showOneMessage("a*");
    { std::ofstream(saved("abc.txt"), std::ios::binary) << "other"; }
    click("Command2");
    EXPECT_TRUE(dialogs_.boxes().empty());  // "abc.txt" does not count as "a*.txt"
    EXPECT_TRUE(std::filesystem::exists(saved("a*.txt")));
    EXPECT_EQ(readFileBytes(saved("abc.txt")), "other");
}

TEST_F(ViewerActionsTest, ASubjectCannotLeaveTheQuickSaveFolder) {
    showOneMessage("../../etc/x\\y\tz");
    click("Command2");
    EXPECT_TRUE(std::filesystem::exists(saved(".._.._etc_x_y_z.txt")));
    EXPECT_FALSE(std::filesystem::exists(folder_ / "etc"));
    EXPECT_EQ(quickSaveFileName(""), ".txt");
    const QString longName = quickSaveFileName(QString(200, u'長'));
    EXPECT_LE(longName.toUtf8().size(), 255);
    EXPECT_TRUE(longName.endsWith("長.txt"));
}

TEST_F(ViewerActionsTest, AMissingQuickSaveFolderIsReportedAndTheReaderStays) {
    showOneMessage();
    std::filesystem::remove_all(quickSaveFolder());
    const QString before = viewer().reader()->toPlainText();
    click("Command2");
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_TRUE(dialogs_.boxes()[0].text.startsWith("TextQuickSave に保存できませんでした。"));
    EXPECT_EQ(viewer().reader()->toPlainText(), before);
}

TEST_F(ViewerActionsTest, ActionsNeedAShownMail) {
    showOneMessage();
    dialogs_.answerNext(BoxAnswer::Yes);
    click("Command6");  // all deleted: nothing is shown any more
    dialogs_.clear();
    for (const char* button : {"Command2", "Command4", "Command5"}) click(button);
    ASSERT_EQ(dialogs_.boxes().size(), 3u);
    for (const auto& box : dialogs_.boxes()) {
        EXPECT_EQ(box.text, "データが選択されていません");
        EXPECT_EQ(box.buttons, BoxButtons::Ok);
    }
    EXPECT_EQ(app_->loadedReply(), nullptr);
    EXPECT_EQ(app_->loadedAddressBook(), nullptr);
}

TEST_F(ViewerActionsTest, SaveUnderAChosenNamePutsTheHeaderInFrontEachTime) {
    showOneMessage();
    dialogs_.saveNext(std::nullopt);
    action("msave")->trigger();
    const QString once = viewer().reader()->toPlainText();
    EXPECT_TRUE(once.startsWith("Subject:  会議の件\nFrom:  "));
    EXPECT_TRUE(once.endsWith("Body:  本文一行目\n二行目"));
    const QString file = QString::fromStdString((folder_ / "chosen.txt").string());
    dialogs_.saveNext(file);
    commands().runToolbarKey("SaveAs");
    EXPECT_EQ(viewer().reader()->toPlainText().count("Subject:  "), 2);
    EXPECT_EQ(
        readFileBytes(folder_ / "chosen.txt"),
        utf8ToCp932(viewer().reader()->toPlainText().replace("\n", "\r\n").toStdString() + "\r\n"));
    EXPECT_EQ(viewer().windowTitle(), file);
}

TEST_F(ViewerActionsTest, TheCopyButtonCopiesTheHeaderBoxLastPointedAt) {
    showOneMessage();
    moveOver(viewer().fromBox());
    EXPECT_EQ(control<QLineEdit>("Text6")->text(), "taro@example.jp");
    EXPECT_TRUE(control<QPushButton>("Command1")->styleSheet().contains("#0000ff"));
    click("Command1");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "taro@example.jp");
    moveOver(viewer().subjectBox());
    EXPECT_TRUE(control<QPushButton>("Command1")->styleSheet().contains("#ffff00"));
    moveOver(viewer().dateBox());
    click("Command1");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "Mon, 7 Dec 2026 09:00:00 +0900");
}

TEST_F(ViewerActionsTest, RegisteringTheSenderFillsTheAddressBook) {
    showOneMessage();
    viewer().fromBox()->setText(" taro@example.jp ");
    click("Command4");
    FriendForm* book = app_->loadedAddressBook();
    ASSERT_NE(book, nullptr);
    EXPECT_TRUE(book->isVisible());
    EXPECT_EQ(book->findChild<QLineEdit*>("Text4")->text(), " taro@example.jp ");
    EXPECT_EQ(viewer().selectionFlag(), "");
}

TEST_F(ViewerActionsTest, ReplyFillsTheReplyWindowWithTrimmedFields) {
    showOneMessage();
    viewer().subjectBox()->setText("  会議の件  ");
    click("Command5");
    BackForm* reply = app_->loadedReply();
    ASSERT_NE(reply, nullptr);
    EXPECT_TRUE(reply->isVisible());
    EXPECT_EQ(reply->findChild<QLineEdit*>("SubjectText")->text(), "Re:  会議の件");
    EXPECT_EQ(reply->findChild<QLineEdit*>("ToText")->text(), "taro@example.jp");
    EXPECT_EQ(reply->findChild<QTextEdit*>("BodyText")->toPlainText(), "本文一行目\n二行目");
    EXPECT_EQ(viewer().selectionFlag(), "");
}

}  // namespace
}  // namespace tsubame::testing
