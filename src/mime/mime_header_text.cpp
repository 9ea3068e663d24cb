#include "mime/mime_header_text.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "mime/base64_decode.h"
#include "mime/mime_charset.h"

namespace tsubame {
namespace {

struct EncodedWord {
    std::string charset;  // lower case, language suffix removed
    std::string bytes;    // the decoded octets, still in charset
    std::size_t length;   // length of the word in the source text
};

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string decodeQ(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '_') {
            out.push_back(' ');
        } else if (c == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Finds the "?=" that ends an encoded word. The words are tried left to right and the search
// start only moves forward, so the last answer is reused while it lies ahead: a header of
// unfinished words ("=?a?B?AAAA" repeated) is scanned once, not once per word.
class WordEndFinder {
  public:
    explicit WordEndFinder(std::string_view text) : text_(text) {}
    std::size_t from(std::size_t start) {
        if (!searched_ || (found_ != std::string_view::npos && found_ < start)) {
            found_ = text_.find("?=", start);
            searched_ = true;
        }
        return found_;
    }

  private:
    std::string_view text_;
    std::size_t found_ = std::string_view::npos;
    bool searched_ = false;
};

// Parses "=?charset?B|Q?text?=" at text[start]; nothing when it is not a valid word.
std::optional<EncodedWord> parseEncodedWord(std::string_view text, std::size_t start,
                                            WordEndFinder& wordEnd) {
    if (text.substr(start, 2) != "=?") return std::nullopt;
    std::size_t charsetEnd = text.find('?', start + 2);
    if (charsetEnd == std::string_view::npos || charsetEnd + 2 >= text.size() ||
        text[charsetEnd + 2] != '?')
        return std::nullopt;
    char encoding =
        static_cast<char>(std::toupper(static_cast<unsigned char>(text[charsetEnd + 1])));
    if (encoding != 'B' && encoding != 'Q') return std::nullopt;
    std::size_t textStart = charsetEnd + 3;
    std::size_t textEnd = wordEnd.from(textStart);
    if (textEnd == std::string_view::npos) return std::nullopt;
    std::string_view charset = text.substr(start + 2, charsetEnd - start - 2);
    std::string_view payload = text.substr(textStart, textEnd - textStart);
    auto hasBlank = [](std::string_view s) { return std::any_of(s.begin(), s.end(), isBlank); };
    if (charset.empty() || hasBlank(charset) || hasBlank(payload)) return std::nullopt;
    charset = charset.substr(0, charset.find('*'));  // RFC 2231 language suffix
    EncodedWord word;
    for (char c : charset)
        word.charset.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    word.bytes = encoding == 'B' ? decodeBase64(payload) : decodeQ(payload);
    word.length = textEnd + 2 - start;
    return word;
}

}  // namespace

std::string decodeBase64(std::string_view text) {
    // An encoded word ends at its padding: nothing after the first "=" counts.
    return decodeBase64Leniently(text.substr(0, text.find('=')));
}

std::string unfoldHeader(std::string_view rawValue) {
    std::string out;
    out.reserve(rawValue.size());
    for (std::size_t i = 0; i < rawValue.size(); ++i) {
        char c = rawValue[i];
        if (c == '\r' || c == '\n') continue;  // folds keep their blank; bare breaks go
        out.push_back(c);
    }
    return out;
}

namespace {

// What a decoded header text becomes: code page 932 for the record, UTF-8 for file names.
struct TextTarget {
    std::string (*convert)(std::string_view bytes, std::string_view charset);
    void (*appendOneLine)(std::string& out, std::string_view text);
};

std::string decodeHeaderTextTo(std::string_view rawValue, const TextTarget& target) {
    const std::string text = unfoldHeader(rawValue);
    std::string out;
    std::optional<EncodedWord> pending;  // words of one charset waiting to be converted
    std::string pendingGap;              // blanks after the pending words
    auto flush = [&] {
        if (!pending) return;
        target.appendOneLine(out, target.convert(pending->bytes, pending->charset));
        pending.reset();
    };
    auto appendRaw = [&](std::string_view raw) {
        if (raw.empty()) return;
        if (pending && std::all_of(raw.begin(), raw.end(), isBlank)) {
            pendingGap = std::string(raw);  // dropped if another word follows
            return;
        }
        flush();
        out.append(pendingGap);
        pendingGap.clear();
        target.appendOneLine(out, target.convert(raw, ""));
    };
    std::size_t pos = 0;
    std::size_t searchFrom = 0;
    WordEndFinder wordEnd(text);
    while (true) {
        std::size_t start = text.find("=?", searchFrom);
        if (start == std::string::npos) break;
        std::optional<EncodedWord> word = parseEncodedWord(text, start, wordEnd);
        if (!word) {
            searchFrom = start + 2;
            continue;
        }
        appendRaw(std::string_view(text).substr(pos, start - pos));
        pos = start + word->length;
        searchFrom = pos;
        if (pending && pending->charset == word->charset) {
            pending->bytes += word->bytes;
        } else {
            flush();
            pending = std::move(word);
        }
        pendingGap.clear();
    }
    appendRaw(std::string_view(text).substr(pos));
    flush();
    out.append(pendingGap);
    // Trim blanks at both ends.
    std::size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    std::size_t last = out.find_last_not_of(' ');
    return out.substr(first, last - first + 1);
}

}  // namespace

std::string decodeHeaderText(std::string_view rawValue) {
    return decodeHeaderTextTo(rawValue, {charsetToCp932, appendCp932OneLine});
}

std::string decodeHeaderTextUtf8(std::string_view rawValue) {
    return decodeHeaderTextTo(rawValue, {charsetToUtf8, appendUtf8OneLine});
}

std::string findRawHeader(std::string_view rawHeader, std::string_view name) {
    std::size_t lineStart = 0;
    while (lineStart < rawHeader.size()) {
        std::size_t lineEnd = rawHeader.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = rawHeader.size();
        std::string_view line = rawHeader.substr(lineStart, lineEnd - lineStart);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) break;  // end of the header block
        std::size_t colon = line.find(':');
        if (!isBlank(line[0]) && colon != std::string_view::npos) {
            std::string_view fieldName = line.substr(0, colon);
            while (!fieldName.empty() && isBlank(fieldName.back())) fieldName.remove_suffix(1);
            if (equalsIgnoreCase(fieldName, name)) {
                std::string value(line.substr(colon + 1));
                // Gather the continuation lines.
                std::size_t next = lineEnd + 1;
                while (next < rawHeader.size() && isBlank(rawHeader[next])) {
                    std::size_t end = rawHeader.find('\n', next);
                    if (end == std::string_view::npos) end = rawHeader.size();
                    value += "\r\n";
                    value.append(rawHeader.substr(next, end - next));
                    if (!value.empty() && value.back() == '\r') value.pop_back();
                    next = end + 1;
                }
                return value;
            }
        }
        lineStart = lineEnd + 1;
    }
    return {};
}

}  // namespace tsubame
