#include "addressbook/friend_form.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>

#include "address_book_fixture.h"

namespace tsubame::testing {
namespace {

class FriendFormTest : public AddressBookTest {
  protected:
    FriendForm& open() {
        FriendForm& form = app->addressBook();
        form.show();
        return form;
    }
    QString text(const char* name) {
        return child<QLineEdit>(*app->loadedAddressBook(), name)->text();
    }
    void setText(const char* name, const QString& value) {
        child<QLineEdit>(*app->loadedAddressBook(), name)->setText(value);
    }
    void click(const char* name) { child<QPushButton>(*app->loadedAddressBook(), name)->click(); }
    QString status() { return child<QLabel>(*app->loadedAddressBook(), "Label7")->text(); }
    QTreeView& list() { return *child<QTreeView>(*app->loadedAddressBook(), "MailListView"); }
    QString cell(int row, int column) {
        return list().model()->index(row, column).data().toString();
    }
    void pressRow(int row) { clickRow(list(), list().model()->index(row, 0)); }
};

TEST_F(FriendFormTest, MissingStoreOpensAsEmptyListAndIsCreated) {
    open();
    EXPECT_EQ(list().model()->rowCount(), 0);
    EXPECT_EQ(text("Text3"), "0");
    EXPECT_TRUE(std::filesystem::exists(app->paths().addressStore()));
    EXPECT_EQ(list().model()->headerData(0, Qt::Horizontal).toString(), "Address");
    EXPECT_EQ(list().model()->headerData(1, Qt::Horizontal).toString(), "Name");
}

TEST_F(FriendFormTest, RegisteringTwiceStoresTwoIdenticalEntries) {
    open();
    setText("Text2", QStringLiteral("山田太郎"));
    setText("Text4", QStringLiteral("taro@example.com"));
    click("Command3");
    click("Command3");
    EXPECT_EQ(status(), QStringLiteral("　登録が完了しました。"));
    ASSERT_EQ(list().model()->rowCount(), 2);
    EXPECT_EQ(text("Text3"), "2");
    // Rows show the fields without the padding the store keeps.
    EXPECT_EQ(cell(1, 0), "taro@example.com");
    EXPECT_EQ(cell(1, 1), QStringLiteral("山田太郎"));
    EXPECT_EQ(text("Text4"), "taro@example.com");  // the boxes keep their text
    EXPECT_EQ(storedAddresses(),
              (std::vector<std::string>{"taro@example.com", "taro@example.com"}));
}

TEST_F(FriendFormTest, PressingARowFillsTheBoxesTrimmed) {
    addEntry("一郎", "one@example.com");
    addEntry("二郎", "two@example.com");
    open();
    setText("Text50", QStringLiteral("名刺"));
    pressRow(1);
    EXPECT_EQ(text("Text2"), QStringLiteral("二郎"));
    EXPECT_EQ(text("Text4"), "two@example.com");
    EXPECT_EQ(text("Text50"), QStringLiteral("名刺"));
    EXPECT_EQ(status(), QStringLiteral("　選択しました。"));
}

TEST_F(FriendFormTest, NameCardTrimsTheAddressAndWrapsItInAngleBrackets) {
    open();
    setText("Text4", QStringLiteral("  taro@example.com  "));
    setText("Text50", QStringLiteral("山田太郎"));
    click("Command38");
    EXPECT_EQ(text("Text4"), QStringLiteral("山田太郎<taro@example.com>"));
    EXPECT_TRUE(dialogs.boxes().empty());
    EXPECT_TRUE(app->addressStore().readAll().empty());  // nothing is stored by the button
}

TEST_F(FriendFormTest, NameCardLongerThanTheTypedLimitIsKept) {
    open();
    const QString address = QString(55, QLatin1Char('a')) + QStringLiteral("@example.com");
    setText("Text4", address);
    setText("Text50", QStringLiteral("山田太郎"));
    click("Command38");
    EXPECT_EQ(text("Text4"), QStringLiteral("山田太郎<") + address + QStringLiteral(">"));
}

TEST_F(FriendFormTest, NameCardNeedsAnAddressAndAName) {
    open();
    click("Command38");
    setText("Text4", "a@example.com");
    click("Command38");
    EXPECT_EQ(dialogs.boxTexts(),
              (std::vector<QString>{QStringLiteral("メールアドレスが入力されていません"),
                                    QStringLiteral("名詞が入力されていません")}));
    EXPECT_EQ(dialogs.boxes()[0].title, QString());  // the application's title
    EXPECT_EQ(text("Text4"), "a@example.com");
}

TEST_F(FriendFormTest, RemovingRowTwoOfThreeWithYes) {
    addEntry("one", "one@example.com");
    addEntry("two", "two@example.com");
    addEntry("three", "three@example.com");
    open();
    pressRow(1);
    setText("Text50", "card");
    dialogs.answerNext(BoxAnswer::Yes);
    click("Command4");
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_EQ(dialogs.boxes()[0].text,
              QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"));
    EXPECT_EQ(dialogs.boxes()[0].title, QStringLiteral("確認"));
    EXPECT_EQ(dialogs.boxes()[0].buttons, BoxButtons::YesNo);
    EXPECT_EQ(dialogs.boxes()[0].icon, BoxIcon::Question);
    EXPECT_EQ(storedAddresses(),
              (std::vector<std::string>{"one@example.com", "three@example.com"}));
    ASSERT_EQ(list().model()->rowCount(), 2);
    EXPECT_EQ(cell(1, 0).trimmed(), "three@example.com");
    EXPECT_EQ(text("Text3"), "2");
    EXPECT_EQ(status(), QStringLiteral("削除が完了しました"));
    EXPECT_EQ(text("Text2"), "");
    EXPECT_EQ(text("Text4"), "");
    EXPECT_EQ(text("Text50"), "");
}

TEST_F(FriendFormTest, AnsweringNoKeepsTheEntriesButClearsTheBoxes) {
    addEntry("one", "one@example.com");
    addEntry("two", "two@example.com");
    open();
    pressRow(0);
    dialogs.answerNext(BoxAnswer::No);
    click("Command4");
    EXPECT_EQ(storedAddresses(), (std::vector<std::string>{"one@example.com", "two@example.com"}));
    EXPECT_EQ(list().model()->rowCount(), 2);
    EXPECT_EQ(status(), QStringLiteral(" "));
    EXPECT_EQ(text("Text2"), "");
    EXPECT_EQ(text("Text4"), "");
}

TEST_F(FriendFormTest, RemovingWithoutASelectedRowRemovesNothing) {
    addEntry("one", "one@example.com");
    open();
    setText("Text4", "typed@example.com");
    click("Command4");
    EXPECT_EQ(dialogs.boxTexts(),
              (std::vector<QString>{QStringLiteral("データが選択されていません")}));
    EXPECT_EQ(storedAddresses(), (std::vector<std::string>{"one@example.com"}));
    EXPECT_EQ(text("Text4"), "typed@example.com");

    dialogs.clear();
    setText("Text4", "");
    pressRow(0);
    setText("Text4", "");
    click("Command4");  // the empty box is reported before anything else
    EXPECT_EQ(dialogs.boxTexts(),
              (std::vector<QString>{QStringLiteral("データが選択されていません")}));
    EXPECT_EQ(storedAddresses().size(), 1u);
}

TEST_F(FriendFormTest, PressOnEmptyListChangesNothing) {
    open();
    setText("Text4", "keep@example.com");
    QPoint inside(10, 10);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(inside),
                      list().viewport()->mapToGlobal(QPointF(inside)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list().viewport(), &press);
    EXPECT_EQ(text("Text4"), "keep@example.com");
    EXPECT_EQ(status(), "");
    EXPECT_TRUE(dialogs.boxes().empty());
}

TEST_F(FriendFormTest, PasteButtonsTakeTheClipboardAsItIs) {
    open();
    QGuiApplication::clipboard()->setText(QStringLiteral(" copied@example.com "));
    click("Command1");
    EXPECT_EQ(text("Text4"), QStringLiteral(" copied@example.com "));
    QGuiApplication::clipboard()->setText(QStringLiteral("花子"));
    click("Command5");
    EXPECT_EQ(text("Text2"), QStringLiteral("花子"));
}

TEST_F(FriendFormTest, HoverHelpFollowsThePointer) {
    FriendForm& form = open();
    auto* help = child<QPlainTextEdit>(form, "Text5");
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(child<QPushButton>(form, "Command4"), &enter);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->toPlainText(), QStringLiteral("不要になったメールアドレスを削除します。"));
    QApplication::sendEvent(child<QPushButton>(form, "Command38"), &enter);
    EXPECT_TRUE(help->toPlainText().startsWith(QStringLiteral("名詞の挿入を行います。")));
    EXPECT_TRUE(
        help->toPlainText().endsWith(QStringLiteral("\n\n必要なければ挿入する必要はありません。")));

    QPoint background(form.width() - 2, 2);
    QMouseEvent move(QEvent::MouseMove, QPointF(background), form.mapToGlobal(QPointF(background)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &move);
    EXPECT_FALSE(help->isVisible());
}

TEST_F(FriendFormTest, HelpBoxIsOutOfSightWhenHoverHelpIsOff) {
    FriendForm& form = open();
    EXPECT_LT(child<QPlainTextEdit>(form, "Text5")->y(), 0);
}

TEST_F(FriendFormTest, HelpBoxSitsOverTheListWhenHoverHelpIsOn) {
    ASSERT_TRUE(app->settingsFiles().writeWindowOption("NUMBER", 1));
    FriendForm& form = open();
    EXPECT_EQ(child<QPlainTextEdit>(form, "Text5")->y(), 3240 / 15);
}

TEST_F(FriendFormTest, TypingIsLimitedButProgramTextIsNot) {
    FriendForm& form = open();
    auto* name = child<QLineEdit>(form, "Text2");
    name->setFocus();
    for (int i = 0; i < 35; ++i) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(name, &key);
    }
    EXPECT_EQ(name->text().size(), 30);
    setText("Text2", QString(40, QLatin1Char('b')));
    EXPECT_EQ(text("Text2").size(), 40);
}

TEST_F(FriendFormTest, PasteIsCutToTheLimitInsteadOfRefused) {
    const QString a70(70, QLatin1Char('a'));
    struct Case {
        const char* box;
        QString before;
        int cursor;
        QString clipboard;
        QString expected;
    };
    const Case cases[] = {
        {"Text4", "", 0, a70, QString(60, QLatin1Char('a'))},
        {"Text4", "xy", 1, a70, "x" + QString(58, QLatin1Char('a')) + "y"},
        {"Text4", QString(60, QLatin1Char('z')), 60, "a", QString(60, QLatin1Char('z'))},
        {"Text2", "", 0, QString(35, QChar(0x82B1)), QString(30, QChar(0x82B1))},
    };
    FriendForm& form = open();
    for (const Case& c : cases) {
        auto* box = child<QLineEdit>(form, c.box);
        box->setText(c.before);
        box->setCursorPosition(c.cursor);
        QGuiApplication::clipboard()->setText(c.clipboard);
        QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier);
        QApplication::sendEvent(box, &paste);
        EXPECT_EQ(box->text(), c.expected) << c.box << " " << c.before.toStdString();
    }
}

}  // namespace
}  // namespace tsubame::testing
