#include "mime/mime_html_text.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "core/cp932.h"

namespace tsubame {
namespace {

// libxml2 searches its stack of open elements for each end tag, and every earlier attribute of
// a tag for each new one: both are cut short here so that hostile HTML stays linear.
constexpr int kDeepest = 256;
constexpr int kMostAttributes = 256;
constexpr std::size_t kWindow = 64 * 1024;

bool isAsciiLetter(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}
bool isHtmlBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

// What the parser is given: NULs become blanks (they would end its input), a "&#" that starts
// no character reference stays text (the HTML4 parser would drop it), and a tag keeps at most
// kMostAttributes attributes.
std::string prepared(std::string_view html) {
    std::string out;
    out.reserve(html.size() + 16);
    enum class State { Text, Tag, Value, Quoted } state = State::Text;
    char quote = 0;
    int attributes = 0;
    bool blank = false;
    for (std::size_t i = 0; i < html.size(); ++i) {
        const char c = html[i] == '\0' ? ' ' : html[i];
        switch (state) {
            case State::Text:
                if (c == '<' && i + 1 < html.size() && isAsciiLetter(html[i + 1])) {
                    state = State::Tag;
                    attributes = 0;
                    blank = false;
                } else if (c == '&' && i + 1 < html.size() && html[i + 1] == '#') {
                    const char next = i + 2 < html.size() ? html[i + 2] : ' ';
                    const bool hex = (next | 0x20) == 'x';
                    const char digit = hex && i + 3 < html.size() ? html[i + 3] : next;
                    if (hex ? !isHexDigit(digit) : !(digit >= '0' && digit <= '9')) {
                        out.append("&amp;");
                        continue;
                    }
                }
                break;
            case State::Tag:
                if (c == '>') {
                    state = State::Text;
                } else if (c == '=') {
                    state = State::Value;
                } else if (isHtmlBlank(c)) {
                    blank = true;
                } else if (blank) {
                    blank = false;
                    ++attributes;
                }
                if (attributes > kMostAttributes && c != '>') continue;
                break;
            case State::Value:
                if (c == '"' || c == '\'') {
                    state = State::Quoted;
                    quote = c;
                } else if (c == '>') {
                    state = State::Text;
                } else if (!isHtmlBlank(c)) {
                    state = State::Tag;
                    blank = false;
                }
                break;
            case State::Quoted:
                if (c == quote) {
                    state = State::Tag;
                    blank = false;
                }
                break;
        }
        out.push_back(c);
    }
    return out;
}

// The text as it is built, in UTF-8: runs of blanks collapsed, line and paragraph breaks
// never doubled.
class TextWriter {
  public:
    void text(std::string_view piece) {
        for (std::size_t i = 0; i < piece.size(); ++i) {
            const char c = piece[i];
            if (isHtmlBlank(c)) {
                pendingBlank_ = !out_.empty() && out_.back() != '\n';
                continue;
            }
            if (pendingBlank_) out_.push_back(' ');
            pendingBlank_ = false;
            // A no-break space is a blank that is kept.
            if (c == '\xC2' && i + 1 < piece.size() && piece[i + 1] == '\xA0') {
                out_.push_back(' ');
                ++i;
                continue;
            }
            out_.push_back(c);
        }
    }
    void verbatim(std::string_view piece) {  // inside <pre>
        if (pendingBlank_) out_.push_back(' ');
        pendingBlank_ = false;
        for (char c : piece)
            if (c != '\r') out_.push_back(c);
    }
    void append(std::string_view piece) {
        pendingBlank_ = false;
        out_.append(piece);
    }
    void lineBreak() {
        pendingBlank_ = false;
        out_.push_back('\n');
    }
    void endLine() {
        pendingBlank_ = false;
        if (!out_.empty() && out_.back() != '\n') out_.push_back('\n');
    }
    void paragraphBreak() {
        pendingBlank_ = false;
        if (out_.empty()) return;
        endLine();
        if (out_.size() < 2 || out_[out_.size() - 2] != '\n') out_.push_back('\n');
    }
    std::size_t size() const { return out_.size(); }
    std::string_view since(std::size_t at) const {
        return std::string_view(out_).substr(std::min(at, out_.size()));
    }
    std::string finish() {
        while (!out_.empty() && (out_.back() == '\n' || out_.back() == ' ')) out_.pop_back();
        return std::move(out_);
    }

  private:
    std::string out_;
    bool pendingBlank_ = false;
};

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isHtmlBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isHtmlBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Whether a link's text already says where it goes.
bool textIsTarget(std::string_view text, std::string_view href) {
    auto bare = [](std::string_view s) {
        if (s.starts_with("mailto:")) s.remove_prefix(7);
        while (s.ends_with('/')) s.remove_suffix(1);
        return s;
    };
    return bare(text) == bare(href);
}

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

class HtmlReader {
  public:
    std::string read(std::string_view html) {
        const std::string input = prepared(html);
        // The whole text goes to one parser. Past a fresh start (HTML nested deeper than
        // kDeepest, no mail's own) each parser gets a window of the rest, so that copying
        // the rest for each start does not make the time quadratic.
        bool windowed = false;
        for (std::size_t from = 0; from < input.size();) {
            std::size_t end = input.size();
            if (windowed && input.size() - from > kWindow) {
                // Cut before a tag where one is near, else in the text.
                const std::size_t tag = input.find('<', from + kWindow);
                end = tag != std::string::npos && tag - from <= 2 * kWindow ? tag : from + kWindow;
            }
            resumeAt_ = std::string::npos;
            parse(std::string_view(input).substr(from, end - from));
            resetNesting();
            if (resumeAt_ == std::string::npos) {
                from = end;
                continue;
            }
            // Went too deep: the rest is read afresh after the tag the parser stopped in.
            const std::size_t close = input.find('>', from + resumeAt_);
            if (close == std::string::npos) break;
            from = close + 1;
            windowed = true;
        }
        return out_.finish();
    }

