#include <gtest/gtest.h>

#include <map>

#include "core/cp932.h"
#include "mime/base64_decode.h"
#include "mime/mime_charset.h"
#include "mime/mime_decode.h"
#include "support/mime_test_folder.h"

namespace tsubame {
namespace {

using mime_test::filesBelow;
using mime_test::readAll;
using mime_test::TempFolder;

// Mails as other programs write them, each with one habit that other readers forgive.
struct ForeignMail {
    const char* what;
    std::string raw;
    std::string bodyUtf8;
    std::map<std::string, std::string> files;
};

const std::string kMixed = "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n";
const std::string kTextPart = "--b\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nbody\r\n";
const std::string kBinaryPart =
    "--b\r\nContent-Type: application/octet-stream; name=\"a.bin\"\r\n"
    "Content-Transfer-Encoding: base64\r\n\r\nAAEC\r\n--b--\r\n";

std::string repeated(const std::string& piece, int times) {
    std::string out;
    while (times-- > 0) out += piece;
    return out;
}

const std::vector<ForeignMail> kForeignMails = {
    {"base64 without its final padding",
     "Subject: pad\r\n" + kMixed +
         "\r\n--b\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: "
         "base64\r\n"
         "\r\nT0shIOaYjuaXpeS8uuOBhOOBvuOBmeOAgg\r\n"
         "--b\r\nContent-Type: application/octet-stream; name=\"five.bin\"\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\nAAEC/v8\r\n--b--\r\n",
     "OK! 明日伺います。",
     {{"five.bin", std::string("\x00\x01\x02\xFE\xFF", 5)}}},
    {"UTF-8 with one invalid sequence",
     "Subject: utf8\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\n"
     "こんにちは\xFF世界、\xE3\x81さようなら\r\n",
     "こんにちは〓世界、〓さようなら\r\n",
     {}},
    {"ISO-2022-JP rows that code page 932 lacks",
     "Subject: jis\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n\r\n"
     "\x1b$B$\"u!x~y!)!\x1b(B\r\n",
     "あ〓〓纊〓\r\n",
     {}},
    {"header whose first line starts with white space",
     "  Received: from somewhere\r\nSubject: ws\r\n" + kMixed + "\r\n" + kTextPart + kBinaryPart,
     "body",
     {{"a.bin", std::string("\x00\x01\x02", 3)}}},
    {"header line without a colon ends the header",
     "Subject: colon\r\n" + kMixed + kTextPart + kBinaryPart,
     "body",
     {{"a.bin", std::string("\x00\x01\x02", 3)}}},
    {"no header at all",
     "Hello,\r\nthis mail has no header.\r\n",
     "Hello,\r\nthis mail has no header.\r\n",
     {}},
    {"separator line of white space only",
     "Subject: sep\r\nContent-Type: text/plain; charset=us-ascii\r\n \t\r\nThe text.\r\n",
     "The text.\r\n",
     {}},
    // As the mail check hands it over: the mail, then the line end it puts after the body.
    {"single-part 7bit attachment",
     "Subject: seven\r\nMIME-Version: 1.0\r\nContent-Type: application/octet-stream; "
     "name=\"note.dat\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\nfifteen bytes..\r\n\r\n",
     "",
     {{"note.dat", "fifteen bytes..\r\n"}}},
    {"line of white space inside a folded field",
     "Subject: ws\r\nX-Note: one\r\n \t\r\n two\r\n" + kMixed + "\r\n" + kTextPart + kBinaryPart,
     "body",
     {{"a.bin", std::string("\x00\x01\x02", 3)}}},
    {"mbox envelope lines first",
     "From sender@example.jp Mon Dec  7 19:33:22 2026\r\nFrom sender@example.jp Mon Dec  7 "
     "19:33:22 2026\r\nSubject: env\r\n" +
         kMixed + "\r\n" + kTextPart + kBinaryPart,
     "body",
     {{"a.bin", std::string("\x00\x01\x02", 3)}}},
    {"closing delimiter with text behind it",
     "Subject: close\r\n" + kMixed + "\r\n" + kTextPart +
         kBinaryPart.substr(0, kBinaryPart.size() - 2) + "end of mail\r\nEpilogue text\r\n",
     "body",
     {{"a.bin", std::string("\x00\x01\x02", 3)}}},
    {"base64 right below the fields",
     "Subject: nogap\r\n" + kMixed + "\r\n" + kTextPart +
         "--b\r\nContent-Type: application/octet-stream; name=\"a.bin\"\r\n"
         "Content-Transfer-Encoding: base64\r\nAAEC\r\nAwQF\r\n--b--\r\n",
     "body",
     {{"a.bin", std::string("\x00\x01\x02\x03\x04\x05", 6)}}},
    {"base64 on one long line right below the fields",
     "Subject: nogap\r\n" + kMixed + "\r\n" + kTextPart +
         "--b\r\nContent-Type: application/zip; name=\"a.zip\"\r\n"
         "Content-Transfer-Encoding: base64\r\n" +
         repeated("AAEC", 1250) + "\r\n--b--\r\n",
     "body",
     {{"a.zip", repeated(std::string("\x00\x01\x02", 3), 1250)}}},
    {"Latin-1 byte before a letter, unlabelled",
     "Subject: latin\r\n\r\nL\xFCtkebohle\r\n",
     "L〓tkebohle\r\n",
     {}},
    {"Shift_JIS bytes code page 932 leaves undefined",
     "Subject: sjis\r\nContent-Type: text/plain; charset=Shift_JIS\r\n\r\n\x82\xA0\x85\x40\xFF\r\n",
     "あ〓〓\r\n",
     {}},
    {"texts around an inline image",
     "Subject: texts\r\n" + kMixed + "\r\n" + kTextPart +
         "--b\r\nContent-Type: image/png\r\nContent-Transfer-Encoding: base64\r\n\r\niVBORw==\r\n"
         "--b\r\nContent-Type: text/plain\r\n\r\nmore\r\n--b--\r\n",
     "body\r\n\r\n----------\r\n\r\nmore",
     {{"attachment1.png", "\x89PNG"}}},
    {"bounce report",
     "Subject: bounce\r\nContent-Type: multipart/report; boundary=b\r\n\r\n" + kTextPart +
         "--b\r\nContent-Type: message/delivery-status\r\n\r\nAction: failed\r\n"
         "--b\r\nContent-Type: text/rfc822-headers\r\n\r\nSubject: mine\r\n--b--\r\n",
     "body\r\n\r\n----------\r\n\r\nAction: failed\r\n\r\n----------\r\n\r\nSubject: mine",
     {}},
    {"report, calendar and mail as files",
     "Subject: files\r\n" + kMixed + "\r\n" + kTextPart +
         "--b\r\nContent-Type: message/delivery-status\r\nContent-Disposition: attachment\r\n\r\n"
         "Action: failed\r\n--b\r\nContent-Type: text/calendar\r\n\r\nBEGIN:VCALENDAR\r\n"
         "--b\r\nContent-Type: message/rfc822; name=fwd\r\n\r\nSubject: a\r\n\r\nhi\r\n"
         "--b\r\nContent-Type: message/rfc822\r\n\r\nSubject: "
         "=?UTF-8?B?8J+YgCBoaQ==?=\r\n\r\nhi\r\n"
         "--b--\r\n",
     "body\r\n\r\n----------\r\n\r\n件名: 〓 hi\r\n\r\nhi",
     {{"delivery-status.txt", "Action: failed"},
      {"attachment1.ics", "BEGIN:VCALENDAR"},
      {"fwd.eml", "Subject: a\n\nhi"},
      {"😀 hi.eml", "Subject: =?UTF-8?B?8J+YgCBoaQ==?=\n\nhi"}}},
    {"forwarded mail inline",
     "Subject: fwd\r\n" + kMixed + "\r\n" + kTextPart +
         "--b\r\nContent-Type: message/rfc822\r\n\r\nSubject: =?UTF-8?B?6KaL56mN?=\r\n"
         "From: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <y@example.jp>\r\nDate: 1 Dec 2026\r\n"
         "Content-Type: multipart/alternative; boundary=c\r\n\r\n--c\r\n"
         "Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n\x1b$B$\"\x1b(B\r\n--c\r\n"
         "Content-Type: text/html\r\n\r\n<p>html</p>\r\n--c--\r\n--b--\r\n",
     "body\r\n\r\n----------\r\n\r\n件名: 見積\r\n差出人: 山田 <y@example.jp>\r\n"
     "日付: 1 Dec 2026\r\n\r\nあ",
     {{"見積.eml",
       "Subject: =?UTF-8?B?6KaL56mN?=\nFrom: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= "
       "<y@example.jp>\nDate: 1 Dec 2026\nContent-Type: multipart/alternative; "
       "boundary=c\n\n--c\nContent-Type: text/plain; charset=ISO-2022-JP\n\n\x1b$B$\"\x1b(B\n"
       "--c\nContent-Type: text/html\n\n<p>html</p>\n--c--\n"}}},
    {"HTML with a table, links and a list",
     "Subject: html\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<html><body>"
     "<p>ご注文&amp;</p><table><tr><th>商品</th><th>価格</th></tr><tr><td>商品A</td>"
     "<td>1,000円</td></tr></table><ul><li>一つ目<li>二つ目</ul><p>詳しくは<a "
     "href=\"https://example.jp/o\">こちら</a>、<a href=\"https://example.jp/\">"
     "https://example.jp/</a></p></body></html>\r\n",
     "ご注文&\r\n\r\n商品 | 価格\r\n商品A | 1,000円\r\n\r\n・一つ目\r\n・二つ目\r\n\r\n"
     "詳しくはこちら (https://example.jp/o)、https://example.jp/",
     {}},
    {"message/external-body is no document",
     "Subject: ext\r\n" + kMixed + "\r\n" + kTextPart +
         "--b\r\nContent-Type: message/external-body; access-type=URL; "
         "URL=\"http://example.jp/doc.pdf\"\r\n\r\nContent-Type: application/pdf\r\n\r\n\r\n"
         "--b--\r\n",
     "body",
     {}},
};

TEST(MimeForeignMail, DecodedAsOtherReadersDecodeIt) {
    for (const ForeignMail& mail : kForeignMails) {
        SCOPED_TRACE(mail.what);
        TempFolder folder("foreign");
        DecodedMail out;
        std::string error;
        const int result = decodeMailAndSaveAttachments(mail.raw, folder.inbox(), out, error);
        EXPECT_EQ(result, mail.files.empty() ? 0 : 1) << error;
        EXPECT_EQ(cp932ToUtf8(out.body), mail.bodyUtf8);
        std::map<std::string, std::string> files;
        for (const std::string& file : filesBelow(folder.inbox()))
            files[file] = readAll(folder.inbox() / file);
        EXPECT_EQ(files, mail.files);
    }
}

TEST(MimeForeignMail, HeaderFieldsBeforeTheOddLineAreKept) {
    TempFolder folder("foreign_header");
    DecodedMail out;
    std::string error;
    decodeMailAndSaveAttachments(kForeignMails[3].raw, folder.inbox(), out, error);
    EXPECT_EQ(out.headers.subject, "ws");
    decodeMailAndSaveAttachments(kForeignMails[6].raw, folder.inbox(), out, error);
    EXPECT_EQ(out.headers.subject, "sep");
    EXPECT_EQ(out.header, "Subject: sep\r\nContent-Type: text/plain; charset=us-ascii\r\n");
}

TEST(MimeForeignMail, TextMostlyInAnotherCharsetIsStillGuessed) {
    // Shift_JIS and EUC-JP text wrongly labelled UTF-8 keep their characters.
    const std::string sjis = utf8ToCp932("日本語のメールです。");
    EXPECT_EQ(charsetToCp932(sjis, "utf-8"), sjis);
    EXPECT_EQ(cp932ToUtf8(charsetToCp932("\xC6\xFC\xCB\xDC\xB8\xEC", "UTF-8")), "日本語");
    // The same rows are missing from code page 932 when they come as EUC-JP.
    EXPECT_EQ(cp932ToUtf8(eucjpToCp932("\xA4\xA2\xF5\xA1")), "あ〓");
}

TEST(MimeForeignMail, Base64AsMailersWriteIt) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"QUJD\r\nREU", "ABCDE"},  // last group cut short
        {"QUI=QUJD", "ABABC"},     // blocks written one after the other
        {"QU JD*R\tA", "ABCD"},    // characters outside the alphabet
        {"QUJDR", "ABC"},          // a lone character carries no byte
        {"QUJDREVG", "ABCDEF"},
    };
    for (const auto& [encoded, decoded] : cases) EXPECT_EQ(decodeBase64Leniently(encoded), decoded);
}

}  // namespace
}  // namespace tsubame
