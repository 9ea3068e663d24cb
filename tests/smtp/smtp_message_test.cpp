#include "smtp/smtp_message.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <regex>
#include <tuple>

#include "core/cp932.h"
#include "mime/iso2022jp.h"
#include "mime/mime_charset.h"
#include "mime/mime_decode.h"
#include "mime/mime_header_text.h"
#include "smtp/smtp_attachment.h"
#include "smtp/smtp_header_encode.h"
#include "smtp/smtp_server_name.h"
#include "support/mime_test_folder.h"

namespace tsubame {
namespace {

std::vector<std::string> encodedWords(const std::string& value) {
    std::vector<std::string> words;
    std::regex pattern(R"(=\?[^?]+\?B\?[A-Za-z0-9+/=]*\?=)");
    for (auto it = std::sregex_iterator(value.begin(), value.end(), pattern);
         it != std::sregex_iterator(); ++it)
        words.push_back(it->str());
    return words;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The message as it goes to the server, its contents in place.
std::string wholeMessage(BuiltMessage& built) {
    std::string text;
    BuiltMessageReader reader(built);
    char buffer[4096];
    for (std::ptrdiff_t n; (n = reader.read(buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    EXPECT_EQ(text.size(), built.size());
    return text;
}

OutgoingMail sampleMail() {
    OutgoingMail mail;
    mail.server = "127.0.0.1:25";
    mail.from = "me@example.jp";
    mail.to = "you@example.jp";
    mail.subject = utf8ToCp932("会議の件～ご確認ください");
    mail.body = utf8ToCp932("本文です。\r\n波ダッシュ～\r\n");
    return mail;
}

TEST(SmtpHeaderEncode, Iso2022jpWordsAreShortCompleteRunsEndingInAscii) {
    std::string subject;
    for (int i = 0; i < 20; ++i) subject += utf8ToCp932("日本語の件名ABC～");
    const std::string value = encodeHeaderValue(subject);
    const std::vector<std::string> words = encodedWords(value);
    ASSERT_GT(words.size(), 5u);
    std::string joined;
    for (const std::string& word : words) {
        EXPECT_LE(word.size(), kMaxEncodedWordLength) << word;
        ASSERT_EQ(word.rfind("=?ISO-2022-JP?B?", 0), 0u) << word;
        const std::string iso = decodeBase64(word.substr(16, word.size() - 18));
        // Each word switches back to ASCII by itself, so any decoder can read it alone.
        if (const std::size_t lastEscape = iso.rfind('\x1b'); lastEscape != std::string::npos) {
            EXPECT_EQ(iso.substr(lastEscape, 3), "\x1b(B");
        }
        joined += iso2022jpToCp932(iso);
    }
    EXPECT_EQ(joined, subject);
    // Words are folded onto lines of their own.
    for (const std::string& line : linesOf(value)) EXPECT_LE(line.size(), 76u);
    EXPECT_EQ(decodeHeaderText(value), subject);
}

TEST(SmtpHeaderEncode, WaveDashTravelsAsJisNotAsAReplacement) {
    const std::string value = encodeHeaderValue("\x81\x60");
    EXPECT_EQ(value, "=?ISO-2022-JP?B?" + encodeBase64("\x1b$B!A\x1b(B") + "?=");
}

TEST(SmtpHeaderEncode, TextOutsideJis0208GoesAsUtf8) {
    const std::string subject =
        utf8ToCp932("①番ｱｲｳの㈱件名がとても長い場合でも文字の途中で切れない");
    const std::string value = encodeHeaderValue(subject);
    const std::vector<std::string> words = encodedWords(value);
    ASSERT_GT(words.size(), 1u);
    for (const std::string& word : words) {
        EXPECT_LE(word.size(), kMaxEncodedWordLength);
        ASSERT_EQ(word.rfind("=?UTF-8?B?", 0), 0u);
        EXPECT_TRUE(isValidUtf8(decodeBase64(word.substr(10, word.size() - 12))))
            << "a word ends inside a character";
    }
    EXPECT_EQ(cp932ToUtf8(decodeHeaderText(value)), cp932ToUtf8(subject));
}

TEST(SmtpHeaderEncode, AsciiStaysAndLineBreaksCannotInjectHeaders) {
    EXPECT_EQ(encodeHeaderValue("Hello"), "Hello");
    EXPECT_EQ(encodeHeaderValue("Hi\r\nBcc: victim@example.com"), "Hi  Bcc: victim@example.com");
    EXPECT_NE(encodeHeaderValue("=?UTF-8?B?x?="), "=?UTF-8?B?x?=");
}

TEST(SmtpMessage, HeadersAndIso2022jpBody) {
    std::string error;
    const OutgoingMail mail = sampleMail();  // the built message reads its body
    auto built = buildMessage(mail, error);
    ASSERT_TRUE(built) << cp932ToUtf8(error);
    const std::string text = wholeMessage(*built);
    for (const char* header :
         {"From: me@example.jp\r\n", "To: you@example.jp\r\n", "\r\nDate: ", "\r\nMessage-ID: <",
          "\r\nMIME-Version: 1.0\r\n", "Content-Type: text/plain; charset=ISO-2022-JP\r\n",
          "Content-Transfer-Encoding: 7bit\r\n"})
        EXPECT_NE(text.find(header), std::string::npos) << header;
    // The body is 7-bit ISO-2022-JP; each line is back in ASCII before its CR LF, and the
    // wave dash is JIS 0x2141.
    EXPECT_NE(text.find("\x1b$BK\\J8$G$9!#\x1b(B\r\n\x1b$BGH%@%C%7%e!A\x1b(B\r\n"),
              std::string::npos);
    EXPECT_EQ(built->envelopeFrom, "me@example.jp");
    EXPECT_EQ(built->envelopeTo, std::vector<std::string>{"you@example.jp"});
    for (std::size_t i = 0; i < text.size(); ++i) {
        ASSERT_LT(static_cast<unsigned char>(text[i]), 0x80) << "8-bit byte at " << i;
        if (text[i] == '\n') {
            ASSERT_EQ(text[i - 1], '\r') << "bare LF at " << i;
        }
    }
    DecodedMail decoded;
    mime_test::TempFolder folder("smtp_headers");
    ASSERT_EQ(decodeMailAndSaveAttachments(text, folder.inbox(), decoded, error), 0);
    EXPECT_EQ(cp932ToUtf8(decoded.headers.subject), "会議の件～ご確認ください");
    EXPECT_EQ(cp932ToUtf8(decoded.body), "本文です。\r\n波ダッシュ～\r\n");
}

TEST(SmtpMessage, BodyWithCharactersOutsideJisGoesAsUtf8) {
    OutgoingMail mail = sampleMail();
    mail.body = utf8ToCp932("①と㈱とｶﾀｶﾅ\r\n");
    std::string error;
    auto built = buildMessage(mail, error);
    ASSERT_TRUE(built);
    EXPECT_NE(wholeMessage(*built).find("charset=UTF-8"), std::string::npos);
    DecodedMail decoded;
    mime_test::TempFolder folder("smtp_utf8");
    decodeMailAndSaveAttachments(wholeMessage(*built), folder.inbox(), decoded, error);
    EXPECT_EQ(cp932ToUtf8(decoded.body), "①と㈱とｶﾀｶﾅ\r\n");
}

TEST(SmtpMessage, NoLineIsLongerThan998Bytes) {
    OutgoingMail mail = sampleMail();
    mail.body.clear();
    for (int i = 0; i < 3000; ++i) mail.body += utf8ToCp932("長");  // one 6000-byte line
    mail.body += "\r\n" + std::string(5000, 'a');
    mail.subject = std::string(2000, 's');
    mail.extraHeaders = "X-Long: " + std::string(1500, 'x') + "\r\nX-Mailer: Tsubame";
    std::string error;
    auto built = buildMessage(mail, error);
    ASSERT_TRUE(built) << cp932ToUtf8(error);
    for (const std::string& line : linesOf(wholeMessage(*built))) EXPECT_LE(line.size(), 998u);
    EXPECT_NE(wholeMessage(*built).find("\r\nX-Mailer: Tsubame\r\n"), std::string::npos);
    DecodedMail decoded;
    mime_test::TempFolder folder("smtp_long");
    decodeMailAndSaveAttachments(wholeMessage(*built), folder.inbox(), decoded, error);
    EXPECT_EQ(decoded.body, mail.body);
    EXPECT_EQ(decoded.headers.subject, mail.subject);
}

// A body longer than one encoded piece arrives whole in each encoding, alone or beside an
// attachment.
TEST(SmtpMessage, LongBodiesArriveWhole) {
    std::string jis, outsideJis, longLine;
    for (int i = 0; i < 9000; ++i) {
        jis += utf8ToCp932("本文です " + std::to_string(i) + "\r\n");
        outsideJis += utf8ToCp932("①㈱ " + std::to_string(i) + "\r\n");
        longLine += utf8ToCp932("長");
    }
    mime_test::TempFolder folder("smtp_long_bodies");
    const std::string attachment = (folder.inbox() / "a.bin").string();
    std::ofstream(attachment) << "x";
    const char* iso7bit = "charset=ISO-2022-JP\r\nContent-Transfer-Encoding: 7bit";
    const char* utf8 = "charset=UTF-8\r\nContent-Transfer-Encoding: base64";
    const std::vector<std::tuple<std::string, const char*, bool>> rows = {
        {jis + "end", iso7bit, false},
        {jis, iso7bit, true},
        {outsideJis + "x", utf8, false},
        {outsideJis + "xy", utf8, true},
        {longLine + "\r\n" + jis, "charset=ISO-2022-JP\r\nContent-Transfer-Encoding: base64",
         false},
    };
    for (const auto& [body, header, attached] : rows) {
        SCOPED_TRACE(header);
        OutgoingMail mail = sampleMail();
        mail.body = body;
        if (attached) mail.attachments = {attachment};
        std::string error;
        auto built = buildMessage(mail, error);
        ASSERT_TRUE(built) << cp932ToUtf8(error);
        const std::string text = wholeMessage(*built);
        EXPECT_NE(text.find(header), std::string::npos);
        for (const std::string& line : linesOf(text)) ASSERT_LE(line.size(), 998u);
        DecodedMail decoded;
        decodeMailAndSaveAttachments(text, folder.inbox(), decoded, error);
        EXPECT_EQ(decoded.body, body);
    }
}

TEST(SmtpMessage, MissingAttachmentOrRecipientFailsWithAClearText) {
    OutgoingMail mail = sampleMail();
    mail.attachments = {utf8ToCp932("/nonexistent/見積書.pdf")};
    std::string error;
    EXPECT_FALSE(buildMessage(mail, error));
    EXPECT_NE(cp932ToUtf8(error).find("添付ファイルを読み込めません"), std::string::npos);
    EXPECT_NE(cp932ToUtf8(error).find("/nonexistent/見積書.pdf"), std::string::npos);
    mail = sampleMail();
    mail.to = " ";
    EXPECT_FALSE(buildMessage(mail, error));
    EXPECT_NE(cp932ToUtf8(error).find("宛先"), std::string::npos);
}

TEST(SmtpMessage, BccIsInTheEnvelopeOnly) {
    OutgoingMail mail = sampleMail();
    mail.cc = "c1@example.jp, " + utf8ToCp932("山田") + " <c2@example.jp>";
    mail.bcc = "hidden@example.jp";
    std::string error;
    auto built = buildMessage(mail, error);
    ASSERT_TRUE(built);
    EXPECT_EQ(built->envelopeTo, (std::vector<std::string>{"you@example.jp", "c1@example.jp",
                                                           "c2@example.jp", "hidden@example.jp"}));
    EXPECT_EQ(wholeMessage(*built).find("hidden"), std::string::npos);
    EXPECT_NE(wholeMessage(*built).find("\r\nCc: c1@example.jp, =?"), std::string::npos);
}

// Every file name that is not plain printable ASCII goes RFC 2231-encoded: no byte of it
// reaches the header raw, and long names are split into short numbered sections.
TEST(SmtpAttachment, FileNamesThatAreNotPlainAsciiAreEncoded) {
    const std::string longName = "長い名前" + std::string(80, 'x') + ".txt";
    const std::pair<std::string, std::string> cases[] = {
        {"report 1.pdf", "filename=\"report 1.pdf\""},
        {"a\r\nBcc: x.txt", "filename*=UTF-8''a%0D%0ABcc%3A%20x.txt"},
        {"=?UTF-8?B?ZXZpbC5leGU=?=", "filename*=UTF-8''%3D%3FUTF-8%3FB%3FZXZpbC5leGU%3D%3F%3D"},
        {"say \"hi\".txt", "filename*=UTF-8''say%20%22hi%22.txt"},
        {"😀.txt", "filename*=UTF-8''%F0%9F%98%80.txt"},
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(mimeParameter("filename", name), expected);

    const std::string sections = mimeParameter("filename", longName);
    const std::vector<std::string> lines = linesOf(sections);
    ASSERT_GT(lines.size(), 2u);
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 78u);
        const std::string head = (i ? " " : "") + ("filename*" + std::to_string(i) + "*=");
        ASSERT_EQ(lines[i].rfind(head, 0), 0u) << lines[i];
        joined += lines[i].substr(head.size());
        if (joined.back() == ';') joined.pop_back();
    }
    ASSERT_EQ(joined.rfind("UTF-8''", 0), 0u);
    std::unique_ptr<char, decltype(&g_free)> decoded(
        g_uri_unescape_string(joined.substr(7).c_str(), nullptr), g_free);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(std::string(decoded.get()), longName);
}

// A text attachment says its charset, or is sent as plain bytes when its charset is unknown.
TEST(SmtpAttachment, TextAttachmentsCarryTheirCharset) {
    const std::pair<std::string, std::string> cases[][1] = {
        {{"plain ASCII\r\n", "text/plain; charset=UTF-8"}},
        {{"Grüße 😀 안녕\n", "text/plain; charset=UTF-8"}},
        {{utf8ToCp932("日本語のメモ\r\n"), "application/octet-stream"}},
        {{cp932ToIso2022jp(utf8ToCp932("日本語\r\n")), "text/plain; charset=ISO-2022-JP"}},
        {{std::string("a\0b", 3), "application/octet-stream"}},
    };
    for (const auto& [c] : cases)
        EXPECT_EQ(attachmentContentType("memo.txt", c.first), c.second) << c.first;
    EXPECT_EQ(attachmentContentType("photo.png", "\x89PNG"), "image/png");
}

TEST(SmtpMessage, Utf8TextsOutsideCodePage932ArriveWhole) {
    OutgoingMail mail = sampleMail();
    mail.textForm = MailTextForm::Utf8;
    mail.subject = "絵文字😀 한국어 é ü ą 简体中文";
    mail.body = "本文😀\r\n한국어 é ü ą 简体中文\r\n";
    mail.to = "宛先 <you@example.jp>";
    std::string error;
    auto built = buildMessage(mail, error);
    ASSERT_TRUE(built) << cp932ToUtf8(error);
    EXPECT_EQ(built->envelopeTo, std::vector<std::string>{"you@example.jp"});
    const std::string text = wholeMessage(*built);
    EXPECT_NE(text.find(encodeHeaderValueUtf8(mail.subject)), std::string::npos);
    std::string unfolded = text;
    std::erase(unfolded, '\r');
    std::erase(unfolded, '\n');
    EXPECT_NE(unfolded.find(encodeBase64("本文😀\n한국어 é ü ą 简体中文\n")), std::string::npos);

    // Text that code page 932 holds still goes as ISO-2022-JP.
    mail.subject = "会議の件";
    mail.body = "本文です。\r\n";
    built = buildMessage(mail, error);
    ASSERT_TRUE(built);
    EXPECT_NE(wholeMessage(*built).find("charset=ISO-2022-JP"), std::string::npos);
    EXPECT_NE(wholeMessage(*built).find("Subject: =?ISO-2022-JP?B?"), std::string::npos);
}

TEST(SmtpServerNames, SchemesPortsAndBadNames) {
    auto plain = parseSmtpServerName("mail.example.jp");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->url(), "smtp://mail.example.jp:25");
    EXPECT_EQ(parseSmtpServerName(" mail.example.jp:587 ")->url(), "smtp://mail.example.jp:587");
    auto tls = parseSmtpServerName("smtps://mail.example.jp");
    ASSERT_TRUE(tls);
    EXPECT_TRUE(tls->implicitTls);
    EXPECT_EQ(tls->url(), "smtps://mail.example.jp:465");
    EXPECT_EQ(parseSmtpServerName("SMTPS://h:2465")->url(), "smtps://h:2465");
    EXPECT_EQ(parseSmtpServerName("[::1]:2525")->url(), "smtp://[::1]:2525");
    for (const char* bad : {"", "  ", "host:", "host:99999", "host:12a", "ho st", "a/b", "u@h"})
        EXPECT_FALSE(parseSmtpServerName(bad)) << bad;
}

}  // namespace
}  // namespace tsubame
