#include "app/send_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "app/command_line.h"
#include "app/send_command_mail.h"
#include "core/file_io.h"

namespace tsubame {
namespace {

void printError(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

// One token of an address: an atom, a quoted string, a domain literal, or a special.
struct Token {
    enum class Kind { Atom, Quoted, Literal, Special } kind;
    std::string text;  // as written, quotes and brackets included
};

enum class LexResult { Ok, LineBreak, Broken };

bool isSpecial(char c) { return std::strchr("()<>[]:;@\\,.\"", c) != nullptr; }

// Splits text into tokens, dropping blanks and comments.
LexResult tokenize(std::string_view text, std::vector<Token>& tokens) {
    // Not even quoted: a line break would reach the SMTP dialogue.
    if (text.find_first_of("\r\n") != std::string_view::npos) return LexResult::LineBreak;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7F) return LexResult::Broken;
    }
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ' || c == '\t') {
            ++i;
        } else if (c == '(') {
            int depth = 0;
            do {
                if (i >= text.size()) return LexResult::Broken;
                if (text[i] == '\\')
                    ++i;
                else if (text[i] == '(')
                    ++depth;
                else if (text[i] == ')')
                    --depth;
                ++i;
            } while (depth > 0);
        } else if (c == '"' || c == '[') {
            const char close = c == '"' ? '"' : ']';
            const std::size_t start = i++;
            while (i < text.size() && text[i] != close) i += text[i] == '\\' ? 2 : 1;
            if (i >= text.size()) return LexResult::Broken;
            ++i;
            tokens.push_back({c == '"' ? Token::Kind::Quoted : Token::Kind::Literal,
                              std::string(text.substr(start, i - start))});
        } else if (isSpecial(c)) {
            tokens.push_back({Token::Kind::Special, std::string(1, c)});
            ++i;
        } else {
            const std::size_t start = i;
            while (i < text.size() && !isSpecial(text[i]) && text[i] != ' ' && text[i] != '\t') ++i;
            tokens.push_back({Token::Kind::Atom, std::string(text.substr(start, i - start))});
        }
    }
    return LexResult::Ok;
}

class AddressReader {
  public:
    explicit AddressReader(const std::vector<Token>& tokens) : tokens_(tokens) {}

    bool atEnd() const { return at_ == tokens_.size(); }
    bool isSpecial(char c) const {
        return !atEnd() && tokens_[at_].kind == Token::Kind::Special && tokens_[at_].text[0] == c;
    }
    bool take(char c) {
        if (!isSpecial(c)) return false;
        ++at_;
        return true;
    }
    bool isWord() const {
        return !atEnd() &&
               (tokens_[at_].kind == Token::Kind::Atom || tokens_[at_].kind == Token::Kind::Quoted);
    }
    // local-part "@" domain, written without blanks or comments.
    std::optional<std::string> addrSpec() {
        std::string out;
        do {
            if (!isWord()) return std::nullopt;
            out += tokens_[at_++].text;
        } while (take('.') && (out += '.', true));
        if (!take('@')) return std::nullopt;
        out += '@';
        if (!atEnd() && tokens_[at_].kind == Token::Kind::Literal) {
            out += tokens_[at_++].text;
            return out;
        }
        do {
            if (atEnd() || tokens_[at_].kind != Token::Kind::Atom) return std::nullopt;
            out += tokens_[at_++].text;
        } while (take('.') && (out += '.', true));
        return out;
    }
    // A display name: words, and the dots older mailers leave unquoted in it.
    void skipPhrase() {
        while (isWord() || isSpecial('.')) ++at_;
    }

  private:
    const std::vector<Token>& tokens_;
    std::size_t at_ = 0;
};

bool hasSpecial(const std::vector<Token>& tokens, char c) {
    for (const Token& token : tokens)
        if (token.kind == Token::Kind::Special && token.text[0] == c) return true;
    return false;
}

// The attachment list as the send call takes it; nullopt (after a message) on a bad path.
std::optional<std::string> attachmentList(const std::vector<std::string>& paths) {
    std::string list;
    for (const std::string& path : paths) {
        struct stat info {};
        // A FIFO is read once, by the send.
        if (::stat(path.c_str(), &info) != 0 ||
            (!S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode))) {
            printError("添付ファイルが見つかりません: " + path);
            return std::nullopt;
        }
        std::error_code error;
        const std::string absolute =
            std::filesystem::absolute(path, error).lexically_normal().string();
        // The list is comma separated, so a comma inside a path would split it.
        if (absolute.find(',') != std::string::npos) {
            printError("「,」を含むパスは添付できません: " + absolute);
            return std::nullopt;
        }
        if (!list.empty()) list += ',';
        list += absolute;
    }
    return list;
}

