#include "editor/text_file.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cerrno>
#include <fstream>

#include "core/cp932.h"
#include "core/file_io.h"
#include "support/temp_folder.h"

namespace tsubame {
namespace {

using testing::readFileBytes;
using testing::writeFileBytes;

class TextFileTest : public ::testing::Test {
  protected:
    std::filesystem::path file(const char* name) const {
        return std::filesystem::path(dir.path().toStdString()) / name;
    }
    QTemporaryDir dir;
};

TEST(FolderPart, KeepsTheFolderWithItsFinalSlashOrTheWholePathWithoutOne) {
    EXPECT_EQ(folderPart("/home/u/docs/a.txt"), "/home/u/docs/");
    EXPECT_EQ(folderPart("/a.txt"), "/");
    EXPECT_EQ(folderPart("a.txt"), "a.txt");
    EXPECT_EQ(folderPart(""), "");
    EXPECT_EQ(folderPart("/home/u/"), "/home/u/");
}

TEST_F(TextFileTest, EveryLineEndsInABreakAlsoTheLastOneWithoutIt) {
    writeFileBytes(file("a.txt"), "one\r\ntwo\rthree\nfour");
    EXPECT_EQ(readTextFile(file("a.txt")), QString("one\ntwo\nthree\nfour\n"));
    writeFileBytes(file("b.txt"), "one\r\n\r\n");
    EXPECT_EQ(readTextFile(file("b.txt")), QString("one\n\n"));
}

TEST_F(TextFileTest, EmptyFileGivesEmptyTextAndMissingFileNothing) {
    writeFileBytes(file("empty.txt"), "");
    EXPECT_EQ(readTextFile(file("empty.txt")), QString());
    EXPECT_FALSE(readTextFile(file("missing.txt")).has_value());
}

TEST_F(TextFileTest, ReadsAndWritesCodePage932WithCrLf) {
    const QString text = QStringLiteral("件名：テスト\n本文です\n");
    ASSERT_TRUE(writeTextFile(file("j.txt"), text).ok());
    std::string expected = utf8ToCp932("件名：テスト\r\n本文です\r\n");
    EXPECT_EQ(readFileBytes(file("j.txt")), expected);
    EXPECT_NE(expected.find("\x8c\x8f", 0), std::string::npos);  // "件" in code page 932
    EXPECT_EQ(readTextFile(file("j.txt")), text);
}

TEST_F(TextFileTest, FailedWriteKeepsTheOldFile) {
    writeFileBytes(file("keep.txt"), "old");
    injectFault(FaultKind::Write, 1, ENOSPC);
    EXPECT_FALSE(writeTextFile(file("keep.txt"), "new text").ok());
    clearInjectedFaults();
    EXPECT_EQ(readFileBytes(file("keep.txt")), "old");
    EXPECT_FALSE(writeTextFile(file("no-such-folder/x.txt"), "new").ok());
}

TEST(DecodeTextFile, ValidUtf8OpensAsUtf8WithOrWithoutBomElseCodePage932) {
    const std::string japanese = "日本語の本文";
    struct Case {
        const char* what;
        std::string bytes;
        QString text;
    } cases[] = {
        {"UTF-8", japanese, QString::fromStdString(japanese)},
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + japanese, QString::fromStdString(japanese)},
        {"code page 932", utf8ToCp932(japanese), QString::fromStdString(japanese)},
        {"ASCII", "plain", QStringLiteral("plain")},
        {"broken UTF-8 read as 932", "\xE6\x97" + utf8ToCp932("あ"),
         QString::fromStdString(cp932ToUtf8("\xE6\x97" + utf8ToCp932("あ")))},
    };
    for (const Case& c : cases) EXPECT_EQ(decodeTextFile(c.bytes), c.text) << c.what;
}

}  // namespace
}  // namespace tsubame
