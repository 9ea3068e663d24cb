#include <gtest/gtest.h>

#include "core/cp932.h"
#include "mime/mime_decode.h"
#include "mime/mime_header_text.h"
#include "mime/mime_params.h"

namespace tsubame {
namespace {

std::string headerUtf8(std::string_view raw) { return cp932ToUtf8(decodeHeaderText(raw)); }

TEST(MimeHeaderDecode, WindowsIso2022jpSubjectAndSender) {
    // "①㈱の件" and a sender name written by a Windows mailer.
    const std::string header =
        "From: =?ISO-2022-JP?B?GyRCLSEtahsoQg==?= <sender@example.jp>\r\n"
        "Subject: =?ISO-2022-JP?B?GyRCLSEtaiRON28bKEI=?=\r\n"
        "Date: Mon, 7 Dec 2026 09:00:00 +0900\r\n"
        "\r\n";
    DecodedHeaders decoded = decodeHeaders(header);
    EXPECT_EQ(cp932ToUtf8(decoded.subject), "①㈱の件");
    EXPECT_EQ(cp932ToUtf8(decoded.from), "①㈱ <sender@example.jp>");
    EXPECT_EQ(decoded.date, "Mon, 7 Dec 2026 09:00:00 +0900");
}

TEST(MimeHeaderDecode, HalfWidthKatakanaInEncodedWord) {
    // ESC ( I 1 2 3 ESC ( B  ->  ｱｲｳ
    EXPECT_EQ(headerUtf8("=?iso-2022-jp?B?GyhJMTIzGyhC?="), "ｱｲｳ");
}

TEST(MimeHeaderDecode, RawEightBitHeadersAreGuessed) {
    const std::string header = "Subject: " + utf8ToCp932("テスト①件名") +
                               "\r\nFrom: " + utf8ToCp932("山田") + " <y@example.jp>\r\n\r\nbody";
    DecodedHeaders decoded = decodeHeaders(header);
    EXPECT_EQ(cp932ToUtf8(decoded.subject), "テスト①件名");
    EXPECT_EQ(cp932ToUtf8(decoded.from), "山田 <y@example.jp>");
    EXPECT_EQ(headerUtf8("\xC6\xFC\xCB\xDC"), "日本");          // EUC-JP
    EXPECT_EQ(headerUtf8("\x1b$BF|K\\\x1b(B"), "日本");         // 7-bit JIS
    EXPECT_EQ(headerUtf8("日本語 subject"), "日本語 subject");  // UTF-8
}

TEST(MimeHeaderDecode, WordsSplitInsideACharacterDecodeWhole) {
    // "あいう" is E3 81 82 E3 81 84 E3 81 86; the first word ends after byte 4.
    EXPECT_EQ(headerUtf8("=?UTF-8?B?44GC4w==?=\r\n =?UTF-8?B?gYTjgYY=?="), "あいう");
    // The same with Q encoding and mixed letter case in the charset.
    EXPECT_EQ(headerUtf8("=?utf-8?Q?=E3=81=82=E3?= =?UTF-8?Q?=81=84?="), "あい");
}

TEST(MimeHeaderDecode, BlanksBetweenWordsGoTextBlanksStay) {
    EXPECT_EQ(headerUtf8("=?UTF-8?B?44GC?=   =?ISO-2022-JP?B?GyRCJCQbKEI=?="), "あい");
    EXPECT_EQ(headerUtf8("Re: =?UTF-8?B?44GC?= and =?UTF-8?Q?x_y?= end"), "Re: あ and x y end");
    // Not an encoded word: left as it is.
    EXPECT_EQ(headerUtf8("=?bad word?= x=?y"), "=?bad word?= x=?y");
}

TEST(MimeHeaderDecode, ResultIsOneLineAndBounded) {
    EXPECT_EQ(headerUtf8("=?UTF-8?Q?a=0D=0Ab=00c?="), "a  b c");
    std::string longSubject = "Subject: ";
    for (int i = 0; i < 3000; ++i) longSubject += "=?UTF-8?B?44GC?= ";
    longSubject += "\r\n\r\n";
    DecodedHeaders decoded = decodeHeaders(longSubject);
    EXPECT_LT(decoded.subject.size(), 8192u);
    EXPECT_EQ(cp932SafeCut(decoded.subject, decoded.subject.size()), decoded.subject.size());
}

TEST(MimeHeaderDecode, FindsFieldsCaseInsensitivelyInTheHeaderOnly) {
    const std::string raw =
        "SUBJECT: first\r\n  continued\r\nsubject: second\r\n\r\nFrom: body@example.jp\r\n";
    EXPECT_EQ(cp932ToUtf8(decodeHeaders(raw).subject), "first  continued");
    EXPECT_EQ(decodeHeaders(raw).from, "");
}

TEST(MimeParameters, Rfc2231WithContinuationsAndCharsets) {
    EXPECT_EQ(cp932ToUtf8(findParameterCp932(
                  "attachment;\r\n filename*0*=UTF-8''%E6%97%A5%E6;\r\n filename*1*=%9C%AC.txt",
                  "filename")),
              "日本.txt");
    EXPECT_EQ(cp932ToUtf8(findParameterCp932(
                  "attachment; filename*=iso-2022-jp'ja'%1B%24B-%21%1B%28B.pdf", "filename")),
              "①.pdf");
    EXPECT_EQ(cp932ToUtf8(findParameterCp932(
                  "attachment; filename*0=\"long \"; filename*1=\"name.txt\"", "filename")),
              "long name.txt");
}

TEST(MimeParameters, PlainValuesWithEncodedWordsRawBytesAndQuotes) {
    EXPECT_EQ(cp932ToUtf8(findParameterCp932(
                  "application/pdf; name=\"=?ISO-2022-JP?B?GyRCLSEbKEI=?=.pdf\"", "name")),
              "①.pdf");
    EXPECT_EQ(cp932ToUtf8(findParameterCp932(
                  "attachment; filename=" + utf8ToCp932("見積書.xls") + "; size=3", "filename")),
              "見積書.xls");
    EXPECT_EQ(findParameterCp932("attachment; filename=\"a\\\"b;c.txt\"", "filename"),
              "a\"b;c.txt");
    EXPECT_EQ(findParameterCp932("inline", "filename"), "");
}

}  // namespace
}  // namespace tsubame
