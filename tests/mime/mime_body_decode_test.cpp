#include <gtest/gtest.h>

#include "core/cp932.h"
#include "mime/mime_decode.h"
#include "mime/mime_html_text.h"
#include "mime/mime_parse.h"
#include "support/mime_test_folder.h"

namespace tsubame {
namespace {

std::string bodyUtf8(const std::string& raw) { return cp932ToUtf8(parseMail(raw).body); }

TEST(MimeBodyDecode, WindowsIso2022jpBodyKeepsNecCharactersAndKatakana) {
    const std::string raw =
        "Subject: test\r\nMIME-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"
        "\x1b$B-!-j$N7o\x1b(B\r\n\x1b(I123\x1b(B end\r\n";
    EXPECT_EQ(bodyUtf8(raw), "①㈱の件\r\nｱｲｳ end\r\n");
}

TEST(MimeBodyDecode, TransferEncodingsAndLineEndsBecomeCrLf) {
    const std::string base64 =
        "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
        "5pel5pys6KqeCmxpbmUgMgo=\r\n";  // "日本語\nline 2\n"
    EXPECT_EQ(bodyUtf8(base64), "日本語\r\nline 2\r\n");
    const std::string qp =
        "Content-Type: text/plain; charset=Shift_JIS\r\nContent-Transfer-Encoding: "
        "quoted-printable\r\n"
        "\r\n=82=A0=87=40 soft=\r\nbreak\r\n";
    EXPECT_EQ(bodyUtf8(qp), "あ① softbreak\r\n");
}

TEST(MimeBodyDecode, FirstPlainPartWinsOverHtmlAndAttachedText) {
    const std::string raw =
        "Content-Type: multipart/mixed; boundary=b1\r\n\r\n"
        "--b1\r\nContent-Type: text/plain; name=notes.txt\r\n\r\nattached text\r\n"
        "--b1\r\nContent-Type: multipart/alternative; boundary=b2\r\n\r\n"
        "--b2\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<p>html</p>\r\n"
        "--b2\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nplain body\r\n"
        "--b2--\r\n--b1--\r\n";
    ParsedMail mail = parseMail(raw);
    EXPECT_EQ(mail.body, "plain body");
    ASSERT_EQ(mail.attachments.size(), 1u);
    EXPECT_EQ(mail.attachments[0].name, "notes.txt");
    EXPECT_EQ(mail.attachments[0].content, "attached text");
}

TEST(MimeBodyDecode, HtmlOnlyMailGivesItsText) {
    const std::string raw =
        "Content-Type: text/html; charset=iso-2022-jp\r\n\r\n"
        "<html><head><title>t</title><style>p {}</style></head><body>"
        "<p>\x1b$B$\"\x1b(B &amp; &lt;b&gt;\r\n  two&nbsp;words</p><p>next<br>line "
        "&#x2460;&#12354;</p>"
        "<script>alert(1)</script></body></html>";
    EXPECT_EQ(bodyUtf8(raw), "あ & <b> two words\r\n\r\nnext\r\nline ①あ");
}

TEST(MimeBodyDecode, HtmlTextStepsOverDoubleByteCharacters) {
    // 0x83 0x5C and 0x95 0x5C end in a backslash byte; "ポ" is 0x83 0x7C; none is markup.
    const std::string html = "<b>" + utf8ToCp932("ソ表ポ") + "</b>";
    EXPECT_EQ(cp932ToUtf8(htmlToText(html)), "ソ表ポ");
}

TEST(MimeBodyDecode, MailWithoutMimeHeadersAndUnparseableInput) {
    EXPECT_EQ(bodyUtf8("Subject: x\r\n\r\n\x1b$BF|K\\\x1b(B\r\n"), "日本\r\n");
    EXPECT_EQ(bodyUtf8("Subject: x\r\n\r\n" + utf8ToCp932("本文") + "\n"), "本文\r\n");
    EXPECT_NO_THROW(parseMail(""));
    EXPECT_NO_THROW(parseMail("\r\n\r\n"));
}

TEST(MimeBodyDecode, IncompletePartialMessageIsReported) {
    const std::string raw =
        "Subject: part 1\r\nMIME-Version: 1.0\r\n"
        "Content-Type: message/partial; id=\"abc@example.jp\"; number=1; total=2\r\n\r\n"
        "Subject: inner\r\n\r\nfirst half\r\n";
    mime_test::TempFolder folder("partial");
    DecodedMail out;
    std::string error;
    EXPECT_EQ(decodeMailAndSaveAttachments(raw, folder.inbox(), out, error), -6);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(cp932ToUtf8(out.headers.subject), "part 1");
    EXPECT_EQ(out.body, "Subject: inner\r\n\r\nfirst half\r\n");
}

TEST(MimeBodyDecode, HeaderComesBackUnchanged) {
    const std::string header = "Subject: =?UTF-8?B?44GC?=\r\nX-Other: 1\r\n";
    mime_test::TempFolder folder("header");
    DecodedMail out;
    std::string error;
    EXPECT_EQ(decodeMailAndSaveAttachments(header + "\r\nbody\r\n", folder.inbox(), out, error), 0);
    EXPECT_EQ(out.header, header);
    EXPECT_EQ(out.body, "body\r\n");
}

}  // namespace
}  // namespace tsubame
