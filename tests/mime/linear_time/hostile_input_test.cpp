// Inputs that once took time quadratic in their size. Each is 4 MB: linear code decodes it in
// well under a second; the CTest time-out of this executable catches a return to the old ways.
#include <gtest/gtest.h>

#include <string>

#include "mime/mime_decode.h"
#include "mime/mime_header_text.h"
#include "mime/mime_html_text.h"
#include "support/mime_test_folder.h"

namespace tsubame {
namespace {

constexpr std::size_t kHostileSize = 4 << 20;

std::string repeated(std::string_view piece, std::size_t size = kHostileSize) {
    std::string out;
    out.reserve(size + piece.size());
    while (out.size() < size) out.append(piece);
    return out;
}

struct HostileCase {
    std::string_view piece;
    std::string_view start;  // how the decoded text starts ("" for an empty text)
};

void expectStart(const std::string& decoded, const HostileCase& c) {
    SCOPED_TRACE(std::string(c.piece));
    if (c.start.empty())
        EXPECT_EQ(decoded, "");
    else
        EXPECT_EQ(decoded.substr(0, c.start.size() * 2),
                  std::string(c.start) + std::string(c.start));
}

TEST(HostileInput, HeaderTextOfUnfinishedEncodedWords) {
    const HostileCase cases[] = {{"=?a?B?AAAA", "=?a?B?AAAA"},
                                 {"=?utf-8?Q?a", "=?utf-8?Q?a"},
                                 {"=?x?", "=?x?"},
                                 {"=?iso-2022-jp?B?GyRC?= ", ""}};
    for (const HostileCase& c : cases) expectStart(decodeHeaderText(repeated(c.piece)), c);
}

TEST(HostileInput, HtmlOfAmpersandsAndBreaks) {
    const HostileCase cases[] = {
        {"&", "&"},      {"&#", "&#"},      {"&amp", "&amp"}, {"\x82\xa0&", "\x82\xa0&"},
        {"<br><p>", ""}, {"<div></x>", ""}, {"<b>x</i>", "x"}};
    for (const HostileCase& c : cases) expectStart(htmlToText(repeated(c.piece)), c);
    std::string tag = "<a";  // a tag of many attributes
    for (int i = 0; tag.size() < kHostileSize; ++i) tag += " a" + std::to_string(i);
    EXPECT_EQ(htmlToText(tag + ">x"), "x");
}

// The whole decoding step, where the MIME parser reads the same headers first.
TEST(HostileInput, WholeMailWithHostileHeadersAndHtml) {
    const std::string words = repeated("=?a?B?AAAA", kHostileSize / 8);
    const std::string fields[] = {"Subject", "Date", "Message-ID", "From", "Content-Description"};
    std::string raw;
    for (const std::string& field : fields) raw += field + ": " + words + "\r\n";
    raw +=
        "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
        "Content-Type: text/html; charset=utf-8\r\n\r\n" +
        repeated("&", kHostileSize / 4) +
        "\r\n--b\r\nContent-Type: application/octet-stream; name=\"" + words +
        "\"\r\n\r\nxx\r\n--b\r\nContent-Type: message/rfc822\r\n\r\nSubject: " + words +
        "\r\n\r\ninner\r\n--b--\r\n";
    mime_test::TempFolder folder("hostile");
    DecodedMail out;
    std::string error;
    EXPECT_GE(decodeMailAndSaveAttachments(raw, folder.inbox(), out, error), 0) << error;
    EXPECT_EQ(out.body.substr(0, 3), "&&&");
}

}  // namespace
}  // namespace tsubame
