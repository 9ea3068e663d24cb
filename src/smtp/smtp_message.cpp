#include "smtp/smtp_message.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <random>

#include "core/cp932.h"
#include "core/file_io.h"
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

void setContent(GMimePart* part, std::string_view bytes, GMimeContentEncoding encoding) {
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
    GObjectPtr<GMimeDataWrapper> wrapper(
        g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(part, wrapper.get());
    g_mime_part_set_content_encoding(part, encoding);
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

// The text body: ISO-2022-JP in 7bit when everything fits, else UTF-8 in base64. Line
// ends are handed to GMime as LF; it writes them as CR LF.
GObjectPtr<GMimePart> textPart(std::string_view utf8Body) {
    std::string text = toCrLfText(utf8Body);
    GObjectPtr<GMimePart> part(g_mime_part_new_with_type("text", "plain"));
    std::string bytes = text;
    const char* charset = "UTF-8";
    GMimeContentEncoding encoding = GMIME_CONTENT_ENCODING_BASE64;
    if (std::optional<std::string> cp932 = exactCp932(text); cp932 && fitsIso2022jp(*cp932)) {
        bytes = cp932ToIso2022jp(*cp932);
        charset = "ISO-2022-JP";
        if (!hasLongLine(bytes)) encoding = GMIME_CONTENT_ENCODING_7BIT;
    }
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\r'), bytes.end());
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(part.get()), "charset", charset);
    setContent(part.get(), bytes, encoding);
    return part;
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
// header line and its body, each attachment's content placed after its header lines.
void appendMixedMultipart(BuiltMessage& built, const std::string& textPart,
                          std::vector<OpenedAttachment>& attachments) {
    std::vector<std::string> texts{textPart};
    for (const OpenedAttachment& attachment : attachments) texts.push_back(attachment.header);
    const std::string boundary = newBoundary(texts);
    std::string& text = built.text;
    text += "Content-Type: multipart/mixed;\r\n boundary=\"" + boundary + "\"\r\n\r\n";
    // The CR LF before each boundary line belongs to the boundary, not to the part.
    text += "--" + boundary + "\r\n" + textPart + "\r\n";
    for (OpenedAttachment& attachment : attachments) {
        text += "--" + boundary + "\r\n" + attachment.header;
        built.attachments.push_back({text.size(), std::move(attachment.content)});
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

    FormatOptionsPtr options(g_mime_format_options_new());
    g_mime_format_options_set_newline_format(options.get(), GMIME_NEWLINE_FORMAT_DOS);
    GObjectPtr<GMimePart> text = textPart(utf8Text(mail.body, form));
    std::string body = writeMimeObject(GMIME_OBJECT(text.get()), options.get());

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
            error = utf8ToCp932("添付ファイルを読み込めません: " + utf8Text(path, form) + " (" +
                                std::strerror(readError ? readError : EIO) + ")");
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
    if (opened.empty())
        message += body;
    else
        appendMixedMultipart(built, body, opened);
    if (hasLongLine(message)) {
        error = utf8ToCp932("メールに長すぎる行があります");
        return std::nullopt;
    }
    return built;
}

std::uint64_t BuiltMessage::size() const {
    std::uint64_t total = text.size();
    for (const PlacedContent& attachment : attachments) total += attachment.content.encodedSize();
    return total;
}

BuiltMessageReader::BuiltMessageReader(BuiltMessage& message) : message_(message) {
    for (PlacedContent& attachment : message_.attachments) attachment.content.rewind();
}

std::ptrdiff_t BuiltMessageReader::read(char* out, std::size_t room) {
    const std::vector<PlacedContent>& attachments = message_.attachments;
    while (true) {
        const std::size_t textEnd =
            next_ < attachments.size() ? attachments[next_].at : message_.text.size();
        if (textAt_ < textEnd) {
            const std::size_t n = std::min(room, textEnd - textAt_);
            std::memcpy(out, message_.text.data() + textAt_, n);
            textAt_ += n;
            return static_cast<std::ptrdiff_t>(n);
        }
        if (next_ == attachments.size()) return 0;
        const std::ptrdiff_t n = message_.attachments[next_].content.read(out, room);
        if (n != 0) return n;
        ++next_;
    }
}

}  // namespace tsubame
