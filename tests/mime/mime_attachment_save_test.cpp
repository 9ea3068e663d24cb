#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>

#include "core/cp932.h"
#include "mime/mime_attachment_files.h"
#include "mime/mime_decode.h"
#include "support/mime_test_folder.h"

namespace tsubame {
namespace {

using mime_test::filesBelow;
using mime_test::readAll;
using mime_test::TempFolder;

std::string mailWithAttachments(const std::vector<std::pair<std::string, std::string>>& parts) {
    std::string raw =
        "Subject: files\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=zz\r\n\r\n"
        "--zz\r\nContent-Type: text/plain\r\n\r\nsee attached\r\n";
    for (const auto& [disposition, content] : parts) {
        raw += "--zz\r\nContent-Type: application/octet-stream\r\nContent-Disposition: " +
               disposition + "\r\nContent-Transfer-Encoding: 7bit\r\n\r\n" + content + "\r\n";
    }
    return raw + "--zz--\r\n";
}

TEST(MimeAttachmentNames, HostileNamesStayInsideTheFolder) {
    EXPECT_EQ(safeAttachmentFileName("../../x"), "x");
    EXPECT_EQ(safeAttachmentFileName("/etc/x"), "x");
    EXPECT_EQ(safeAttachmentFileName("..\\..\\windows\\x.exe"), "x.exe");
    EXPECT_EQ(safeAttachmentFileName(".."), "");
    EXPECT_EQ(safeAttachmentFileName(".bashrc"), "bashrc");
    EXPECT_EQ(safeAttachmentFileName("a\r\nb\tc\x7f.txt"), "abc.txt");
    EXPECT_EQ(safeAttachmentFileName("what?<>:*|\".txt. . "), "what_______.txt");
    EXPECT_EQ(safeAttachmentFileName("   "), "");
}

TEST(MimeAttachmentNames, BackslashByteInsideADoubleByteCharacterIsNoSeparator) {
    // "ソフト表.doc": ソ is 0x83 0x5C and 表 is 0x95 0x5C.
    EXPECT_EQ(safeAttachmentFileName(utf8ToCp932("ソフト表.doc")), "ソフト表.doc");
}

TEST(MimeAttachmentNames, LongNamesAreCutOnACharacterKeepingTheExtension) {
    std::string cp932;
    for (int i = 0; i < 200; ++i) cp932 += utf8ToCp932("あ");
    const std::string name = safeAttachmentFileName(cp932 + ".pdf");
    EXPECT_LE(name.size(), kMaxFileNameBytes);
    EXPECT_EQ(name.substr(name.size() - 4), ".pdf");
    EXPECT_EQ(utf8ToCp932(name.substr(0, name.size() - 4)).size() % 2, 0u);
    EXPECT_EQ(name.substr(0, 3), "あ");
}

TEST(MimeAttachmentSave, TraversalNamesWriteNothingOutsideTheFolder) {
    TempFolder folder("traversal");
    DecodedMail out;
    std::string error;
    const std::string raw = mailWithAttachments({
        {"attachment; filename=\"../../x\"", "one"},
        {"attachment; filename=\"/etc/x\"", "two"},
        {"attachment; filename*=UTF-8''..%2F..%2Fy", "three"},
        {"attachment; filename=\"..\"", "four"},
    });
    EXPECT_EQ(decodeMailAndSaveAttachments(raw, folder.inbox(), out, error), 1) << error;
    EXPECT_EQ(filesBelow(folder.root()), (std::set<std::string>{"inbox/x", "inbox/x (2)", "inbox/y",
                                                                "inbox/attachment1.bin"}));
    EXPECT_EQ(readAll(folder.inbox() / "x"), "one");
    EXPECT_EQ(readAll(folder.inbox() / "x (2)"), "two");
    EXPECT_EQ(readAll(folder.inbox() / "attachment1.bin"), "four");
    EXPECT_EQ(out.body, "see attached");
}

TEST(MimeAttachmentSave, ExistingFilesAreNeverOverwritten) {
    TempFolder folder("existing");
    {
        std::ofstream(folder.inbox() / "report.pdf") << "old";
        std::ofstream(folder.inbox() / "report (2).pdf") << "older";
    }
    DecodedMail out;
    std::string error;
    const std::string raw = mailWithAttachments({{"attachment; filename=report.pdf", "new"}});
    EXPECT_EQ(decodeMailAndSaveAttachments(raw, folder.inbox(), out, error), 1);
    EXPECT_EQ(readAll(folder.inbox() / "report.pdf"), "old");
    EXPECT_EQ(readAll(folder.inbox() / "report (2).pdf"), "older");
    EXPECT_EQ(readAll(folder.inbox() / "report (3).pdf"), "new");
}

TEST(MimeAttachmentSave, SymlinkInTheFolderIsNotFollowed) {
    TempFolder folder("symlink");
    std::filesystem::create_symlink(folder.root() / "target", folder.inbox() / "a.txt");
    DecodedMail out;
    std::string error;
    const std::string raw = mailWithAttachments({{"attachment; filename=a.txt", "data"}});
    EXPECT_EQ(decodeMailAndSaveAttachments(raw, folder.inbox(), out, error), 1);
    EXPECT_FALSE(std::filesystem::exists(folder.root() / "target"));
    EXPECT_EQ(readAll(folder.inbox() / "a (2).txt"), "data");
}

TEST(MimeAttachmentSave, JapaneseNamesAttachedMessagesAndUnnamedParts) {
    TempFolder folder("kinds");
    const std::string raw =
        "Subject: kinds\r\nContent-Type: multipart/mixed; boundary=k\r\n\r\n"
        "--k\r\nContent-Type: text/plain; charset=iso-2022-jp\r\n\r\n\x1b$B$\"\x1b(B\r\n"
        "--k\r\nContent-Type: image/png\r\nContent-Transfer-Encoding: base64\r\n\r\niVBORw==\r\n"
        "--k\r\nContent-Type: application/pdf; name=\"=?ISO-2022-JP?B?GyRCLSEbKEI=?=.pdf\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nJVBERg==\r\n"
        "--k\r\nContent-Type: message/rfc822\r\n\r\nSubject: inner\r\n\r\ninner body\r\n"
        "--k--\r\n";
    DecodedMail out;
    std::string error;
    EXPECT_EQ(decodeMailAndSaveAttachments(raw, folder.inbox(), out, error), 1);
    EXPECT_EQ(cp932ToUtf8(out.body), "あ\r\n\r\n----------\r\n\r\n件名: inner\r\n\r\ninner body");
    EXPECT_EQ(filesBelow(folder.inbox()),
              (std::set<std::string>{"attachment1.png", "①.pdf", "inner.eml"}));
    EXPECT_EQ(readAll(folder.inbox() / "attachment1.png"), "\x89PNG");
    EXPECT_EQ(readAll(folder.inbox() / "①.pdf"), "%PDF");
    EXPECT_NE(readAll(folder.inbox() / "inner.eml").find("inner body"), std::string::npos);
}

TEST(MimeAttachmentSave, NamesKeepCharactersThatCodePage932Lacks) {
    TempFolder folder("utf8names");
    DecodedMail out;
    std::string error;
    const std::string raw = mailWithAttachments({
        {"attachment; filename*=UTF-8''ci%C3%A8le%E2%82%AC.txt", "one"},
        {"attachment; filename*=iso-8859-1''caf%E9.txt", "two"},
        {"attachment; filename*=UTF-8''..%2F%C3%A9vil%C3%A8", "three"},
    });
    EXPECT_EQ(decodeMailAndSaveAttachments(raw, folder.inbox(), out, error), 1);
    EXPECT_EQ(filesBelow(folder.root()),
              (std::set<std::string>{"inbox/cièle€.txt", "inbox/café.txt", "inbox/évilè"}));
}

TEST(MimeAttachmentSave, UnwritableFolderGivesMinusFiveAndKeepsTheText) {
    TempFolder folder("unwritable");
    DecodedMail out;
    std::string error;
    const std::string raw = mailWithAttachments({{"attachment; filename=a.bin", "x"}});
    EXPECT_EQ(decodeMailAndSaveAttachments(raw, folder.root() / "missing", out, error), -5);
    EXPECT_NE(cp932ToUtf8(error).find("missing"), std::string::npos);
    EXPECT_EQ(out.body, "see attached");
    EXPECT_EQ(decodeMailAndSaveAttachments("Subject: none\r\n\r\nno files\r\n",
                                           folder.root() / "missing", out, error),
              0);
}

// Signatures bring the same name again and again: numbered names must not run out, and many
// parts of one name must not probe the same taken names over and over.
TEST(MimeAttachmentSave, SameNamedPartsAreAllSavedPastTheLastNumberAndQuickly) {
    struct Case {
        const char* label;
        int alreadyThere;  // image001.png and "(2)" ... "(n)" in the folder before
        int parts;
    };
    for (const Case& c : {Case{"folder full of numbers", 9999, 3}, Case{"one mail", 0, 12000}}) {
        SCOPED_TRACE(c.label);
        TempFolder folder("numbers");
        // Links to one file: creating thousands of files costs far more on a busy disk.
        const std::filesystem::path old = folder.root() / "old";
        std::ofstream(old) << "old";
        for (int n = 1; n <= c.alreadyThere; ++n)
            std::filesystem::create_hard_link(
                old, folder.inbox() /
                         (n == 1 ? "image001.png" : "image001 (" + std::to_string(n) + ").png"));
        const std::vector<std::pair<std::string, std::string>> parts(
            c.parts, {"attachment; filename=image001.png", "new"});
        DecodedMail out;
        std::string error;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(
            decodeMailAndSaveAttachments(mailWithAttachments(parts), folder.inbox(), out, error), 1)
            << cp932ToUtf8(error);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
        int fresh = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder.inbox()))
            fresh += readAll(entry.path()) == "new";
        EXPECT_EQ(fresh, c.parts);
    }
}

}  // namespace
}  // namespace tsubame
