// The viewer driven from the keyboard: list keys, menu shortcuts, Enter in the search box.
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTextEdit>

#include "viewer/actions_fixture.h"

namespace tsubame::testing {
namespace {

class ViewerKeyboardTest : public ViewerCommandsTest {
  protected:
    static void press(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(target, &event);
    }
    QString subject() { return viewer().subjectBox()->text(); }
};

TEST_F(ViewerKeyboardTest, MovingTheSelectionWithKeysShowsThatMail) {
    addNumberedRecords(4);
    viewer().openViewer();
    clickRow(0);
    ASSERT_EQ(subject(), "件名1");
    QGuiApplication::clipboard()->setText("mine");  // a move by key leaves it alone
    QTreeView* list = viewer().mailList();
    list->setFocus();
    const std::pair<int, const char*> steps[] = {
        {Qt::Key_Down, "件名2"}, {Qt::Key_Down, "件名3"}, {Qt::Key_Up, "件名2"},
        {Qt::Key_End, "件名4"},  {Qt::Key_Home, "件名1"},
    };
    for (const auto& [key, expected] : steps) {
        press(list, key);
        EXPECT_EQ(subject(), QString::fromUtf8(expected)) << key;
        EXPECT_EQ(viewer().selectionFlag(), "1");
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "mine") << key;
    }
    press(list, Qt::Key_Up);  // at the top: nothing moves, nothing is read again
    EXPECT_EQ(subject(), "件名1");
}

TEST_F(ViewerKeyboardTest, DeleteInTheListRemovesTheSelectedMail) {
    addNumberedRecords(2);
    viewer().openViewer();
    clickRow(0);
    dialogs_.answerNext(BoxAnswer::Yes);
    viewer().mailList()->setFocus();
    QAction* key = viewer().mailList()->findChild<QAction*>("DeleteMailKey");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->shortcut(), QKeySequence(Qt::Key_Delete));
    EXPECT_EQ(key->shortcutContext(), Qt::WidgetShortcut);
    key->trigger();
    EXPECT_EQ(viewer().listRowCount(), 1);
    EXPECT_EQ(storedSubject(1), "件名2");
}

TEST_F(ViewerKeyboardTest, MenuEntriesCarryTheirShortcuts) {
    const std::pair<const char*, QKeySequence> shortcuts[] = {
        {"mnew", QKeySequence::New},
        {"mopen", QKeySequence::Open},
        {"msave", QKeySequence::Save},
        {"mprint", QKeySequence::Print},
        {"mall", QKeySequence::SelectAll},
        {"mkensaku", QKeySequence(Qt::CTRL | Qt::Key_F)},
        {"mtugikensaku", QKeySequence(Qt::Key_F3)},
        {"mcut", QKeySequence::Cut},
        {"mcopy", QKeySequence::Copy},
        {"mpaste", QKeySequence::Paste},
    };
    for (const auto& [name, keys] : shortcuts) {
        ASSERT_FALSE(keys.isEmpty()) << name;
        EXPECT_EQ(action(name)->shortcut(), keys) << name;
    }
}

TEST_F(ViewerKeyboardTest, EnterInTheSearchBoxFindsThenFindsNext) {
    viewer().reader()->setPlainText("abcabc");
    auto* box = control<QLineEdit>("Text1");
    box->setText("bc");
    const qsizetype expected[] = {2, 5, 0, 2};  // the last miss starts over
    for (qsizetype position : expected) {
        press(box, Qt::Key_Return);
        EXPECT_EQ(commands().search().lastFound(), position);
    }
    box->setText("ab");  // a new text searches from the top
    press(box, Qt::Key_Return);
    EXPECT_EQ(commands().search().lastFound(), 1);
}

TEST_F(ViewerKeyboardTest, CtrlFWithAnEmptySearchBoxPutsTheKeyboardThere) {
    viewer().reader()->setFocus();
    action("mkensaku")->trigger();
    EXPECT_EQ(viewer().focusWidget(), control<QLineEdit>("Text1"));
}

}  // namespace
}  // namespace tsubame::testing
