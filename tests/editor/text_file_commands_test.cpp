#include "editor/text_file_commands.h"

#include <gtest/gtest.h>

#include <QMainWindow>
#include <QTemporaryDir>
#include <QTextEdit>
#include <fstream>
#include <iterator>

#include "editor/text_file.h"
#include "support/scripted_dialogs.h"

namespace tsubame {
namespace {

using testing::ScriptedDialogs;

class TextFileCommandsTest : public ::testing::Test {
  protected:
    TextFileCommandsTest() {
        window.setCentralWidget(body);
        window.setWindowTitle("viewer");
    }
    QString file(const char* name) const { return dir.path() + "/" + name; }
    void write(const char* name, const std::string& bytes) {
        std::ofstream(file(name).toStdString(), std::ios::binary) << bytes;
    }
    std::string read(const char* name) const {
        std::ifstream in(file(name).toStdString(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    QTemporaryDir dir;
    QMainWindow window;
    QTextEdit* body = new QTextEdit;
    ScriptedDialogs dialogs;
};

TEST_F(TextFileCommandsTest, OpenReplacesTheBodyButNotTheCaption) {
    write("in.txt", "\x82\xa0\r\nlast");  // "あ" in code page 932, then a line without break
    body->setPlainText("old");
    dialogs.openNext(file("in.txt"));
    EXPECT_TRUE(openTextInto(*body, dialogs, &window));
    EXPECT_EQ(body->toPlainText(), "あ\nlast\n");
    EXPECT_EQ(window.windowTitle(), "viewer");
    EXPECT_EQ(dialogs.lastFileFilter(), "txtファイル(*.txt,*.ini)|*.txt;*.ini");
}

TEST_F(TextFileCommandsTest, OpenOfAnEmptyFileEmptiesTheBody) {
    write("empty.txt", "");
    body->setPlainText("old");
    dialogs.openNext(file("empty.txt"));
    openTextInto(*body, dialogs, &window);
    EXPECT_EQ(body->toPlainText(), "");
}

TEST_F(TextFileCommandsTest, CancelledOrUnreadableOpenChangesNothing) {
    body->setPlainText("old");
    dialogs.openNext(std::nullopt);
    EXPECT_FALSE(openTextInto(*body, dialogs, &window));
    dialogs.openNext(file("missing.txt"));
    EXPECT_FALSE(openTextInto(*body, dialogs, &window));
    EXPECT_EQ(body->toPlainText(), "old");
    EXPECT_TRUE(dialogs.boxes().empty());
}

TEST_F(TextFileCommandsTest, SaveAsWritesTheTextPlusOneLineBreakAndTakesThePathAsCaption) {
    write("out.txt", "an older, longer content that must go");
    body->setPlainText("a\nb");
    dialogs.saveNext(file("out.txt"));
    EXPECT_TRUE(saveViewerTextAs(*body, dialogs, window));
    EXPECT_EQ(read("out.txt"), "a\r\nb\r\n");
    EXPECT_EQ(window.windowTitle(), file("out.txt"));
    EXPECT_EQ(dialogs.lastFileFilter(), "txtファイル(*.txt,*.ini)|*.txt;*.ini");
}

TEST_F(TextFileCommandsTest, CancelledSaveAsWritesNothing) {
    body->setPlainText("a");
    dialogs.saveNext(std::nullopt);
    EXPECT_FALSE(saveViewerTextAs(*body, dialogs, window));
    EXPECT_EQ(window.windowTitle(), "viewer");
    EXPECT_TRUE(dialogs.boxes().empty());
}

TEST_F(TextFileCommandsTest, FailedSaveAsIsReportedAndKeepsTheCaption) {
    body->setPlainText("a");
    dialogs.saveNext(file("no-folder/out.txt"));
    EXPECT_FALSE(saveViewerTextAs(*body, dialogs, window));
    EXPECT_EQ(window.windowTitle(), "viewer");
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_TRUE(dialogs.boxes()[0].text.startsWith("ファイルを保存できませんでした。"));
}

TEST_F(TextFileCommandsTest, SaveAsAddsTxtToANameWithoutExtensionAndAsksBeforeReplacing) {
    write("kept.txt", "old");
    dialogs.answerNext(BoxAnswer::No);  // kept.txt: the dialog asked about "kept" only
    for (const char* typed : {"plain", "notes.ini", "kept"}) {
        dialogs.saveNext(file(typed));
        saveViewerTextAs(*body, dialogs, window);
    }
    EXPECT_EQ(read("plain.txt") + read("notes.ini") + read("kept.txt"), "\r\n\r\nold");
}

}  // namespace
}  // namespace tsubame
