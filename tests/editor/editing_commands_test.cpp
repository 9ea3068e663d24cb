#include "editor/editing_commands.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTextEdit>
#include <fstream>

#include "core/app_paths.h"
#include "editor/editor_state.h"
#include "editor/plain_text.h"
#include "support/scripted_dialogs.h"
#include "support/temp_folder.h"

namespace tsubame {
namespace {

using testing::ScriptedDialogs;

using testing::readFileBytes;

class EditingCommandsTest : public ::testing::Test {
  protected:
    EditingCommandsTest() : paths(std::filesystem::path(appDir.path().toStdString())) {
        window.setCentralWidget(body);
    }
    QString clipboard() const { return QGuiApplication::clipboard()->text(); }
    void setClipboard(const QString& text) { QGuiApplication::clipboard()->setText(text); }
    std::filesystem::path inApp(const char* name) const { return paths.appFolder() / name; }

    QTemporaryDir appDir;
    AppPaths paths;
    QMainWindow window;
    QTextEdit* body = new QTextEdit;
    EditorState state;
    ScriptedDialogs dialogs;
};

TEST_F(EditingCommandsTest, CopyPutsTheSelectionOnTheClipboardAndTheCaretAfterIt) {
    body->setPlainText("hello world");
    setSelection(*body, 6, 5);
    copyText(*body);
    EXPECT_EQ(clipboard(), "world");
    EXPECT_EQ(selectionStart(*body), 11);
    EXPECT_EQ(selectionLength(*body), 0);
    EXPECT_EQ(body->toPlainText(), "hello world");
}

TEST_F(EditingCommandsTest, CopyWithoutSelectionEmptiesTheClipboardAndGoesToTheStart) {
    body->setPlainText("hello");
    setClipboard("previous");
    setSelection(*body, 3, 0);
    copyText(*body);
    EXPECT_EQ(clipboard(), "");
    EXPECT_EQ(selectionStart(*body), 0);
}

TEST_F(EditingCommandsTest, CutMovesTheSelectionAcrossLines) {
    body->setPlainText("ab\ncd\nef");
    setSelection(*body, 1, 4);
    cutText(*body);
    EXPECT_EQ(clipboard(), "b\ncd");
    EXPECT_EQ(body->toPlainText(), "a\nef");
}

TEST_F(EditingCommandsTest, PasteReplacesTheSelectionWithTheTextWithoutOuterBlanks) {
    body->setPlainText("one two three");
    setSelection(*body, 4, 3);
    setClipboard("  2 x  ");
    pasteText(*body);
    EXPECT_EQ(body->toPlainText(), "one 2 x three");
    setClipboard("");
    setSelection(*body, 0, 4);
    pasteText(*body);
    EXPECT_EQ(body->toPlainText(), "2 x three");
}

TEST_F(EditingCommandsTest, JumpsAndSelectAll) {
    body->setPlainText("abc\ndef");
    jumpToEnd(*body);
    EXPECT_EQ(selectionStart(*body), 7);
    jumpToTop(*body);
    EXPECT_EQ(selectionStart(*body), 0);
    selectAllText(*body);
    EXPECT_EQ(selectionStart(*body), 0);
    EXPECT_EQ(selectionLength(*body), 7);
    body->clear();
    selectAllText(*body);
    EXPECT_EQ(selectionStart(*body), 0);
    EXPECT_EQ(selectionLength(*body), 0);
}

TEST_F(EditingCommandsTest, NewDocumentSavesTheModifiedTextThenStartsAnEmptyOneBesideIt) {
    std::filesystem::create_directory(inApp("docs"));
    state.CurrentDocumentPath = QString::fromStdString(inApp("docs/letter.txt").string());
    state.DocumentModified = true;
    body->setPlainText("line 1\n日本語");
    newDocument(*body, state, paths, dialogs, window);

    EXPECT_EQ(readFileBytes(inApp("docs/letter.txt")), "line 1\r\n\x93\xfa\x96{\x8c\xea");
    const QString fresh = QString::fromStdString(inApp("docs/新規作成.TXT").string());
    EXPECT_EQ(state.CurrentDocumentPath, fresh);
    ASSERT_TRUE(std::filesystem::exists(inApp("docs/新規作成.TXT")));
    EXPECT_EQ(std::filesystem::file_size(inApp("docs/新規作成.TXT")), 0u);
    EXPECT_EQ(body->toPlainText(), "");
    EXPECT_FALSE(state.DocumentModified);
    EXPECT_EQ(window.windowTitle(), "新規作成.TXT      " + fresh);
    EXPECT_TRUE(dialogs.boxes().empty());
}

TEST_F(EditingCommandsTest, NewDocumentDoesNothingWhileTheDocumentIsAlreadyNew) {
    state.CurrentDocumentPath = QString::fromStdString(inApp("新規作成.TXT").string());
    state.DocumentModified = true;
    body->setPlainText("typed");
    window.setWindowTitle("before");
    newDocument(*body, state, paths, dialogs, window);
    EXPECT_EQ(body->toPlainText(), "typed");
    EXPECT_TRUE(state.DocumentModified);
    EXPECT_EQ(window.windowTitle(), "before");
    EXPECT_FALSE(std::filesystem::exists(inApp("新規作成.TXT")));
}

TEST_F(EditingCommandsTest, NewDocumentWithoutPathGoesToTheApplicationFolder) {
    state.DocumentModified = true;
    body->setPlainText("mail text");
    newDocument(*body, state, paths, dialogs, window);
    EXPECT_EQ(state.CurrentDocumentPath, QString::fromStdString(paths.newDocument().string()));
    EXPECT_TRUE(std::filesystem::exists(inApp("新規作成.TXT")));
    EXPECT_EQ(body->toPlainText(), "");
    EXPECT_FALSE(state.DocumentModified);
}

TEST_F(EditingCommandsTest, NewDocumentKeepsTheTextWhenItCannotBeSaved) {
    state.CurrentDocumentPath = QString::fromStdString(inApp("gone/letter.txt").string());
    state.DocumentModified = true;
    body->setPlainText("precious");
    newDocument(*body, state, paths, dialogs, window);
    EXPECT_EQ(body->toPlainText(), "precious");
    EXPECT_TRUE(state.DocumentModified);
    EXPECT_EQ(state.CurrentDocumentPath, QString::fromStdString(inApp("gone/letter.txt").string()));
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_TRUE(dialogs.boxes()[0].text.startsWith("文書を保存できませんでした。"));
}

TEST_F(EditingCommandsTest, SaveDocumentClearsTheFlagOnlyOnSuccess) {
    state.DocumentModified = true;
    body->setPlainText("x");
    EXPECT_FALSE(saveDocument(*body, state).ok());  // no document yet
    EXPECT_TRUE(state.DocumentModified);
    state.CurrentDocumentPath = QString::fromStdString(inApp("doc.txt").string());
    EXPECT_TRUE(saveDocument(*body, state).ok());
    EXPECT_FALSE(state.DocumentModified);
    EXPECT_EQ(readFileBytes(inApp("doc.txt")), "x");
}

}  // namespace
}  // namespace tsubame
