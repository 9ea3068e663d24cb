// The MIME decoding step on arbitrary bytes: parsing never crashes, texts come out as
// code page 932 with CR LF line ends, header texts are one line, and every attachment name
// is made safe for the attachment folder. Nothing is written to disk here; the file
// writing itself is covered by the unit tests.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/cp932.h"
#include "mime/iso2022jp.h"
#include "mime/mime_attachment_files.h"
#include "mime/mime_charset.h"
#include "mime/mime_header_text.h"
#include "mime/mime_html_text.h"
#include "mime/mime_params.h"
#include "mime/mime_parse.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void checkCp932(std::string_view text) {
    require(tsubame::cp932SafeCut(text, text.size()) == text.size());
}

void checkOneLine(std::string_view text) {
    checkCp932(text);
    require(text.find('\r') == std::string_view::npos && text.find('\n') == std::string_view::npos);
}

void checkCrLf(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') require(i > 0 && text[i - 1] == '\r');
        if (text[i] == '\r') require(i + 1 < text.size() && text[i + 1] == '\n');
        require(text[i] != '\0');
    }
}

void checkFileName(const std::string& name) {
    if (name.empty()) return;
    require(name.size() <= tsubame::kMaxFileNameBytes);
    require(name.find('/') == std::string::npos && name.find('\\') == std::string::npos);
    require(name[0] != '.' && name[0] != ' ');
    for (char c : name) require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const tsubame::ParsedMail mail = tsubame::parseMail(input);
    checkOneLine(mail.headers.subject);
    checkOneLine(mail.headers.from);
    checkOneLine(mail.headers.date);
    checkCp932(mail.body);
    checkCrLf(mail.body);
    for (const tsubame::MailAttachment& attachment : mail.attachments)
        checkFileName(tsubame::safeAttachmentFileName(attachment.name));

    // The building blocks on their own, where the parser would not reach every byte.
    checkOneLine(tsubame::decodeHeaderText(input));
    checkCp932(tsubame::findParameterCp932(input, "filename"));
    checkFileName(tsubame::safeAttachmentFileName(input));
    checkCp932(tsubame::htmlToText(tsubame::sanitizeCp932(input)));
    checkCp932(tsubame::charsetToCp932(input, "ISO-2022-JP"));
    checkCp932(tsubame::charsetToCp932(input, "EUC-JP"));
    checkCp932(tsubame::guessToCp932(input));
    return 0;
}
