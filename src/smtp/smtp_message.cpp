#include "smtp/smtp_message.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <random>

#include "core/cp932.h"
#include "core/file_io.h"
#include "core/system_error_text.h"
#include "mime/iso2022jp.h"
#include "mime/mime_charset.h"
#include "mime/mime_gmime.h"
#include "mime/mime_parse.h"
#include "smtp/smtp_attachment.h"
#include "smtp/smtp_header_encode.h"
#include "smtp/smtp_text.h"

namespace tsubame {
namespace {

constexpr std::size_t kMaxLineLength = 998;
constexpr std::size_t kBase64LineLength = 76;

struct AddressField {
    std::string header;              // encoded, ready for the header line
    std::vector<std::string> addrs;  // addr-specs
};

void collectMailboxes(InternetAddressList* list, std::vector<std::string>& out) {
    const int count = internet_address_list_length(list);
    for (int i = 0; i < count; ++i) {
        InternetAddress* address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
            const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
            if (addr && *addr) out.emplace_back(addr);
        } else if (INTERNET_ADDRESS_IS_GROUP(address)) {
            collectMailboxes(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)),
                             out);
        }
    }
}

std::string withoutLineBreaks(std::string_view text) {
    std::string out(text);
    std::replace_if(
        out.begin(), out.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return out;
}

// Folds an address list after its commas so that no line grows past 78 characters.
std::string foldAddressList(const std::string& value, std::size_t firstLineUsed) {
    std::string out;
    std::size_t lineLength = firstLineUsed;
    std::size_t start = 0;
    while (start < value.size()) {
        std::size_t comma = value.find(", ", start);
        std::size_t end = comma == std::string::npos ? value.size() : comma + 1;
        std::string_view piece = std::string_view(value).substr(start, end - start);
        if (start > 0) {
            if (lineLength + 1 + piece.size() > 78) {
                out += "\r\n";
                lineLength = 0;
            }
            out += ' ';
            ++lineLength;
        }
        out.append(piece);
        lineLength += piece.size();
        start = comma == std::string::npos ? value.size() : comma + 2;
    }
    return out;
}

AddressField parseAddresses(std::string_view utf8Addresses, std::string_view headerName) {
    AddressField field;
    const std::string utf8 = withoutLineBreaks(utf8Addresses);
    if (trimBlanks(utf8).empty()) return field;
    GObjectPtr<InternetAddressList> list(internet_address_list_parse(nullptr, utf8.c_str()));
    if (!list) return field;
    collectMailboxes(list.get(), field.addrs);
    GCharPtr text(internet_address_list_to_string(list.get(), nullptr, TRUE));
    if (text) field.header = foldAddressList(withoutLineBreaks(text.get()), headerName.size() + 2);
    return field;
}

// The file title of an attachment path, in UTF-8.
std::string fileTitle(std::string_view path, MailTextForm form) {
    if (form == MailTextForm::Utf8) {
        // A native path: only "/" separates, and bytes that are not UTF-8 are replaced.
        const std::size_t slash = path.rfind('/');
        return validUtf8(slash == std::string_view::npos ? path : path.substr(slash + 1));
    }
    // Both separators count: the compose window may hand over a Windows-style path. The
    // second byte of a double-byte character is never taken for a separator.
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (isCp932Pair(path, i))
            ++i;
        else if (c == '/' || c == '\\')
            start = i + 1;
    }
    return cp932ToUtf8(path.substr(start));
}

// The path as the file system takes it.
std::string nativePath(const std::string& path, MailTextForm form) {
    return form == MailTextForm::Utf8 ? path : cp932ToUtf8(path);
}

// A text of the mail in UTF-8.
std::string utf8Text(std::string_view text, MailTextForm form) {
    return form == MailTextForm::Utf8 ? validUtf8(text) : cp932ToUtf8(text);
}

