// Opening the viewer, the list, the boxes, the reader, the count and the click.
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextEdit>
#include <QTreeView>

#include "app/main_form.h"
#include "viewer/mail_list_model.h"
#include "viewer/tyaku_form.h"
#include "viewer/viewer_fixture.h"

namespace tsubame::testing {
namespace {

class ViewerOpenTest : public AppFolderTest {
  protected:
    QString cell(int row, int column) {
        return viewer().listModel().index(row, column).data().toString();
    }
    // A real click: press and release on the row's cell, as the user would.
    void clickRow(int row) {
        QTreeView* list = viewer().mailList();
        QPoint at = row < 0 ? QPoint(5, list->viewport()->height() - 3)
                            : list->visualRect(list->model()->index(row, 0)).center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(list->viewport(), &event);
        }
    }
};

TEST_F(ViewerOpenTest, ThreeRecordsListInOrderAndShowTheLast) {
    addRecord("最初の件名", "a@example.jp", "Mon, 1 Dec 2026", "一通目");
    addRecord("二番目", "b@example.jp", "Tue, 2 Dec 2026", "二通目");
    addRecord("  三番目  ", "c@example.jp", "Wed, 3 Dec 2026", "   三通目の本文\r\n二行目   ");
    viewer().openViewer();

    EXPECT_TRUE(viewer().isVisible());
    EXPECT_EQ(viewer().windowTitle(), QStringLiteral("着信履歴"));
    EXPECT_EQ(viewer().mailList()->palette().color(QPalette::Base), QColor(210, 250, 250));
    ASSERT_EQ(viewer().listRowCount(), 3);
    EXPECT_EQ(cell(0, 0).trimmed(), QStringLiteral("最初の件名"));
    EXPECT_EQ(cell(1, 1).trimmed(), QStringLiteral("b@example.jp"));
    EXPECT_EQ(cell(2, 2).trimmed(), QStringLiteral("Wed, 3 Dec 2026"));
    EXPECT_EQ(viewer().countBox()->text(), QStringLiteral("3"));
    EXPECT_EQ(viewer().subjectBox()->text(), QStringLiteral("三番目"));
    EXPECT_EQ(viewer().fromBox()->text(), QStringLiteral("c@example.jp"));
    EXPECT_EQ(viewer().dateBox()->text(), QStringLiteral("Wed, 3 Dec 2026"));
    EXPECT_EQ(viewer().reader()->toPlainText(), QStringLiteral("三通目の本文\n二行目"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("三通目の本文\n二行目"));
    // The shared buffer holds the last record (the reply window reads it).
    EXPECT_EQ(cp932ToUtf8(app_->recordBuffer.subject()), "三番目");
    EXPECT_EQ(viewer().listModel().headerData(0, Qt::Horizontal).toString(), "Subject");
    EXPECT_EQ(viewer().listModel().headerData(1, Qt::Horizontal).toString(), "From");
    EXPECT_EQ(viewer().listModel().headerData(2, Qt::Horizontal).toString(), "Date");
}

TEST_F(ViewerOpenTest, CountIsMirroredIntoTheMainWindow) {
    MainForm main(*app_);
    addNumberedRecords(3);
    viewer().openViewer();
    EXPECT_EQ(main.storedMailCount(), QStringLiteral("3"));
}

TEST_F(ViewerOpenTest, CellsKeepTrailingBlanksBoxesDoNot) {
    // A field written directly with trailing blanks and a NUL inside the body.
    ReceivedMailRecord record;
    record.fill("Subject", "Date", "From", "visible");
    std::string body = "before";
    body.push_back('\0');
    body += "after";
    std::copy(body.begin(), body.end(), record.bytes.begin() + ReceivedMailRecord::kBodyOffset);
    ASSERT_TRUE(store().append(record).ok());
    viewer().openViewer();
    EXPECT_EQ(cell(0, 0), QString("Subject").leftJustified(100, ' '));
    EXPECT_EQ(viewer().subjectBox()->text(), QStringLiteral("Subject"));
    EXPECT_EQ(viewer().reader()->toPlainText(), QStringLiteral("before"));
}

TEST_F(ViewerOpenTest, EmptyStoreKeepsTheBoxes) {
    viewer().subjectBox()->setText("earlier");
    viewer().reader()->setPlainText("earlier body");
    viewer().openViewer();
    EXPECT_EQ(viewer().listRowCount(), 0);
    EXPECT_EQ(viewer().countBox()->text(), QStringLiteral("0"));
    EXPECT_EQ(viewer().reader()->toPlainText(), QString());
    EXPECT_EQ(viewer().subjectBox()->text(), QStringLiteral("earlier"));
}

TEST_F(ViewerOpenTest, OpeningTwiceDoesNotDuplicateRows) {
    addNumberedRecords(2);
    viewer().openViewer();
    viewer().openViewer();
    EXPECT_EQ(viewer().listRowCount(), 2);
    EXPECT_EQ(viewer().countBox()->text(), QStringLiteral("2"));
}

TEST_F(ViewerOpenTest, TrailingPartialRecordIsNotListed) {
    addNumberedRecords(2);
    {
        std::ofstream out(storePath(), std::ios::binary | std::ios::app);
        out << std::string(20000, 'x');  // more than half a record: counts as 3 when rounded
    }
    viewer().openViewer();
    EXPECT_EQ(viewer().listRowCount(), 2);
    EXPECT_EQ(viewer().countBox()->text(), QStringLiteral("2"));
    EXPECT_EQ(viewer().subjectBox()->text(), QStringLiteral("件名2"));
}

TEST_F(ViewerOpenTest, AStoreCutShortWhileTheLastMailIsShownListsAndShowsWhatIsLeft) {
    addNumberedRecords(3);
    // Another process cuts the store to one record just as the reader takes the last body.
    QObject::connect(viewer().reader(), &QTextEdit::textChanged, [this] {
        if (!viewer().reader()->toPlainText().isEmpty())
            std::filesystem::resize_file(storePath(), ReceivedMailRecord::kSize);
    });
    viewer().openViewer();
    EXPECT_EQ(viewer().listRowCount(), 1);
    EXPECT_EQ(viewer().countBox()->text(), QStringLiteral("1"));
    EXPECT_EQ(viewer().subjectBox()->text(), QStringLiteral("件名1"));
    EXPECT_EQ(viewer().reader()->toPlainText(), QStringLiteral("本文1\n二行目"));
}

TEST_F(ViewerOpenTest, ClipboardGetsTheBodyAsTheReaderHoldsIt) {
    addRecord("件名", "a@example.jp", "Mon, 1 Dec 2026", "  一行目\r二行目\r\n三行目  ");
    viewer().openViewer();
    const QString shown = QStringLiteral("一行目\n二行目\n三行目");  // a lone CR breaks the line
    EXPECT_EQ(viewer().reader()->toPlainText(), shown);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), shown);
}