  private:
    void parse(std::string_view html) {
        htmlSAXHandler sax;
        std::memset(&sax, 0, sizeof sax);
        sax.initialized = XML_SAX2_MAGIC;
        sax.startElement = [](void* self, const xmlChar* name, const xmlChar** attributes) {
            static_cast<HtmlReader*>(self)->start(reinterpret_cast<const char*>(name), attributes);
        };
        sax.endElement = [](void* self, const xmlChar* name) {
            static_cast<HtmlReader*>(self)->end(reinterpret_cast<const char*>(name));
        };
        sax.characters = [](void* self, const xmlChar* text, int length) {
            static_cast<HtmlReader*>(self)->characters(
                std::string_view(reinterpret_cast<const char*>(text), length));
        };
        sax.ignorableWhitespace = sax.characters;
        sax.cdataBlock = [](void*, const xmlChar*, int) {};  // script and style
        sax.serror = [](void*, xmlErrorPtr) {};
        ctxt_ = htmlCreateMemoryParserCtxt(html.data(), static_cast<int>(html.size()));
        if (!ctxt_) return;
        htmlSAXHandler* own = ctxt_->sax;
        ctxt_->sax = &sax;
        ctxt_->userData = this;
        htmlCtxtUseOptions(ctxt_, HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET |
                                      HTML_PARSE_NOIMPLIED | HTML_PARSE_IGNORE_ENC);
        xmlSwitchEncoding(ctxt_, XML_CHAR_ENCODING_UTF8);
        htmlParseDocument(ctxt_);
        ctxt_->sax = own;
        htmlFreeParserCtxt(ctxt_);
        ctxt_ = nullptr;
    }

    void start(std::string_view name, const xmlChar** attributes) {
        if (++depth_ > kDeepest && resumeAt_ == std::string::npos) {
            resumeAt_ = static_cast<std::size_t>(std::max(0L, xmlByteConsumed(ctxt_)));
            xmlStopParser(ctxt_);
            return;
        }
        if (isOneOf(name, {"script", "style", "head", "title"})) ++hidden_;
        if (hidden_ > 0) return;
        blockEdge(name);
        if (name == "pre") ++pre_;
        if (name == "ul" || name == "ol") ++lists_;
        if (name == "li") {
            // Nested lists step in, a few levels at most.
            out_.append(
                std::string(2 * static_cast<std::size_t>(std::clamp(lists_ - 1, 0, 4)), ' '));
            out_.append("・");
        }
        if (name == "tr") cells_ = 0;
        if ((name == "td" || name == "th") && cells_++ > 0) out_.append(" | ");
        if (name == "a") {
            href_.clear();
            for (const xmlChar** a = attributes; a && a[0]; a += 2)
                if (std::strcmp(reinterpret_cast<const char*>(a[0]), "href") == 0 && a[1])
                    href_ = trimmed(reinterpret_cast<const char*>(a[1]));
            linkStart_ = out_.size();
        }
    }

    void end(std::string_view name) {
        if (--depth_ < 0) depth_ = 0;
        if (hidden_ > 0) {
            if (isOneOf(name, {"script", "style", "head", "title"})) --hidden_;
            return;
        }
        if (name == "a") endLink();
        if (name == "pre" && pre_ > 0) --pre_;
        if ((name == "ul" || name == "ol") && lists_ > 0) --lists_;
        if (name != "br") blockEdge(name);
    }

    // Block elements break the line where they start and end; paragraphs, headings, lists
    // and tables stand apart by an empty line.
    void blockEdge(std::string_view name) {
        if (name == "br") {
            out_.lineBreak();
        } else if (isOneOf(name,
                           {"p", "blockquote", "table", "h1", "h2", "h3", "h4", "h5", "h6"}) ||
                   ((name == "ul" || name == "ol") && lists_ == 0)) {
            out_.paragraphBreak();
        } else if (isOneOf(name, {"div", "tr", "li", "ul", "ol", "pre", "hr", "dl", "dt", "dd",
                                  "section", "article", "address", "caption"})) {
            out_.endLine();
        }
    }

    // The address goes after the text it is under, unless that text is the address.
    void endLink() {
        const std::string href = std::exchange(href_, {});
        if (href.empty() || href.starts_with('#') || href.starts_with("javascript:")) return;
        const std::string_view text = trimmed(out_.since(linkStart_));
        if (text.empty() || textIsTarget(text, href)) return;
        std::string note = " (";
        for (char c : href)
            if (!isHtmlBlank(c)) note.push_back(c);
        out_.append(note + ")");
    }

    void characters(std::string_view text) {
        if (hidden_ > 0) return;
        if (pre_ > 0)
            out_.verbatim(text);
        else
            out_.text(text);
    }

    void resetNesting() {
        depth_ = hidden_ = pre_ = lists_ = cells_ = 0;
        href_.clear();
    }

    TextWriter out_;
    htmlParserCtxtPtr ctxt_ = nullptr;
    std::size_t resumeAt_ = std::string::npos;
    int depth_ = 0;
    int hidden_ = 0;  // inside script, style or the head
    int pre_ = 0;
    int lists_ = 0;
    int cells_ = 0;  // of the table row
    std::string href_;
    std::size_t linkStart_ = 0;
};

}  // namespace

std::string htmlToText(std::string_view cp932Html) {
    // Once, before threads parse at the same time.
    static const bool ready = (xmlInitParser(), true);
    (void)ready;
    return utf8ToCp932(HtmlReader().read(cp932ToUtf8(cp932Html)));
}

}  // namespace tsubame
