#include "smtp/smtp_attachment.h"

#include <algorithm>
#include <vector>

#include "mime/mime_charset.h"
#include "smtp/smtp_header_encode.h"
#include "smtp/smtp_message.h"

namespace tsubame {
namespace {

constexpr std::size_t kMaxSectionLength = 60;  // keeps every header line short
constexpr std::size_t kBase64LineLength = 76;

bool isPlainParameterValue(std::string_view value) {
    if (value.empty() || value.size() > kMaxSectionLength) return false;
    if (value.find("=?") != std::string_view::npos) return false;
    return std::all_of(value.begin(), value.end(),
                       [](char c) { return c >= 0x20 && c <= 0x7E && c != '"' && c != '\\'; });
}

bool isAttributeChar(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

// Percent-encoded pieces of the value, one per byte, so sections never split an escape.
std::vector<std::string> percentEncoded(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::vector<std::string> pieces;
    for (char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (isAttributeChar(byte))
            pieces.emplace_back(1, c);
        else
            pieces.push_back({'%', kHex[byte >> 4], kHex[byte & 15]});
    }
    return pieces;
}

bool looksLikeIso2022jp(std::string_view content) {
    return isAscii(content) && (content.find("\x1b$B") != std::string_view::npos ||
                                content.find("\x1b$@") != std::string_view::npos);
}

}  // namespace

std::string attachmentContentType(std::string_view fileName, std::string_view content) {
    const std::string type = mimeTypeForFileName(fileName);
    if (type.rfind("text/", 0) != 0) return type;
    if (content.find('\0') != std::string_view::npos) return "application/octet-stream";
    if (looksLikeIso2022jp(content)) return type + "; charset=ISO-2022-JP";
    if (isValidUtf8(content)) return type + "; charset=UTF-8";
    return "application/octet-stream";
}

std::string mimeParameter(std::string_view name, std::string_view utf8Value) {
    const std::string attribute(name);
    if (isPlainParameterValue(utf8Value)) return attribute + "=\"" + std::string(utf8Value) + "\"";
    std::vector<std::string> sections(1, "UTF-8''");
    for (const std::string& piece : percentEncoded(utf8Value)) {
        if (sections.back().size() + piece.size() > kMaxSectionLength) sections.emplace_back();
        sections.back() += piece;
    }
    if (sections.size() == 1) return attribute + "*=" + sections.front();
    std::string out;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (i > 0) out += ";\r\n ";
        out += attribute + "*" + std::to_string(i) + "*=" + sections[i];
    }
    return out;
}

std::string attachmentPart(std::string_view utf8FileName, std::string_view content) {
    std::string part = "Content-Type: " + attachmentContentType(utf8FileName, content) + ";\r\n " +
                       mimeParameter("name", utf8FileName) + "\r\n";
    part +=
        "Content-Disposition: attachment;\r\n " + mimeParameter("filename", utf8FileName) + "\r\n";
    part += "Content-Transfer-Encoding: base64\r\n\r\n";
    const std::string base64 = encodeBase64(content);
    for (std::size_t start = 0; start < base64.size(); start += kBase64LineLength) {
        if (start > 0) part += "\r\n";
        part += base64.substr(start, kBase64LineLength);
    }
    return part;
}

}  // namespace tsubame