// The size of a file and a descriptor to read it; false with errno's value when it cannot be
// read.
bool openAttachment(const std::string& path, UniqueFd& file, std::uint64_t& size, int& error) {
    file = openFile(path, O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (!file.valid() || ::fstat(file.get(), &st) != 0) {
        error = errno ? errno : ENOENT;
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = EISDIR;
        return false;
    }
    size = static_cast<std::uint64_t>(st.st_size);
    if (S_ISREG(st.st_mode)) return true;
    // A FIFO or a device is read once, into a file in memory: its content type and its
    // encoding read it at offsets, and a second session sends it again.
    UniqueFd copy(::memfd_create("tsubame-attachment", MFD_CLOEXEC));
    size = 0;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) break;
        if (got < 0 || !copy.valid() ||
            !writeAt(copy.get(), buffer, static_cast<std::size_t>(got),
                     static_cast<std::int64_t>(size))) {
            error = errno ? errno : EIO;
            return false;
        }
        size += static_cast<std::uint64_t>(got);
    }
    file = std::move(copy);
    return true;
}

// The content type of an opened attachment. Only a text type looks at the bytes (for their
// charset); its file is then read whole once.
std::optional<std::string> contentTypeOf(const std::string& title, int fd, std::uint64_t size) {
    if (mimeTypeForFileName(title).rfind("text/", 0) != 0) return attachmentContentType(title, {});
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::size_t got = 0;
    if (!readAt(fd, bytes.data(), bytes.size(), 0, &got) || got != bytes.size())
        return std::nullopt;
    return attachmentContentType(title, bytes);
}

bool hasLongLine(std::string_view text) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::size_t length = end - start;
        if (length > 0 && end < text.size() && text[end - 1] == '\r') --length;
        if (length > kMaxLineLength) return true;
        start = end + 1;
    }
    return false;
}

std::string domainOf(const std::string& addr) {
    const std::size_t at = addr.rfind('@');
    std::string domain = at == std::string::npos ? "" : addr.substr(at + 1);
    return domain.empty() ? "localhost" : domain;
}

// Extra header lines that are well formed and do not replace the ones written here.
std::string extraHeaderLines(std::string_view utf8) {
    static constexpr std::string_view kOwn[] = {
        "from", "to",         "cc",           "bcc",          "subject",
        "date", "message-id", "mime-version", "content-type", "content-transfer-encoding"};
    std::string out;
    std::size_t start = 0;
    while (start < utf8.size()) {
        std::size_t end = utf8.find('\n', start);
        if (end == std::string_view::npos) end = utf8.size();
        std::string_view line = utf8.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::size_t colon = line.find(':');
        if (colon == 0 || colon == std::string_view::npos) continue;
        std::string name(line.substr(0, colon));
        if (!std::all_of(name.begin(), name.end(), [](char c) { return c > 0x20 && c < 0x7F; }))
            continue;
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (std::find(std::begin(kOwn), std::end(kOwn), lower) != std::end(kOwn)) continue;
        out += name + ": " + encodeHeaderValueUtf8(trimBlanks(line.substr(colon + 1))) + "\r\n";
    }
    return out;
}

std::string nowAsHeaderDate() {
    GDateTime* now = g_date_time_new_now_local();
    GCharPtr text(g_mime_utils_header_format_date(now));
    g_date_time_unref(now);
    return text ? text.get() : "";
}

// A boundary made of random letters that occurs nowhere in the texts it separates. The
// attachments' contents are base64, which has no "_".
std::string newBoundary(const std::vector<std::string>& texts) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    for (;;) {
        std::string boundary = "=_Tsubame_";
        for (int i = 0; i < 24; ++i) boundary += kLetters[random() % (sizeof kLetters - 1)];
        if (std::none_of(texts.begin(), texts.end(), [&](const std::string& text) {
                return text.find(boundary) != std::string::npos;
            }))
            return boundary;
    }
}

// An attachment ready to go: its part's header lines and its open file.
struct OpenedAttachment {
    std::string header;
    Base64FileContent content;
};

