#include "editor/text_file_commands.h"

#include <gtest/gtest.h>

#include <QFileInfo>
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

// The filter offers text files: a name typed without an extension gets ".txt"; an existing
// file of that name is asked about, since the dialog asked about the typed one.
TEST_F(TextFileCommandsTest, SaveAsAddsTxtToANameWithoutExtension) {
    write("kept.txt", "old");
    const struct {
        const char* typed;
        const char* saved;
        bool overwrite;  // the answer when kept.txt is asked about
    } cases[] = {{"plain", "plain.txt", false},
                 {"dot.", "dot.txt", false},
                 {"notes.ini", "notes.ini", false},
                 {"kept", "kept.txt", false},
                 {"kept", "kept.txt", true}};
    body->setPlainText("a");
    for (const auto& c : cases) {
        dialogs.clear();
        const bool asked = std::string(c.saved) == "kept.txt";
        if (asked) dialogs.answerNext(c.overwrite ? BoxAnswer::Yes : BoxAnswer::No);
        dialogs.saveNext(file(c.typed));
        EXPECT_EQ(saveViewerTextAs(*body, dialogs, window), !asked || c.overwrite) << c.typed;
        EXPECT_EQ(dialogs.boxes().size(), asked ? 1u : 0u) << c.typed;
        EXPECT_EQ(read(c.saved), asked && !c.overwrite ? "old" : "a\r\n") << c.typed;
    }
    EXPECT_FALSE(QFileInfo::exists(file("plain")));
    EXPECT_EQ(window.windowTitle(), file("kept.txt"));
}

}  // namespace
}  // namespace tsubame
