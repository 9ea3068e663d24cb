#include "mime/mime_html_text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <utility>

#include "core/cp932.h"

namespace tsubame {
namespace {

std::string lowerAscii(std::string_view text) {
    std::string out;
    for (char c : text)
        out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return out;
}

std::string utf8Of(std::uint32_t cp) {
    std::string out;
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
    return out;
}

// Decodes the entity at text[i] ('&'); returns its code page 932 text and length, or
// length 0 when it is not an entity this reader knows.
std::pair<std::string, std::size_t> readEntity(std::string_view text, std::size_t i) {
    // Entities are short: look no further than their longest form, so a text of '&' without
    // ';' is read once, not once per '&'.
    constexpr std::size_t kLongestEntity = 12;
    std::size_t end = text.substr(i, kLongestEntity + 1).find(';');
    if (end == std::string_view::npos) return {{}, 0};
    end += i;
    std::string_view name = text.substr(i + 1, end - i - 1);
    std::uint32_t cp = 0;
    if (!name.empty() && name[0] == '#') {
        bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty()) return {{}, 0};
        for (char c : digits) {
            int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                    : hex && std::isxdigit(static_cast<unsigned char>(c))
                        ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                        : -1;
            if (v < 0) return {{}, 0};
            cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(v);
            if (cp > 0x10FFFF) cp = 0xFFFD;
        }
    } else {
        static constexpr std::array<std::pair<std::string_view, std::uint32_t>, 22> kNamed = {{
            {"amp", '&'},      {"lt", '<'},        {"gt", '>'},       {"quot", '"'},
            {"apos", '\''},    {"nbsp", ' '},      {"copy", 0xA9},    {"reg", 0xAE},
            {"yen", 0xA5},     {"hellip", 0x2026}, {"mdash", 0x2014}, {"ndash", 0x2013},
            {"laquo", 0xAB},   {"raquo", 0xBB},    {"middot", 0xB7},  {"trade", 0x2122},
            {"lsquo", 0x2018}, {"rsquo", 0x2019},  {"ldquo", 0x201C}, {"rdquo", 0x201D},
            {"bull", 0x2022},  {"times", 0xD7},
        }};
        auto it = std::find_if(kNamed.begin(), kNamed.end(),
                               [&](const auto& entry) { return entry.first == name; });
        if (it == kNamed.end()) return {{}, 0};
        cp = it->second;
    }
    if (cp < 0x80) return {std::string(1, static_cast<char>(cp == 0 ? ' ' : cp)), end - i + 1};
    return {utf8ToCp932(utf8Of(cp)), end - i + 1};
}

bool isBlockTag(const std::string& tag) {
    static constexpr std::array<std::string_view, 22> kBlocks = {
        "p",  "div", "tr",    "li",  "h1", "h2", "h3", "h4", "h5",      "h6",      "blockquote",
        "ul", "ol",  "table", "pre", "hr", "dl", "dt", "dd", "section", "article", "address"};
    return std::find(kBlocks.begin(), kBlocks.end(), tag) != kBlocks.end();
}

class TextBuilder {
  public:
    void text(std::string_view piece) {
        for (char c : piece) {
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                pendingBlank_ = !out_.empty() && out_.back() != '\n';
            } else {
                if (pendingBlank_) out_.push_back(' ');
                pendingBlank_ = false;
                out_.push_back(c);
            }
        }
    }
    void rawChar(std::string_view bytes) {  // a double-byte character or entity text
        if (pendingBlank_) out_.push_back(' ');
        pendingBlank_ = false;
        out_.append(bytes);
    }
    void lineBreak() {
        pendingBlank_ = false;
        out_.push_back('\n');
    }
    void endLine() {  // starts a new line unless one was just started
        pendingBlank_ = false;
        if (!out_.empty() && out_.back() != '\n') out_.push_back('\n');
    }
    void paragraphBreak() {
        pendingBlank_ = false;
        if (out_.empty()) return;
        while (trailingBreaks() < 2) out_.push_back('\n');
    }
    std::string finish() {
        while (!out_.empty() && (out_.back() == '\n' || out_.back() == ' ')) out_.pop_back();
        return std::move(out_);
    }

  private:
    // Counts up to two: a long run of <br> is not counted again at every paragraph.
    int trailingBreaks() const {
        int n = 0;
        for (auto it = out_.rbegin(); it != out_.rend() && *it == '\n' && n < 2; ++it) ++n;
        return n;
    }
    std::string out_;
    bool pendingBlank_ = false;
};

}  // namespace

std::string htmlToText(std::string_view html) {
    TextBuilder builder;
    std::string skipUntil;  // closing tag whose contents are not text (script, style ...)
    std::size_t i = 0;
    while (i < html.size()) {
        const auto c = static_cast<unsigned char>(html[i]);
        if (c == '<') {
            if (html.substr(i, 4) == "<!--") {
                std::size_t end = html.find("-->", i + 4);
                i = end == std::string_view::npos ? html.size() : end + 3;
                continue;
            }
            std::size_t end = html.find('>', i + 1);
            if (end == std::string_view::npos) break;  // an unfinished tag ends the text
            std::string_view inside = html.substr(i + 1, end - i - 1);
            bool closing = !inside.empty() && inside[0] == '/';
            if (closing) inside.remove_prefix(1);
            std::size_t nameEnd = 0;
            while (nameEnd < inside.size() &&
                   std::isalnum(static_cast<unsigned char>(inside[nameEnd])))
                ++nameEnd;
            const std::string tag = lowerAscii(inside.substr(0, nameEnd));
            i = end + 1;
            if (!skipUntil.empty()) {
                if (closing && tag == skipUntil) skipUntil.clear();
                continue;
            }
            if (!closing &&
                (tag == "script" || tag == "style" || tag == "head" || tag == "title")) {
                if (inside.empty() || inside.back() != '/') skipUntil = tag;
                continue;
            }
            if (tag == "br")
                builder.lineBreak();
            else if (tag == "p" || tag == "blockquote" || tag == "table" || tag == "ul" ||
                     tag == "ol" ||
                     (tag.size() == 2 && tag[0] == 'h' && tag[1] >= '1' && tag[1] <= '6'))
                builder.paragraphBreak();
            else if (isBlockTag(tag))
                builder.endLine();
            continue;
        }
        if (!skipUntil.empty()) {
            i += isCp932LeadByte(c) && i + 1 < html.size() ? 2 : 1;
            continue;
        }
        if (c == '&') {
            auto [text, length] = readEntity(html, i);
            if (length > 0) {
                builder.rawChar(text);
                i += length;
                continue;
            }
        }
        if (isCp932LeadByte(c) && i + 1 < html.size()) {
            builder.rawChar(html.substr(i, 2));
            i += 2;
            continue;
        }
        builder.text(html.substr(i, 1));
        ++i;
    }
    return builder.finish();
}

}  // namespace tsubame