TEST_F(ViewerOpenTest, ReaderScrollBarComesOnlyWithALongBody) {
    addRecord("短い", "a@example.jp", "Mon, 1 Dec 2026", "一行");
    std::string longBody;
    for (int i = 0; i < 200; ++i) longBody += "長い本文の行\r\n";
    addRecord("長い", "a@example.jp", "Mon, 1 Dec 2026", longBody);
    viewer().openViewer();
    const QScrollBar* bar = viewer().reader()->verticalScrollBar();
    EXPECT_EQ(viewer().reader()->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    EXPECT_TRUE(bar->isVisible());
    clickRow(0);
    EXPECT_FALSE(bar->isVisible());
}

TEST_F(ViewerOpenTest, ClickShowsTheClickedRecordAndSetsTheFlag) {
    addNumberedRecords(3);
    viewer().openViewer();
    EXPECT_EQ(viewer().selectionFlag(), QString());
    clickRow(1);
    EXPECT_EQ(viewer().selectionFlag(), QStringLiteral("1"));
    EXPECT_EQ(viewer().selectedRecord(), 2);
    EXPECT_EQ(viewer().subjectBox()->text(), QStringLiteral("件名2"));
    EXPECT_EQ(viewer().fromBox()->text(), QStringLiteral("from2@example.jp"));
    EXPECT_EQ(viewer().reader()->toPlainText(), QStringLiteral("本文2\n二行目"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("本文2\n二行目"));
    EXPECT_EQ(cp932ToUtf8(app_->recordBuffer.subject()), "件名2");
    EXPECT_TRUE(dialogs_.boxes().empty());
}

TEST_F(ViewerOpenTest, ClickOnAnEmptyListSaysSoAndSetsTheFlag) {
    viewer().openViewer();
    clickRow(-1);
    EXPECT_EQ(viewer().selectionFlag(), QStringLiteral("1"));
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_EQ(dialogs_.boxes()[0].text, QStringLiteral("選択するデータがありません。"));
    EXPECT_EQ(dialogs_.boxes()[0].buttons, BoxButtons::Ok);
}

TEST_F(ViewerOpenTest, HelpBoxIsOutOfSightWhenHelpIsOff) {
    MainForm main(*app_);  // help option unchecked
    ASSERT_FALSE(main.showHelpChecked());
    EXPECT_EQ(viewer().helpBox()->y(), -4000 / 15);
    EXPECT_EQ(viewer().reader()->pos(), QPoint(1, 260));
}

TEST_F(ViewerOpenTest, UnreadableDocumentOffersRetryThenGoesOn) {
    app_->editor.CurrentDocumentPath = QString::fromStdString((folder_ / "missing.txt").string());
    dialogs_.answerNext(BoxAnswer::Ok);      // retry: fails again
    dialogs_.answerNext(BoxAnswer::Cancel);  // go on without the document
    TyakuForm& form = viewer();
    ASSERT_EQ(dialogs_.boxes().size(), 2u);
    EXPECT_EQ(dialogs_.boxes()[0].title, kApplicationTitle + QStringLiteral("  Form_LoadError"));
    EXPECT_EQ(dialogs_.boxes()[0].text, QString());
    EXPECT_EQ(dialogs_.boxes()[0].buttons, BoxButtons::OkCancel);
    EXPECT_EQ(dialogs_.boxes()[0].icon, BoxIcon::Exclamation);
    EXPECT_TRUE(form.reader()->isVisibleTo(&form));
    EXPECT_FALSE(app_->editor.DocumentModified);
}

TEST_F(ViewerOpenTest, DocumentIsLoadedIntoTheReaderUnmodified) {
    const auto path = folder_ / "doc.txt";
    std::ofstream(path, std::ios::binary) << utf8ToCp932("文書の中身");
    app_->editor.CurrentDocumentPath = QString::fromStdString(path.string());
    EXPECT_EQ(viewer().reader()->toPlainText(), QStringLiteral("文書の中身"));
    EXPECT_FALSE(app_->editor.DocumentModified);
    viewer().openViewer();  // any change of the reader's text marks the document
    EXPECT_TRUE(app_->editor.DocumentModified);
}

TEST(LeadingNumberTest, ReadsTheLeadingNumberOnly) {
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_EQ(leadingNumber("abc"), 0);
    EXPECT_EQ(leadingNumber("12abc"), 12);
    EXPECT_EQ(leadingNumber("  7"), 7);
    EXPECT_EQ(leadingNumber("0"), 0);
}

}  // namespace
}  // namespace tsubame::testing