// The length of the valid UTF-8 sequence at text[i], or 0.
std::size_t utf8SequenceAt(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    char32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() - i < length) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

// Each byte that starts no valid UTF-8 sequence becomes U+FFFD; valid text is left as it is.
void repairUtf8(std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && utf8SequenceAt(text, i) != 0) i += utf8SequenceAt(text, i);
    if (i == text.size()) return;
    std::string repaired = text.substr(0, i);
    while (i < text.size()) {
        const std::size_t length = utf8SequenceAt(text, i);
        if (length == 0) {
            repaired += "\xEF\xBF\xBD";
            ++i;
        } else {
            repaired.append(text, i, length);
            i += length;
        }
    }
    text = std::move(repaired);
}

}  // namespace

std::optional<std::string> singleMailbox(std::string_view to, std::string& error) {
    const std::string shown(to);
    std::vector<Token> tokens;
    const LexResult lexed = tokenize(to, tokens);
    const std::string oneOnly =
        "--to には宛先を 1 つだけ指定してください (「,」「;」や空白で区切った複数の宛先、改行は"
        "使えません): " +
        shown;
    if (lexed == LexResult::LineBreak) {
        error = oneOnly;
        return std::nullopt;
    }
    if (hasSpecial(tokens, ':')) {
        error = "--to にグループ (「名前: 宛先;」) は指定できません: " + shown;
        return std::nullopt;
    }
    if (hasSpecial(tokens, ',') || hasSpecial(tokens, ';')) {
        error = oneOnly;
        return std::nullopt;
    }
    std::optional<std::string> address;
    if (lexed == LexResult::Ok) {
        AddressReader reader(tokens);
        if (hasSpecial(tokens, '<')) {
            reader.skipPhrase();
            if (reader.take('<')) address = reader.addrSpec();
            if (address && !reader.take('>')) address.reset();
        } else {
            address = reader.addrSpec();
        }
        // Anything after the one address would be a second one.
        if (address && !reader.atEnd()) {
            error = oneOnly;
            return std::nullopt;
        }
    }
    if (!address) error = "--to のメールアドレスが正しくありません: " + shown;
    return address;
}

std::optional<std::string> readBodyFile(const std::string& path) {
    // Blocking: a FIFO waits for its writer, as any reader of it would.
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (!file.valid() || ::fstat(file.get(), &info) != 0 || S_ISDIR(info.st_mode))
        return std::nullopt;
    std::string body;
    // Room for the CR a short line gains, so that a regular file is not copied while growing.
    if (S_ISREG(info.st_mode)) {
        const auto size = static_cast<std::size_t>(info.st_size);
        body.reserve(size + size / 16 + 16);
    }
    std::vector<char> buffer(64 * 1024);
    bool afterCr = false;  // the last piece ended in CR: an LF starting the next belongs to it
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        std::string_view piece(buffer.data(), static_cast<std::size_t>(got));
        if (afterCr && piece.front() == '\n') piece.remove_prefix(1);
        afterCr = false;
        // Lone LF and lone CR become CR LF, the line break the send call expects.
        while (!piece.empty()) {
            const std::size_t end = piece.find_first_of("\r\n");
            if (end == std::string_view::npos) {
                body.append(piece);
                break;
            }
            body.append(piece.substr(0, end)).append("\r\n");
            const bool crLf =
                piece[end] == '\r' && end + 1 < piece.size() && piece[end + 1] == '\n';
            afterCr = piece[end] == '\r' && end + 1 == piece.size();
            piece.remove_prefix(end + (crLf ? 2 : 1));
        }
    }
    if (body.starts_with("\xEF\xBB\xBF")) body.erase(0, 3);
    repairUtf8(body);
    return body;
}

int runSendCommand(const AppPaths& paths, const AccountSettings& account, MailLibrary& mail,
                   const SendCommand& command, StopSignals* stopSignals) {
    if (command.to.size() != 1) {
        printError("--to は 1 回だけ指定してください (宛先は 1 つです)");
        return 1;
    }
    std::string error;
    const std::optional<std::string> to = singleMailbox(command.to.front(), error);
    if (!to) {
        printError(error);
        return 1;
    }
    std::optional<std::string> attachments = attachmentList(command.attachments);
    if (!attachments) return 1;
    std::optional<std::string> body = readBodyFile(command.bodyFile);
    if (!body) {
        printError("本文ファイルを開けません: " + command.bodyFile);
        return 1;
    }

    OutgoingMessage message;
    message.subject = command.subject;
    message.body = std::move(*body);
    message.attachments = std::move(*attachments);
    message.fortune = command.fortune;
    return sendCommandMail(paths, account, mail, *to, std::move(message), stopSignals);
}

}  // namespace tsubame
