#include <QClipboard>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QTextEdit>

#include "compose_fixture.h"

namespace tsubame::testing {
namespace {

QColor base(QWidget* widget) { return widget->palette().color(QPalette::Base); }

TEST_F(ComposeTest, OpensInSingleModeWithTheAddressListAndTheGreetings) {
    addEntry("一郎", "one@example.com");
    addEntry("二郎", "two@example.com");
    addEntry("三郎", "three@example.com");
    open();
    ASSERT_EQ(list("List1")->count(), 3);
    EXPECT_EQ(list("List1")->item(1)->text().trimmed(), QStringLiteral("二郎"));
    EXPECT_EQ(list("List1")->item(1)->text().size(), 90 - 2);  // 4 bytes of name, blanks kept
    EXPECT_EQ(box("Text1")->text(), "3");
    auto* combo = control<QComboBox>("Combo1");
    ASSERT_EQ(combo->count(), 8);
    EXPECT_EQ(combo->itemText(0), QStringLiteral("御社益々ご清祥の事とお慶び申し上げます。"));
    EXPECT_EQ(combo->itemText(7), QStringLiteral("こんにちわ。お変わりなく、お元気ですか？"));
    EXPECT_EQ(combo->currentText(), "");
    EXPECT_FALSE(form().toAllMode());
    EXPECT_TRUE(box("ToText")->isEnabled());
    EXPECT_FALSE(list("List2")->isVisible());
    EXPECT_EQ(form().windowTitle(), QStringLiteral("新規作成"));
    EXPECT_EQ(form().centralWidget()->width(), 9510 / 15);
    EXPECT_EQ(form().focusWidget(), control<QTextEdit>("rtfEd"));  // a key writes, not sends
}

TEST_F(ComposeTest, MissingAddressBookGivesAnEmptyList) {
    open();
    EXPECT_EQ(list("List1")->count(), 0);
    EXPECT_EQ(box("Text1")->text(), "0");
}

TEST_F(ComposeTest, ToAllQuestionAnsweredNoLeavesNeitherOptionAndRecipientDisabled) {
    open();
    box("ToText")->setText("typed@example.com");
    dialogs.answerNext(BoxAnswer::No);
    click("Option2");
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_EQ(dialogs.boxes()[0].title, QStringLiteral("確認"));
    EXPECT_TRUE(dialogs.boxes()[0].text.startsWith(QStringLiteral(
        "アドレス帳に登録しているメールアドレスすべてに同様の件名、本文で送信します。")));
    EXPECT_FALSE(control<QRadioButton>("Option1")->isChecked());
    EXPECT_FALSE(control<QRadioButton>("Option2")->isChecked());
    EXPECT_FALSE(form().toAllMode());
    EXPECT_FALSE(box("ToText")->isEnabled());
    EXPECT_EQ(box("ToText")->text(), "");
    EXPECT_EQ(base(box("ToText")), QColor(255, 255, 255));
    EXPECT_EQ(base(list("List1")), QColor(255, 255, 255));

    click("Option1");
    EXPECT_TRUE(box("ToText")->isEnabled());
    EXPECT_TRUE(control<QRadioButton>("Option1")->isChecked());
}

TEST_F(ComposeTest, ToAllAnsweredYesColoursTheFields) {
    open();
    dialogs.answerNext(BoxAnswer::Yes);
    click("Option2");
    EXPECT_TRUE(form().toAllMode());
    EXPECT_EQ(base(box("ToText")), QColor(213, 239, 255));
    EXPECT_EQ(base(list("List1")), QColor(0, 128, 0));
}

TEST_F(ComposeTest, ResetClearsTheMessageButKeepsToAllsDisabledRecipient) {
    open();
    dialogs.answerNext(BoxAnswer::Yes);
    click("Option2");
    box("SubjectText")->setText("subject");
    form().body()->setPlainText("body");
    box("AttachText")->setText("/tmp/a");
    control<QCheckBox>("Check1")->setChecked(true);
    click("Command11");
    EXPECT_FALSE(form().toAllMode());
    EXPECT_FALSE(box("ToText")->isEnabled());
    EXPECT_EQ(box("SubjectText")->text(), "");
    EXPECT_EQ(form().body()->toPlainText(), "");
    EXPECT_EQ(box("AttachText")->text(), "");
    EXPECT_FALSE(control<QCheckBox>("Check1")->isChecked());
    EXPECT_FALSE(control("Command9")->isEnabled());
    EXPECT_FALSE(control("Command10")->isEnabled());
    EXPECT_TRUE(control("AttachCommand")->isEnabled());
    EXPECT_EQ(base(list("List1")), QColor(255, 255, 255));
}

TEST_F(ComposeTest, ListButtonCounterLivesAcrossReopening) {
    open();
    click("Command16");
    EXPECT_EQ(control<QPushButton>("Command16")->text(), QStringLiteral("非表示"));
    EXPECT_TRUE(control("Command16")->styleSheet().contains("255, 255, 0"));
    EXPECT_FALSE(list("List2")->isVisible());
    form().close();
    ASSERT_TRUE(composeClosed());

    open();
    EXPECT_EQ(control<QPushButton>("Command16")->text(), QStringLiteral("リスト"));
    click("Command16");
    EXPECT_EQ(control<QPushButton>("Command16")->text(), QStringLiteral("表示"));
    EXPECT_TRUE(list("List2")->isVisible());
    click("Command16");
    EXPECT_EQ(control<QPushButton>("Command16")->text(), QStringLiteral("非表示"));
}

TEST_F(ComposeTest, ThreeAttachmentsAreJoinedByCommas) {
    open();
    dialogs.openNext(QStringLiteral("/data/a.txt"));
    dialogs.openNext(QStringLiteral("/data/b.pdf"));
    dialogs.openNext(QStringLiteral("/data/c.png"));
    click("AttachCommand");
    EXPECT_FALSE(control("AttachCommand")->isEnabled());
    EXPECT_TRUE(control("Command9")->isEnabled());
    click("Command9");
    click("Command9");
    EXPECT_EQ(box("AttachText")->text(), "/data/a.txt,/data/b.pdf,/data/c.png");
    ASSERT_EQ(list("List2")->count(), 3);
    EXPECT_EQ(list("List2")->item(2)->text(), "c.png");
    EXPECT_TRUE(list("List2")->isVisible());

    click("Command10");
    EXPECT_EQ(box("AttachText")->text(), "");
    EXPECT_EQ(list("List2")->count(), 0);
    EXPECT_FALSE(list("List2")->isVisible());
    EXPECT_FALSE(control("Command10")->isEnabled());
    EXPECT_TRUE(control("AttachCommand")->isEnabled());
}

TEST_F(ComposeTest, CancelledFirstPickLeavesOnlyTheAddButtonThatShowsTheList) {
    open();
    click("AttachCommand");  // unscripted dialog: cancelled
    EXPECT_EQ(box("AttachText")->text(), "");
    EXPECT_FALSE(control("AttachCommand")->isEnabled());
    EXPECT_TRUE(control("Command9")->isEnabled());
    click("Command9");
    EXPECT_EQ(dialogs.fileDialogsShown(), 1);
    EXPECT_TRUE(list("List2")->isVisible());
    EXPECT_EQ(list("List2")->count(), 0);
}

TEST_F(ComposeTest, AnEmptyChosenNameAddsNoAttachment) {
    open();
    dialogs.openNext(QString());
    click("AttachCommand");
    EXPECT_EQ(box("AttachText")->text(), "");
    EXPECT_EQ(list("List2")->count(), 0);
    box("AttachText")->setText(QStringLiteral("/data/a.txt"));
    dialogs.openNext(QString());
    click("Command9");
    EXPECT_EQ(box("AttachText")->text(), "/data/a.txt");
    EXPECT_EQ(list("List2")->count(), 0);
}

TEST_F(ComposeTest, InsertingAnAddressCutsAtSixtyThenTrims) {
    const std::string longAddress = std::string(58, 'x') + "   @example.com";
    addEntry("long", longAddress);
    addEntry("short", "  short@example.com");
    open();
    pressListRow(0);
    EXPECT_EQ(box("ToText")->text(), QString(58, QLatin1Char('x')));
    pressListRow(1);
    EXPECT_EQ(box("ToText")->text(), "short@example.com");
}

TEST_F(ComposeTest, InsertingWorksInToAllModeToo) {
    addEntry("one", "one@example.com");
    open();
    dialogs.answerNext(BoxAnswer::Yes);
    click("Option2");
    pressListRow(0);
    EXPECT_EQ(box("ToText")->text(), "one@example.com");
}

TEST_F(ComposeTest, StaleRowLeavesTheRecipientAlone) {
    addEntry("one", "one@example.com");
    addEntry("two", "two@example.com");
    open();
    ASSERT_TRUE(app->addressStore().remove(2, true));
    box("ToText")->setText("typed@example.com");
    pressListRow(1);
    EXPECT_EQ(box("ToText")->text(), "typed@example.com");
}

TEST_F(ComposeTest, PressOnAnEmptyListOnlyReportsNothingSelected) {
    open();
    box("ToText")->setText("typed@example.com");
    QPoint inside(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(inside),
                      list("List1")->viewport()->mapToGlobal(QPointF(inside)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list("List1")->viewport(), &press);
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_EQ(dialogs.boxes()[0].text, QStringLiteral("データが選択されていません"));
    EXPECT_EQ(dialogs.boxes()[0].icon, BoxIcon::Exclamation);
    EXPECT_EQ(box("ToText")->text(), "typed@example.com");
}

TEST_F(ComposeTest, NarrowingHidesTheListAndWideningReloadsIt) {
    addEntry("one", "one@example.com");
    open();
    click("Command6");
    EXPECT_LT(form().centralWidget()->width(), 7080 / 15);  // the address panel is outside
    EXPECT_EQ(list("List1")->count(), 1);
    addEntry("two", "two@example.com");
    click("Command4");
    EXPECT_EQ(form().centralWidget()->width(), 9510 / 15);
    EXPECT_EQ(list("List1")->count(), 2);
    EXPECT_EQ(box("Text1")->text(), "2");
}

class GreetingTest : public ComposeTest {
  protected:
    void leaveCombo() {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(control("Combo1"), &out);
    }
};

TEST_F(GreetingTest, ChosenPhraseGoesInFrontOfTheBodyOnce) {
    open();
    form().body()->setPlainText(QStringLiteral("本文です。"));
    control<QComboBox>("Combo1")->setCurrentIndex(3);
    leaveCombo();
    leaveCombo();
    EXPECT_EQ(form().body()->toPlainText(),
              QStringLiteral("いつもお世話になっております。\n本文です。"));
}

TEST_F(GreetingTest, EmptyComboTextChangesNothing) {
    open();
    form().body()->setPlainText(QStringLiteral("本文です。"));
    leaveCombo();
    control<QComboBox>("Combo1")->setEditText("");
    leaveCombo();
    EXPECT_EQ(form().body()->toPlainText(), QStringLiteral("本文です。"));
}

TEST_F(GreetingTest, PhraseAloneFillsAnEmptyBody) {
    open();
    control<QComboBox>("Combo1")->setCurrentIndex(0);
    QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(control("Combo1"), &popup);  // opening the drop-down is no choice
    EXPECT_EQ(form().body()->toPlainText(), "");
    leaveCombo();
    EXPECT_EQ(form().body()->toPlainText(),
              QStringLiteral("御社益々ご清祥の事とお慶び申し上げます。"));
}

TEST_F(ComposeTest, PasteButtonsInsertTrimmedClipboardText) {
    open();
    QGuiApplication::clipboard()->setText(QStringLiteral("  word  "));
    box("ToText")->setText("ab");
    box("ToText")->setCursorPosition(1);
    click("Command7");
    EXPECT_EQ(box("ToText")->text(), "awordb");
    form().body()->setPlainText("xy");
    QTextCursor cursor = form().body()->textCursor();
    cursor.setPosition(0);
    cursor.setPosition(1, QTextCursor::KeepAnchor);  // "x" selected
    form().body()->setTextCursor(cursor);
    click("Command5");
    EXPECT_EQ(form().body()->toPlainText(), "wordy");
}

TEST_F(ComposeTest, HoverHelpShowsAndHides) {
    ASSERT_TRUE(app->settingsFiles().writeWindowOption("NUMBER", 1));
    open();
    auto* help = control<QPlainTextEdit>("Text14");
    EXPECT_EQ(help->y(), 3600 / 15);
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(control("Option2"), &enter);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(
        help->toPlainText(),
        QStringLiteral("アドレス帳に登録しているメールアドレスすべてに同様の件名、本文で送信し"
                       "ます。\n\n件名、本文入力完了後、送信ボタンをクリックして下さい。"));
    QApplication::sendEvent(control("Label2_2"), &enter);
    EXPECT_TRUE(help->toPlainText().startsWith(QStringLiteral("本文の冒頭に例文を貼り付けます。")));

    QWidget* viewport = form().body()->viewport();
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), viewport->mapToGlobal(QPointF(3, 3)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    EXPECT_FALSE(help->isVisible());
}

TEST_F(ComposeTest, HelpBoxIsOutOfSightWhenHoverHelpIsOff) {
    open();
    EXPECT_LT(control("Text14")->y(), 0);
}

TEST_F(ComposeTest, CancelButtonClosesWithoutSending) {
    open();
    box("ToText")->setText("to@example.com");
    click("Command3");
    EXPECT_TRUE(composeClosed());
    EXPECT_TRUE(mail.sent.empty());
}

TEST_F(GreetingTest, MovingTheFocusToTheBodyInsertsThePhrase) {
    WriteForm& window = open();
    QApplication::setActiveWindow(&window);
    auto* combo = control<QComboBox>("Combo1");
    combo->setFocus(Qt::OtherFocusReason);
    if (!combo->hasFocus()) GTEST_SKIP() << "the platform gives no keyboard focus";
    combo->setCurrentIndex(1);
    window.body()->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(window.body()->toPlainText(),
              QStringLiteral("平素のご愛顧誠にありがとうございます。"));
}

}  // namespace
}  // namespace tsubame::testing