// Appends multipart/mixed of the text part and the attachments to message: its Content-Type
// header line and its body, each content placed after its part's header lines.
void appendMixedMultipart(BuiltMessage& built, const std::string& bodyHeader, TextBodyContent body,
                          std::vector<OpenedAttachment>& attachments) {
    std::vector<std::string> texts{bodyHeader};
    for (const OpenedAttachment& attachment : attachments) texts.push_back(attachment.header);
    std::string boundary = newBoundary(texts);
    while (body.contains(boundary)) boundary = newBoundary(texts);
    std::string& text = built.text;
    text += "Content-Type: multipart/mixed;\r\n boundary=\"" + boundary + "\"\r\n\r\n";
    // The CR LF before each boundary line belongs to the boundary, not to the part.
    text += "--" + boundary + "\r\n" + bodyHeader;
    built.contents.push_back({text.size(), std::move(body)});
    text += "\r\n";
    for (OpenedAttachment& attachment : attachments) {
        text += "--" + boundary + "\r\n" + attachment.header;
        built.contents.push_back({text.size(), std::move(attachment.content)});
        text += "\r\n";
    }
    text += "--" + boundary + "--\r\n";
}

}  // namespace

std::string mimeTypeForFileName(std::string_view fileName) {
    static const std::pair<std::string_view, std::string_view> kTypes[] = {
        {"txt", "text/plain"},
        {"htm", "text/html"},
        {"html", "text/html"},
        {"csv", "text/csv"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"png", "image/png"},
        {"gif", "image/gif"},
        {"bmp", "image/bmp"},
        {"pdf", "application/pdf"},
        {"zip", "application/zip"},
        {"lzh", "application/x-lzh"},
        {"doc", "application/msword"},
        {"xls", "application/vnd.ms-excel"},
        {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
        {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
        {"mp3", "audio/mpeg"},
        {"wav", "audio/wav"},
    };
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos) return "application/octet-stream";
    std::string extension;
    for (char c : fileName.substr(dot + 1))
        extension.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    for (const auto& [ext, type] : kTypes)
        if (ext == extension) return std::string(type);
    return "application/octet-stream";
}

std::optional<BuiltMessage> buildMessage(const OutgoingMail& mail, std::string& error) {
    ensureGMimeInitialized();
    const MailTextForm form = mail.textForm;
    BuiltMessage built;
    const AddressField from = parseAddresses(utf8Text(mail.from, form), "From");
    const AddressField to = parseAddresses(utf8Text(mail.to, form), "To");
    const AddressField cc = parseAddresses(utf8Text(mail.cc, form), "Cc");
    const AddressField bcc = parseAddresses(utf8Text(mail.bcc, form), "Bcc");
    if (from.addrs.empty()) {
        error =
            utf8ToCp932("差出人のメールアドレスが正しくありません: " + utf8Text(mail.from, form));
        return std::nullopt;
    }
    for (const AddressField* field : {&to, &cc, &bcc})
        built.envelopeTo.insert(built.envelopeTo.end(), field->addrs.begin(), field->addrs.end());
    if (built.envelopeTo.empty()) {
        error = utf8ToCp932("宛先のメールアドレスが正しくありません: " + utf8Text(mail.to, form));
        return std::nullopt;
    }
    built.envelopeFrom = from.addrs.front();

    // The body is read where it is unless it has to be converted first.
    std::shared_ptr<const std::string> converted;
    std::string_view bodyText = mail.body;
    if (form != MailTextForm::Utf8 || !isValidUtf8(bodyText)) {
        converted = std::make_shared<const std::string>(utf8Text(mail.body, form));
        bodyText = *converted;
    }
    TextBodyContent body(std::move(converted), bodyText);
    const std::string bodyHeader =
        std::string("Content-Type: text/plain; charset=") + body.charset() +
        "\r\nContent-Transfer-Encoding: " + body.transferEncoding() + "\r\n\r\n";

    // Open every attachment first: a missing one stops the send before anything goes out.
    std::vector<OpenedAttachment> opened;
    for (const std::string& path : mail.attachments) {
        UniqueFd file;
        std::uint64_t size = 0;
        int readError = 0;
        const std::string title = fileTitle(path, form);
        std::optional<std::string> type;
        if (openAttachment(nativePath(path, form), file, size, readError))
            type = contentTypeOf(title, file.get(), size);
        if (!type) {
            error = utf8ToCp932("添付ファイルを読み込めません: " + utf8Text(path, form) + ": " +
                                systemErrorText(readError ? readError : EIO));
            return std::nullopt;
        }
        opened.push_back({attachmentPartHeader(title, *type), {std::move(file), size}});
    }

    std::string& message = built.text;
    message += "From: " + from.header + "\r\n";
    if (!to.header.empty()) message += "To: " + to.header + "\r\n";
    if (!cc.header.empty()) message += "Cc: " + cc.header + "\r\n";
    message += "Subject: " + encodeHeaderValueUtf8(utf8Text(mail.subject, form)) + "\r\n";
    message += "Date: " + nowAsHeaderDate() + "\r\n";
    GCharPtr messageId(g_mime_utils_generate_message_id(domainOf(built.envelopeFrom).c_str()));
    message += "Message-ID: <" + std::string(messageId.get()) + ">\r\n";
    message += "MIME-Version: 1.0\r\n";
    message += extraHeaderLines(utf8Text(mail.extraHeaders, form));
    if (opened.empty()) {
        message += bodyHeader;
        built.contents.push_back({message.size(), std::move(body)});
    } else {
        appendMixedMultipart(built, bodyHeader, std::move(body), opened);
    }
    if (hasLongLine(message)) {
        error = utf8ToCp932("メールに長すぎる行があります");
        return std::nullopt;
    }
    return built;
}

TextBodyContent::TextBodyContent(std::shared_ptr<const std::string> owned, std::string_view utf8)
    : owned_(std::move(owned)), text_(utf8) {
    // ISO-2022-JP when every line goes to code page 932 and back unchanged and fits it.
    std::uint64_t isoBytes = 0;
    std::uint64_t breaks = 0;
    for (std::size_t at = 0; at < text_.size() && iso2022jp_;) {
        const std::size_t end = std::min(text_.find_first_of("\r\n", at), text_.size());
        const std::string_view line = text_.substr(at, end - at);
        const std::string cp932 = utf8ToCp932(line);
        iso2022jp_ = cp932ToUtf8(cp932) == line && fitsIso2022jp(cp932);
        const std::size_t length = iso2022jp_ ? cp932ToIso2022jp(cp932).size() : 0;
        base64_ = base64_ || length > kMaxLineLength;
        isoBytes += length;
        if (end < text_.size()) ++breaks;
        at = end + (text_.substr(end, 2) == "\r\n" ? 2 : 1);
    }
    std::uint64_t raw = isoBytes + breaks;
    if (!iso2022jp_) {
        base64_ = true;
        raw = text_.size();  // every CR LF becomes one LF
        for (std::size_t at = text_.find("\r\n"); at != std::string_view::npos;
             at = text_.find("\r\n", at + 2))
            --raw;
    }
    if (!base64_) {
        size_ = isoBytes + 2 * breaks;
        return;
    }
    const std::uint64_t characters = (raw + 2) / 3 * 4;
    size_ = characters + (characters + kBase64LineLength - 1) / kBase64LineLength * 2;
}

std::size_t TextBodyContent::nextLine(std::size_t from, std::string& bytes) const {
    const std::size_t end = std::min(text_.find_first_of("\r\n", from), text_.size());
    const std::string_view line = text_.substr(from, end - from);
    if (iso2022jp_)
        bytes = cp932ToIso2022jp(utf8ToCp932(line));
    else
        bytes.assign(line);
    if (end == text_.size()) return end;
    // 7bit goes as the message's lines; base64 encodes them, as GMime did, with LF.
    bytes += base64_ ? "\n" : "\r\n";
    return end + (text_.substr(end, 2) == "\r\n" ? 2 : 1);
}

bool TextBodyContent::contains(std::string_view text) const {
    if (base64_)
        return text.find_first_not_of(
                   "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=") ==
               std::string_view::npos;
    std::string line;
    for (std::size_t at = 0; at < text_.size();) {
        at = nextLine(at, line);
        if (line.find(text) != std::string::npos) return true;
    }
    return false;
}

void TextBodyContent::rewind() {
    textAt_ = 0;
    carry_.clear();
    column_ = 0;
    piece_.clear();
    pieceAt_ = 0;
}

void TextBodyContent::encodeNextPiece() {
    constexpr std::size_t kPieceSize = 64 * 1024;
    piece_.clear();
    pieceAt_ = 0;
    std::string bytes;
    if (!base64_) {
        while (piece_.size() < kPieceSize && textAt_ < text_.size()) {
            textAt_ = nextLine(textAt_, bytes);
            piece_ += bytes;
        }
        return;
    }
    std::string raw = std::move(carry_);
    while (raw.size() < kPieceSize && textAt_ < text_.size()) {
        textAt_ = nextLine(textAt_, bytes);
        raw += bytes;
    }
    // Whole groups of three bytes encode without padding, so pieces join into one encoding.
    const bool last = textAt_ == text_.size();
    const std::size_t whole = last ? raw.size() : raw.size() / 3 * 3;
    carry_ = raw.substr(whole);
    const std::string encoded = encodeBase64(std::string_view(raw).substr(0, whole));
    for (std::size_t at = 0; at < encoded.size();) {
        const std::size_t n = std::min(kBase64LineLength - column_, encoded.size() - at);
        piece_.append(encoded, at, n);
        at += n;
        column_ += n;
        if (column_ == kBase64LineLength) {
            piece_ += "\r\n";
            column_ = 0;
        }
    }
    if (last && column_ > 0) {
        piece_ += "\r\n";
        column_ = 0;
    }
}

std::ptrdiff_t TextBodyContent::read(char* out, std::size_t room) {
    while (pieceAt_ == piece_.size()) {
        if (textAt_ == text_.size() && carry_.empty()) return 0;
        encodeNextPiece();
    }
    const std::size_t n = std::min(room, piece_.size() - pieceAt_);
    std::memcpy(out, piece_.data() + pieceAt_, n);
    pieceAt_ += n;
    return static_cast<std::ptrdiff_t>(n);
}

std::uint64_t BuiltMessage::size() const {
    std::uint64_t total = text.size();
    for (const PlacedContent& placed : contents)
        total +=
            std::visit([](const auto& content) { return content.encodedSize(); }, placed.content);
    return total;
}

BuiltMessageReader::BuiltMessageReader(BuiltMessage& message) : message_(message) {
    for (PlacedContent& placed : message_.contents)
        std::visit([](auto& content) { content.rewind(); }, placed.content);
}

std::ptrdiff_t BuiltMessageReader::read(char* out, std::size_t room) {
    const std::vector<PlacedContent>& contents = message_.contents;
    while (true) {
        const std::size_t textEnd =
            next_ < contents.size() ? contents[next_].at : message_.text.size();
        if (textAt_ < textEnd) {
            const std::size_t n = std::min(room, textEnd - textAt_);
            std::memcpy(out, message_.text.data() + textAt_, n);
            textAt_ += n;
            return static_cast<std::ptrdiff_t>(n);
        }
        if (next_ == contents.size()) return 0;
        const std::ptrdiff_t n =
            std::visit([out, room](auto& content) { return content.read(out, room); },
                       message_.contents[next_].content);
        if (n != 0) return n;
        ++next_;
    }
}

}  // namespace tsubame
