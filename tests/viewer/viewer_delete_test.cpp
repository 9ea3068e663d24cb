// Deleting one mail and all mails from the viewer, with the store's compaction.
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTextEdit>
#include <QTreeView>
#include <cerrno>

#include "app/main_form.h"
#include "core/file_io.h"
#include "viewer/mail_list_model.h"
#include "viewer/tyaku_form.h"
#include "viewer/viewer_fixture.h"

namespace tsubame::testing {
namespace {

class ViewerDeleteTest : public AppFolderTest {
  protected:
    std::filesystem::path tempPath() const { return app_->paths().receivedTemp(); }
};

TEST_F(ViewerDeleteTest, DeletingRowTwoKeepsRecordsOneAndThree) {
    MainForm main(*app_);
    addNumberedRecords(3);
    openAndSelect(2);
    dialogs_.answerNext(BoxAnswer::Yes);
    viewer().deleteSelectedMail();

    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_EQ(dialogs_.boxes()[0].text,
              QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"));
    EXPECT_EQ(dialogs_.boxes()[0].title, QStringLiteral("確認"));
    EXPECT_EQ(dialogs_.boxes()[0].buttons, BoxButtons::YesNo);
    EXPECT_EQ(dialogs_.boxes()[0].icon, BoxIcon::Question);
    EXPECT_EQ(storeSize(), 64568u);
    EXPECT_EQ(storedSubject(1), "件名1");
    EXPECT_EQ(storedSubject(2), "件名3");
    EXPECT_FALSE(std::filesystem::exists(tempPath()));
    EXPECT_EQ(viewer().listRowCount(), 2);
    EXPECT_EQ(viewer().listModel().index(1, 0).data().toString().trimmed(), "件名3");
    EXPECT_EQ(viewer().countBox()->text(), QStringLiteral("2"));
    EXPECT_EQ(main.storedMailCount(), QStringLiteral("2"));
    EXPECT_EQ(viewer().subjectBox()->text().trimmed(), QStringLiteral("件名3"));
    EXPECT_EQ(viewer().reader()->toPlainText(), QStringLiteral("本文3\n二行目"));
    EXPECT_EQ(viewer().selectionFlag(), QString());
    EXPECT_EQ(app_->CurrentRecord, 2);
}

// The list reads the rows it draws when they are drawn: rows far below the first ones list
// right, before and after one of them is deleted.
TEST_F(ViewerDeleteTest, FarRowsListTheStoresRecordsAroundADeletion) {
    const int rows = static_cast<int>(MailListModel::kRowsRead) * 2;
    addNumberedRecords(rows);
    openAndSelect(rows - 10);
    EXPECT_EQ(viewer().subjectBox()->text().trimmed().toStdString(), storedSubject(rows - 10));
    dialogs_.answerNext(BoxAnswer::Yes);
    viewer().deleteSelectedMail();
    EXPECT_EQ(storedSubject(rows - 10), "件名" + std::to_string(rows - 9));
    for (int row : {1, rows - 11, rows - 10, rows - 1, 2, rows / 2})
        EXPECT_EQ(viewer().listModel().index(row - 1, 0).data().toString().trimmed().toStdString(),
                  storedSubject(row));
}

// A deleted record's kept original is forgotten with it; the others' stay.
TEST_F(ViewerDeleteTest, DeletingARecordForgetsItsKeptOriginal) {
    addNumberedRecords(2);
    const std::vector<ReceivedMailRecord> records = store().readAll();
    const KeptOriginal link{"a.eml", "s", "f", "d", "b"};
    for (const ReceivedMailRecord& record : records)
        ASSERT_TRUE(writeKeptOriginal(app_->paths().keptOriginals(), record, link).ok());
    openAndSelect(2);
    dialogs_.answerNext(BoxAnswer::Yes);
    viewer().deleteSelectedMail();
    for (int n : {0, 1})
        EXPECT_EQ(readKeptOriginal(app_->paths().keptOriginals(), records[n]).has_value(), n == 0);
    dialogs_.answerNext(BoxAnswer::Yes);
    viewer().deleteAllMail();
    EXPECT_FALSE(std::filesystem::exists(app_->paths().keptOriginals()));
}

TEST_F(ViewerDeleteTest, AnsweringNoLeavesTheStoreAndEmptiesTheReader) {
    addNumberedRecords(3);
    const std::string before = readFileBytes(storePath());
    openAndSelect(2);
    dialogs_.answerNext(BoxAnswer::No);
    viewer().deleteSelectedMail();
    EXPECT_EQ(readFileBytes(storePath()), before);
    EXPECT_EQ(viewer().reader()->toPlainText(), QString());
    EXPECT_EQ(viewer().selectionFlag(), QString());
    EXPECT_EQ(viewer().listRowCount(), 3);
}

TEST_F(ViewerDeleteTest, DeletingTheOnlyRecordEmptiesEverything) {
    addNumberedRecords(1);
    openAndSelect(1);
    dialogs_.answerNext(BoxAnswer::Yes);
    viewer().deleteSelectedMail();
    EXPECT_TRUE(std::filesystem::exists(storePath()));
    EXPECT_EQ(storeSize(), 0u);
    EXPECT_EQ(viewer().listRowCount(), 0);
    EXPECT_EQ(viewer().countBox()->text(), QStringLiteral("0"));
    EXPECT_EQ(viewer().subjectBox()->text(), QString());
    EXPECT_EQ(viewer().fromBox()->text(), QString());
    EXPECT_EQ(viewer().dateBox()->text(), QString());
    EXPECT_EQ(viewer().reader()->toPlainText(), QString());
}

TEST_F(ViewerDeleteTest, WithoutASelectionNothingIsDeleted) {
    addNumberedRecords(2);
    viewer().openViewer();
    viewer().deleteSelectedMail();  // flag empty
    ASSERT_EQ(dialogs_.boxTexts().size(), 1u);
    EXPECT_EQ(dialogs_.boxTexts()[0], QStringLiteral("データが選択されていません"));
    EXPECT_EQ(store().count(), 2);
}

TEST_F(ViewerDeleteTest, FlagSetByAClickOnAnEmptyListDeletesNothing) {
    viewer().openViewer();
    viewer().showSelectedMail();  // the click on an empty list sets the flag
    dialogs_.clear();
    addNumberedRecords(1);  // a record the list does not show
    viewer().deleteSelectedMail();
    ASSERT_EQ(dialogs_.boxTexts().size(), 1u);
    EXPECT_EQ(dialogs_.boxTexts()[0], QStringLiteral("データが選択されていません"));
    EXPECT_EQ(store().count(), 1);
}

TEST_F(ViewerDeleteTest, FailedCompactionKeepsEveryRecordAndSaysSo) {
    addNumberedRecords(3);
    const std::string before = readFileBytes(storePath());
    openAndSelect(2);
    dialogs_.answerNext(BoxAnswer::Yes);
    injectFault(FaultKind::Rename, 1, ENOSPC);
    viewer().deleteSelectedMail();
    clearInjectedFaults();
    EXPECT_EQ(readFileBytes(storePath()), before);
    ASSERT_EQ(dialogs_.boxes().size(), 2u);
    EXPECT_EQ(dialogs_.boxes()[1].title, QStringLiteral("エラー"));
    EXPECT_EQ(viewer().listRowCount(), 3);
    EXPECT_EQ(viewer().countBox()->text(), QStringLiteral("3"));
    EXPECT_FALSE(std::filesystem::exists(tempPath()));
}

TEST_F(ViewerDeleteTest, DeletingAllEmptiesTheStoreAndKeepsTheFlag) {
    MainForm main(*app_);
    addNumberedRecords(3);
    openAndSelect(1);
    dialogs_.clear();
    dialogs_.answerNext(BoxAnswer::Yes);
    viewer().deleteAllMail();
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_EQ(dialogs_.boxes()[0].text, QStringLiteral("すべてのデータを削除して良いですか？"));
    EXPECT_EQ(dialogs_.boxes()[0].title, QStringLiteral("確認"));
    EXPECT_EQ(dialogs_.boxes()[0].buttons, BoxButtons::YesNoDefaultNo);  // Enter keeps the mail
    EXPECT_TRUE(std::filesystem::exists(storePath()));
    EXPECT_EQ(storeSize(), 0u);
    EXPECT_FALSE(std::filesystem::exists(tempPath()));
    EXPECT_EQ(viewer().listRowCount(), 0);
    EXPECT_EQ(viewer().countBox()->text(), QStringLiteral("0"));
    EXPECT_EQ(main.storedMailCount(), QStringLiteral("0"));
    EXPECT_EQ(viewer().subjectBox()->text(), QString());
    EXPECT_EQ(viewer().reader()->toPlainText(), QString());
    EXPECT_EQ(viewer().selectionFlag(), QStringLiteral("1"));
}

TEST_F(ViewerDeleteTest, DeletingAllOnAnEmptyStore) {
    viewer().openViewer();
    dialogs_.answerNext(BoxAnswer::Yes);
    viewer().deleteAllMail();
    EXPECT_EQ(storeSize(), 0u);
    EXPECT_EQ(viewer().countBox()->text(), QStringLiteral("0"));
}

TEST_F(ViewerDeleteTest, DecliningDeleteAllChangesNothing) {
    addNumberedRecords(2);
    viewer().openViewer();
    dialogs_.answerNext(BoxAnswer::No);
    viewer().deleteAllMail();
    EXPECT_EQ(store().count(), 2);
    EXPECT_EQ(viewer().listRowCount(), 2);
    EXPECT_EQ(viewer().subjectBox()->text(), QStringLiteral("件名2"));
}

}  // namespace
}  // namespace tsubame::testing
