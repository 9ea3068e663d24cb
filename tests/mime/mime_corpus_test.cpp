#include <gtest/gtest.h>

#include "core/cp932.h"
#include "mime/mime_decode.h"
#include "support/mime_test_folder.h"

namespace tsubame {
namespace {

using mime_test::filesBelow;
using mime_test::readAll;
using mime_test::TempFolder;

const std::filesystem::path kCorpus = TSUBAME_CORPUS_DIR;

struct CorpusResult {
    int result = 0;
    DecodedMail mail;
    std::set<std::string> files;  // relative to the temporary root, not the inbox
};

CorpusResult decodeCorpusMail(const std::string& fileName, const TempFolder& folder) {
    CorpusResult r;
    std::string error;
    r.result =
        decodeMailAndSaveAttachments(readAll(kCorpus / fileName), folder.inbox(), r.mail, error);
    r.files = filesBelow(folder.root());
    return r;
}

class MimeCorpus : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::is_directory(kCorpus))
            GTEST_SKIP() << "mail corpus not found at " << kCorpus;
    }
};

TEST_F(MimeCorpus, EveryMailDecodesAndEveryAttachmentLandsInTheFolder) {
    int mails = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
        if (entry.path().extension() != ".eml") continue;
        ++mails;
        TempFolder folder("corpus");
        CorpusResult r = decodeCorpusMail(entry.path().filename().string(), folder);
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_TRUE(r.result == 0 || r.result == 1) << r.result;
        EXPECT_EQ(r.result == 1, !r.files.empty());
        for (const std::string& file : r.files) {
            EXPECT_EQ(file.rfind("inbox/", 0), 0u) << file;
            EXPECT_EQ(file.find('/', 6), std::string::npos) << file;
        }
        // Texts are code page 932 with CR LF line ends only.
        const std::string& body = r.mail.body;
        EXPECT_EQ(cp932SafeCut(body, body.size()), body.size());
        for (std::size_t i = 0; i < body.size(); ++i) {
            if (body[i] == '\n') {
                EXPECT_TRUE(i > 0 && body[i - 1] == '\r');
            }
            if (body[i] == '\r') {
                EXPECT_TRUE(i + 1 < body.size() && body[i + 1] == '\n');
            }
        }
        EXPECT_EQ(r.mail.headers.subject.find('\n'), std::string::npos);
    }
    EXPECT_GE(mails, 20);
}

TEST_F(MimeCorpus, JapaneseMailsDecodeToTheirText) {
    TempFolder folder("corpus_ja");
    CorpusResult utf8 = decodeCorpusMail("mail-multi_charset-japanese.eml", folder);
    EXPECT_EQ(cp932ToUtf8(utf8.mail.headers.subject), "まみむめも");
    EXPECT_EQ(cp932ToUtf8(utf8.mail.body).rfind("かきくえこ\r\n\r\n-- \r\n", 0), 0u);

    CorpusResult iso = decodeCorpusMail("mail-multi_charset-japanese_iso_2022.eml", folder);
    EXPECT_EQ(cp932ToUtf8(iso.mail.body), "すみません。\r\n\r\n");

    CorpusResult sjis = decodeCorpusMail("mail-multi_charset-japanese_shift_jis.eml", folder);
    EXPECT_EQ(cp932ToUtf8(sjis.mail.body)
                  .rfind("あいうえお\r\n\r\nこのメールはテスト用のメールです。", 0),
              0u);
    EXPECT_EQ(sjis.result, 0);
}

TEST_F(MimeCorpus, JapaneseAttachmentNamesFromRfc2047AndRfc2231) {
    TempFolder folder("corpus_names");
    CorpusResult named = decodeCorpusMail("mail-multi_charset-japanese_attachment.eml", folder);
    EXPECT_EQ(named.result, 1);
    EXPECT_EQ(readAll(folder.inbox() / "てすと.txt"), "this is a test\nこれわてすと");

    TempFolder longFolder("corpus_long");
    CorpusResult longName =
        decodeCorpusMail("mail-multi_charset-japanese_attachment_long_name.eml", longFolder);
    std::string expected;
    for (int i = 0; i < 5; ++i) expected += "かきくけこ";
    expected += ".txt";
    EXPECT_EQ(longName.files, std::set<std::string>{"inbox/" + expected});
    EXPECT_EQ(readAll(longFolder.inbox() / expected).rfind("this is the data", 0), 0u);
    EXPECT_EQ(cp932ToUtf8(longName.mail.headers.subject).size(), 50u * 3);
}

}  // namespace
}  // namespace tsubame
