// Saving over a file the user chose, and opening text files from other programs.
#include <sys/stat.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

#include "support/temp_folder.h"
#include "viewer/actions_fixture.h"

namespace tsubame::testing {
namespace {

class ChosenFilesTest : public ViewerCommandsTest {
  protected:
    QString chosen(const std::filesystem::path& path) {
        return QString::fromStdString(path.string());
    }
    void write(const std::filesystem::path& path, const std::string& bytes, unsigned mode) {
        std::ofstream(path, std::ios::binary) << bytes;
        ::chmod(path.c_str(), mode);
    }
};

TEST_F(ChosenFilesTest, SaveAsReplacesAPrivateFileALinkTargetAndSparesNameDotTmp) {
    const std::filesystem::path mine = folder_ / "mine.txt", target = folder_ / "target.txt",
                                link = folder_ / "link.txt";
    write(mine, "old", 0600);
    write(folder_ / "mine.txt.tmp", "another file", 0644);
    write(target, "old", 0640);
    std::filesystem::create_symlink(target, link);
    viewer().reader()->setPlainText("本文");
    for (const auto& path : {mine, link}) {
        dialogs_.saveNext(chosen(path));
        commands().runToolbarKey("Save");
    }
    EXPECT_TRUE(dialogs_.boxes().empty());
    EXPECT_EQ(fileMode(mine), 0600u);
    EXPECT_EQ(readFileBytes(folder_ / "mine.txt.tmp"), "another file");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(fileMode(target), 0640u);
    EXPECT_NE(readFileBytes(target).find(utf8ToCp932("本文")), std::string::npos);
}

TEST_F(ChosenFilesTest, QuickSaveOfALongSubjectAndOverAPrivateFile) {
    // 100 half-width kana fill the subject field and take 300 bytes as a UTF-8 file name.
    std::string kana;
    for (int i = 0; i < 100; ++i) kana += "ｱ";
    addRecord(kana, "a@example.jp", "Mon, 7 Dec 2026", "本文");
    addRecord("秘密", "a@example.jp", "Mon, 7 Dec 2026", "本文");
    write(quickSaveFolder() / "秘密.txt", "old", 0600);
    viewer().openViewer();
    for (int row : {0, 1}) {
        clickRow(row);
        dialogs_.answerNext(BoxAnswer::Yes);
        control<QPushButton>("Command2")->click();
    }
    EXPECT_EQ(dialogs_.boxTexts(),
              std::vector<QString>{"同名のファイルが既に存在します。上書きしますか？ "});
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(quickSaveFolder())) {
        ++files;
        EXPECT_EQ(readFileBytes(entry.path()).rfind("Subject:  ", 0), 0u) << entry.path();
    }
    EXPECT_EQ(files, 2u);
    EXPECT_EQ(fileMode(quickSaveFolder() / "秘密.txt"), 0600u);
}

TEST_F(ChosenFilesTest, OpenReadsUtf8AndCodePage932FilesAndSaveKeeps932) {
    const std::string text = "添付の本文です\r\n二行目";
    const struct {
        const char* name;
        std::string bytes;
    } files[] = {
        {"utf8.txt", text}, {"bom.txt", "\xEF\xBB\xBF" + text}, {"sjis.txt", utf8ToCp932(text)}};
    for (const auto& file : files) {
        write(folder_ / file.name, file.bytes, 0644);
        dialogs_.openNext(chosen(folder_ / file.name));
        commands().runToolbarKey("Open");
        EXPECT_EQ(viewer().reader()->toPlainText(), "添付の本文です\n二行目\n") << file.name;
    }
    dialogs_.saveNext(chosen(folder_ / "utf8.txt"));
    commands().runToolbarKey("Save");
    EXPECT_NE(readFileBytes(folder_ / "utf8.txt").find(utf8ToCp932("添付の本文です")),
              std::string::npos);
}

}  // namespace
}  // namespace tsubame::testing
