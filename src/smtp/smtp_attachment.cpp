#include "smtp/smtp_attachment.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "mime/mime_charset.h"
#include "smtp/smtp_header_encode.h"
#include "smtp/smtp_message.h"

namespace tsubame {
namespace {

constexpr std::size_t kMaxSectionLength = 60;  // keeps every header line short
constexpr std::size_t kBase64LineLength = 76;
constexpr std::size_t kBytesPerLine = kBase64LineLength / 4 * 3;
constexpr std::size_t kLinesPerPiece = 1024;  // 57 KB of the file at a time

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

std::string attachmentPartHeader(std::string_view utf8FileName, std::string_view contentType) {
    std::string header = "Content-Type: " + std::string(contentType) + ";\r\n " +
                         mimeParameter("name", utf8FileName) + "\r\n";
    header +=
        "Content-Disposition: attachment;\r\n " + mimeParameter("filename", utf8FileName) + "\r\n";
    header += "Content-Transfer-Encoding: base64\r\n\r\n";
    return header;
}

Base64FileContent::Base64FileContent(UniqueFd file, std::uint64_t size)
    : file_(std::move(file)), size_(size) {}

std::uint64_t Base64FileContent::encodedSize() const {
    const std::uint64_t characters = (size_ + 2) / 3 * 4;
    const std::uint64_t lines = (characters + kBase64LineLength - 1) / kBase64LineLength;
    return characters + (lines > 0 ? (lines - 1) * 2 : 0);
}

void Base64FileContent::rewind() {
    encodedFrom_ = 0;
    piece_.clear();
    pieceAt_ = 0;
}

std::ptrdiff_t Base64FileContent::read(char* out, std::size_t room) {
    if (pieceAt_ == piece_.size()) {
        if (encodedFrom_ == size_) return 0;
        if (!encodeNextPiece()) return -1;
    }
    const std::size_t n = std::min(room, piece_.size() - pieceAt_);
    std::memcpy(out, piece_.data() + pieceAt_, n);
    pieceAt_ += n;
    return static_cast<std::ptrdiff_t>(n);
}

bool Base64FileContent::encodeNextPiece() {
    const std::size_t want = static_cast<std::size_t>(
        std::min<std::uint64_t>(kBytesPerLine * kLinesPerPiece, size_ - encodedFrom_));
    std::string bytes(want, '\0');
    std::size_t got = 0;
    if (!readAt(file_.get(), bytes.data(), want, static_cast<std::int64_t>(encodedFrom_), &got) ||
        got != want)
        return false;
    // Whole lines of the file encode without padding, so pieces join into one encoding.
    const std::string base64 = encodeBase64(bytes);
    piece_.clear();
    pieceAt_ = 0;
    for (std::size_t start = 0; start < base64.size(); start += kBase64LineLength) {
        if (encodedFrom_ > 0 || start > 0) piece_ += "\r\n";
        piece_.append(base64, start, kBase64LineLength);
    }
    encodedFrom_ += want;
    return true;
}

}  // namespace tsubame
