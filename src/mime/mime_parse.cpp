#include "mime/mime_parse.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <utility>

#include "core/cp932.h"
#include "mime/mime_charset.h"
#include "mime/mime_gmime.h"
#include "mime/mime_header_block.h"
#include "mime/mime_header_text.h"
#include "mime/mime_html_text.h"
#include "mime/mime_params.h"
#include "mime/mime_part_bounds.h"

namespace tsubame {
namespace {

// Deeper nesting than this is not mail but an attack on the stack.
constexpr int kMaxDepth = 32;

std::string lowerCase(const char* text) {
    std::string out;
    for (const char* p = text ? text : ""; *p; ++p)
        out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(*p))));
    return out;
}

std::string rawHeaderOf(GMimeObject* object, const char* name) {
    GMimeHeaderList* list = g_mime_object_get_header_list(object);
    GMimeHeader* header = list ? g_mime_header_list_get_header(list, name) : nullptr;
    const char* raw = header ? g_mime_header_get_raw_value(header) : nullptr;
    return raw ? raw : "";
}

// The file name a part gives itself: Content-Disposition filename, else Content-Type name.
std::string partFileName(GMimeObject* object) {
    std::string name = findParameterCp932(rawHeaderOf(object, "Content-Disposition"), "filename");
    if (name.empty()) name = findParameterCp932(rawHeaderOf(object, "Content-Type"), "name");
    return name;
}

std::string mimeTypeOf(GMimeObject* object) {
    GMimeContentType* type = g_mime_object_get_content_type(object);
    if (!type) return "application/octet-stream";
    return lowerCase(g_mime_content_type_get_media_type(type)) + "/" +
           lowerCase(g_mime_content_type_get_media_subtype(type));
}

// The same name in UTF-8, for the file system: it keeps what code page 932 lacks.
std::string partFileNameUtf8(GMimeObject* object) {
    std::string name = findParameterUtf8(rawHeaderOf(object, "Content-Disposition"), "filename");
    if (name.empty()) name = findParameterUtf8(rawHeaderOf(object, "Content-Type"), "name");
    return name;
}

bool isAttachmentDisposition(GMimeObject* object) {
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
    return disposition && g_mime_content_disposition_is_attachment(disposition);
}

bool isEmptyLine(std::string_view line) { return line == "\r\n" || line == "\n"; }

// GMime reads the header its own way. Where ours differs from a plain "fields, empty line,
// body", it gets the fields and the body joined that way, without copying the body. An empty
// line goes in at each offset of gaps (counted in the body).
class ParserInput {
  public:
    ParserInput(std::string_view rawMail, const HeaderBlock& block,
                const std::vector<std::size_t>& gaps = {})
        : whole_(rawMail) {
        const std::string_view body = rawMail.substr(block.bodyBegin);
        const std::string_view separator = rawMail.substr(block.end, block.bodyBegin - block.end);
        if (block.fieldsBegin == 0 && isEmptyLine(separator) && gaps.empty()) {
            stream_.reset(whole_.newStream());
            return;
        }
        const std::string_view fields =
            rawMail.substr(block.fieldsBegin, block.end - block.fieldsBegin);
        const std::string_view lineEnd = fields.empty() || fields.ends_with("\r\n") ? "\r\n" : "\n";
        std::string head(fields);
        if (!fields.empty() && !fields.ends_with('\n')) head.append(lineEnd);
        head.append(lineEnd);
        stream_.reset(g_mime_stream_cat_new());
        addSource(
            GObjectPtr<GMimeStream>(g_mime_stream_mem_new_with_buffer(head.data(), head.size())));
        // Each piece of the body gets a stream of its own that counts from its first byte:
        // the joined stream hands its parts positions counted that way.
        std::size_t from = 0;
        for (const std::size_t gap : gaps) {
            addBodyPiece(body.substr(from, gap - from));
            const std::string_view end = gap >= 2 && body[gap - 2] == '\r' ? "\r\n" : "\n";
            addSource(
                GObjectPtr<GMimeStream>(g_mime_stream_mem_new_with_buffer(end.data(), end.size())));
            from = gap;
        }
        addBodyPiece(body.substr(from));
    }
    GMimeStream* stream() const { return stream_.get(); }

  private:
    void addSource(const GObjectPtr<GMimeStream>& source) {
        g_mime_stream_cat_add_source(GMIME_STREAM_CAT(stream_.get()), source.get());
    }
    void addBodyPiece(std::string_view piece) {
        pieces_.push_back(std::make_unique<BorrowedBytes>(piece));
        addSource(GObjectPtr<GMimeStream>(pieces_.back()->newStream()));
    }
    // The bytes stay borrowed until every part parsed from them is gone: the parser's objects
    // are released before this input.
    BorrowedBytes whole_;
    std::vector<std::unique_ptr<BorrowedBytes>> pieces_;
    GObjectPtr<GMimeStream> stream_;
};

// The boundaries of the multiparts of a parsed mail, forwarded mails included; a few of
// them, as each line that starts like a delimiter is compared with every one.
constexpr std::size_t kMostBoundaries = 128;
void collectBoundaries(GMimeObject* object, int depth, std::vector<std::string>& boundaries) {
    if (!object || depth > kMaxDepth) return;
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        const char* boundary = g_mime_multipart_get_boundary(multipart);
        if (boundary && boundaries.size() < kMostBoundaries &&
            std::find(boundaries.begin(), boundaries.end(), boundary) == boundaries.end())
            boundaries.emplace_back(boundary);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
            collectBoundaries(g_mime_multipart_get_part(multipart, i), depth + 1, boundaries);
    } else if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        if (inner) collectBoundaries(g_mime_message_get_mime_part(inner), depth + 1, boundaries);
    }
}

// Decoded bytes on their way to a sink, the last few held back until the end: the line end
// the mail check added after the body comes off there.
class AddedLineEndDropper : public ContentSink {
  public:
    explicit AddedLineEndDropper(ContentSink& sink) : sink_(sink) {}
    bool put(std::string_view piece) override {
        if (piece.size() >= kHeld) {
            if (!tail_.empty() && !sink_.put(tail_)) return false;
            tail_.assign(piece.substr(piece.size() - kHeld));
            return sink_.put(piece.substr(0, piece.size() - kHeld));
        }
        tail_.append(piece);
        if (tail_.size() <= kHeld) return true;
        const std::size_t out = tail_.size() - kHeld;
        if (!sink_.put(std::string_view(tail_).substr(0, out))) return false;
        tail_.erase(0, out);
        return true;
    }
    bool finish() {
        if (tail_.ends_with("\r\n\r\n"))
            tail_.resize(tail_.size() - 2);
        else if (tail_.ends_with("\n\n"))
            tail_.pop_back();
        return tail_.empty() || sink_.put(tail_);
    }

  private:
    static constexpr std::size_t kHeld = 4;
    ContentSink& sink_;
    std::string tail_;
};

// Parts whose text is the mail's own words, shown in the body when nothing names them a file.
bool isShownText(const std::string& type) {
    return type == "text/plain" || type == "text/html" || type == "text/rfc822-headers" ||
           type == "message/delivery-status" || type == "message/disposition-notification" ||
           type == "message/global-delivery-status" || type == "message/global-headers";
}

// Between two texts of one mail in the body.
constexpr std::string_view kTextSeparator = "\r\n\r\n----------\r\n\r\n";

class MailWalker {
  public:
    MailWalker(ParsedMail& mail, const AttachmentHandler& handler, std::size_t bodyLimit,
               GMimeStream* parsed, const ParseWarnings& warnings)
        : mail_(mail),
          handler_(handler),
          bodyLimit_(bodyLimit),
          parsed_(parsed),
          warnings_(warnings) {}

    void walk(GMimeObject* object, int depth, bool last = true) {
        // A reference to a document kept elsewhere is not the document: nothing to save, but
        // the mail holds more than the record and the files show.
        if (!object || depth > kMaxDepth || mimeTypeOf(object) == "message/external-body") {
            mail_.lossy = true;
            return;
        }
        if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart* multipart = GMIME_MULTIPART(object);
            const int count = g_mime_multipart_get_count(multipart);
            const char* boundary = g_mime_multipart_get_boundary(multipart);
            boundaries_.emplace_back(boundary ? boundary : "");
            // Of alternatives one text is shown; the others say the same.
            const int shown = mimeTypeOf(object) == "multipart/alternative"
                                  ? shownAlternative(multipart, count)
                                  : -1;
            for (int i = 0; i < count; ++i) {
                const bool hidden = shown >= 0 && i != shown;
                hiddenText_ += hidden ? 1 : 0;
                walk(g_mime_multipart_get_part(multipart, i), depth + 1, i + 1 == count);
                hiddenText_ -= hidden ? 1 : 0;
            }
            boundaries_.pop_back();
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            if (textsOnly_ == 0) saveAttachedMessage(object);
            // A forwarded mail sent inline is read like the rest of the mail; its file stays
            // as it always was, and its own attachments stay inside that file.
            if (hiddenText_ == 0 && partFileName(object).empty() &&
                !isAttachmentDisposition(object))
                showAttachedMessage(object, depth);
        } else if (GMIME_IS_MESSAGE_PARTIAL(object)) {
            // One piece of a split mail: its text stays readable until the pieces are joined.
            mail_.incompletePartial = true;
            std::string utf8;
            std::string text = toCrLfText(textOf(GMIME_PART(object), bodyLimit_, false, &utf8));
            addText(std::move(text), std::move(utf8));
        } else if (GMIME_IS_PART(object)) {
            if (depth > 0)
                mendPartContent(GMIME_PART(object), parsed_, boundaries_, warnings_, last);
            takeLeaf(object, depth == 0);
        } else {
            mail_.lossy = true;
        }
    }

  private:
    static bool isInlineText(GMimeObject* object, const std::string& type) {
        return isShownText(type) && partFileName(object).empty() &&
               !isAttachmentDisposition(object);
    }

    // The plain text among the alternatives, else the HTML one, else the last (the richest).
    static int shownAlternative(GMimeMultipart* multipart, int count) {
        int html = -1;
        for (int i = 0; i < count; ++i) {
            GMimeObject* child = g_mime_multipart_get_part(multipart, i);
            if (!GMIME_IS_PART(child) || GMIME_IS_MESSAGE_PARTIAL(child)) continue;
            const std::string type = mimeTypeOf(child);
            if (!isInlineText(child, type)) continue;
            if (type == "text/plain") return i;
            if (type == "text/html" && html < 0) html = i;
        }
        return html >= 0 ? html : count - 1;
    }

    // utf8: the same text in UTF-8 when code page 932 lost a character of it.
    void addText(std::string text, std::string utf8 = {}) {
        if (text.empty()) return;
        if (!utf8.empty() && !utf8Started_) {
            // The texts before lost nothing: their code page 932 says all of them.
            mail_.utf8Body = cp932ToUtf8(mail_.body);
            utf8Started_ = true;
        }
        if (utf8Started_) {
            if (!mail_.utf8Body.empty()) mail_.utf8Body.append(kTextSeparator);
            mail_.utf8Body.append(utf8.empty() ? cp932ToUtf8(text) : utf8);
        }
        if (!mail_.body.empty()) mail_.body.append(kTextSeparator);
        // The header lines of a forwarded mail go right above its first text.
        if (!heading_.empty()) mail_.body.append(std::exchange(heading_, {})).append("\r\n");
        mail_.body.append(text);
    }

    void showAttachedMessage(GMimeObject* object, int depth) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        if (!inner) return;
        static const std::pair<const char*, std::string> kFields[] = {
            {"Subject", utf8ToCp932("件名: ")},
            {"From", utf8ToCp932("差出人: ")},
            {"Date", utf8ToCp932("日付: ")}};
        std::string heading;
        for (const auto& [name, label] : kFields) {
            const std::string value = rawHeaderOf(GMIME_OBJECT(inner), name);
            if (value.empty()) continue;
            heading.append(label);
            appendCp932OneLine(heading, decodeHeaderText(value));
            heading.append("\r\n");
        }
        heading_ = std::move(heading);
        ++textsOnly_;
        walk(g_mime_message_get_mime_part(inner), depth + 1);
        --textsOnly_;
        // A forwarded mail without any text still shows whose it was.
        if (!heading_.empty()) addText(std::exchange(heading_, {}));
    }

    void takeLeaf(GMimeObject* object, bool wholeMail) {
        const std::string type = mimeTypeOf(object);
        GMimePart* part = GMIME_PART(object);
        if (isInlineText(object, type)) {
            if (hiddenText_ > 0) return;
            // Past what the record holds, the text is left to the kept original.
            if (mail_.body.size() >= bodyLimit_) {
                mail_.lossy = true;
                return;
            }
            const bool html = type == "text/html";
            std::string utf8;
            std::string text =
                toCrLfText(textOf(part, html ? kWholeBody : bodyLimit_, html, &utf8));
            addText(std::move(text), std::move(utf8));
            return;
        }
        if (textsOnly_ > 0) return;
        const bool dropAddedLineEnd = wholeMail && mayCarryAddedLineEnd(part);
        handler_({partFileName(object), partFileNameUtf8(object), type, {}},
                 [part, dropAddedLineEnd](ContentSink& sink) {
                     GMimeDataWrapper* content = g_mime_part_get_content(part);
                     if (!dropAddedLineEnd) return writeDecodedContent(content, sink);
                     AddedLineEndDropper dropper(sink);
                     return writeDecodedContent(content, dropper) && dropper.finish();
                 });
    }

    // The one part of a single-part mail runs to the end of the text, and the mail check
    // ends that text with a line end of its own after the body line. When the content ends
    // in an empty line, its last line end is that one and not the sender's. Base64 and
    // uuencoded content never carry it.
    static bool mayCarryAddedLineEnd(GMimePart* part) {
        const GMimeContentEncoding encoding = g_mime_part_get_content_encoding(part);
        return encoding != GMIME_CONTENT_ENCODING_BASE64 &&
               encoding != GMIME_CONTENT_ENCODING_UUENCODE;
    }

    // The text of a part in code page 932; with a limit only its start, at least limit bytes
    // after its leading blanks (NULs among them, as they become blanks). Notes in the mail
    // when a character had no place in code page 932; utf8 then gets the plain text whole
    // in UTF-8 (HTML keeps its code page 932 form: its text is made from that).
    std::string textOf(GMimePart* part, std::size_t limit, bool html, std::string* utf8) {
        const char* label = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
        const std::string_view charset = label ? label : "";
        GMimeDataWrapper* content = g_mime_part_get_content(part);
        std::string decoded;
        std::string_view bytes;
        if (!contentInPlace(content, bytes)) {
            decoded = decodedContent(content);
            bytes = decoded;
        }
        std::string text =
            limit == kWholeBody
                ? charsetToCp932(bytes, charset)
                // A text rarely comes out longer than it went in: a first piece a little
                // longer than the limit converts an ordinary mail's text once.
                : charsetToCp932Start(
                      bytes, charset, limit + limit / 8, [limit](const std::string& t) {
                          const std::size_t blanks =
                              t.find_first_not_of(std::string_view(" \0", 2));
                          return blanks != std::string::npos && t.size() - blanks >= limit;
                      });
        if (html) text = htmlToText(text);
        if (!hasGetaMark(text)) return text;
        std::string whole = charsetToUtf8(bytes, charset);
        if (!losesCharacters(text, whole)) return text;
        // A text cut at the limit is kept whole elsewhere anyway.
        if (limit == kWholeBody || text.size() < limit) mail_.lossy = true;
        if (!html) *utf8 = toCrLfText(whole);
        return text;
    }

    void saveAttachedMessage(GMimeObject* object) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        std::string name = partFileName(object);
        std::string utf8Name = partFileNameUtf8(object);
        if (inner && name.empty()) {
            const std::string subject = rawHeaderOf(GMIME_OBJECT(inner), "Subject");
            name = decodeHeaderText(subject);
            utf8Name = decodeHeaderTextUtf8(subject);
        }
        handler_({name, utf8Name, mimeTypeOf(object), {}}, [inner](ContentSink& sink) {
            return !inner || writeMimeObject(GMIME_OBJECT(inner), sink);
        });
    }

    ParsedMail& mail_;
    const AttachmentHandler& handler_;
    std::size_t bodyLimit_;
    GMimeStream* parsed_;
    const ParseWarnings& warnings_;
    std::vector<std::string> boundaries_;  // of the multiparts around the part walked
    int hiddenText_ = 0;                   // inside alternatives that are not shown
    int textsOnly_ = 0;                    // inside a forwarded mail, saved whole as its file
    std::string heading_;                  // a forwarded mail's header lines, not yet shown
    bool utf8Started_ = false;             // mail_.utf8Body holds every text so far
};

}  // namespace

std::string_view headerBlockOf(std::string_view rawMail) {
    return rawMail.substr(0, findHeaderBlock(rawMail).end);
}

std::string toCrLfText(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size();) {
        // Runs without a line end or NUL are copied whole.
        std::size_t end = i;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n' && text[end] != '\0')
            ++end;
        out.append(text.substr(i, end - i));
        if (end == text.size()) break;
        const char c = text[end];
        i = end + 1;
        if (c == '\0') {
            out.push_back(' ');
            continue;
        }
        out.append("\r\n");
        if (c == '\r' && i < text.size() && text[i] == '\n') ++i;
    }
    return out;
}

void prepareParsingOnThreads() {
    static constexpr std::string_view kEveryKind =
        "Subject: =?ISO-2022-JP?B?GyRCJCIbKEI=?=\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
        "--b\r\nContent-Type: text/plain; charset=utf-8\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n\r\na=3D\r\n"
        "--b\r\nContent-Type: application/octet-stream; name=a\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nYQ==\r\n"
        "--b\r\nContent-Type: message/rfc822\r\n\r\nSubject: x\r\n\r\nx\r\n--b--\r\n";
    parseMail(kEveryKind, [](const MailAttachment&, const ContentWriter&) {});
}

ParsedMail parseMail(std::string_view rawMail) {
    std::vector<MailAttachment> attachments;
    ParsedMail mail = parseMail(
        rawMail, [&attachments](const MailAttachment& attachment, const ContentWriter& write) {
            StringSink sink;
            write(sink);
            attachments.push_back(attachment);
            attachments.back().content = std::move(sink.text);
        });
    mail.attachments = std::move(attachments);
    return mail;
}

ParsedMail parseMail(std::string_view rawMail, const AttachmentHandler& handler,
                     std::size_t bodyLimit) {
    ensureGMimeInitialized();
    ParsedMail mail;
    const HeaderBlock block = findHeaderBlock(rawMail);
    mail.headerEnd = block.end;
    const std::string_view fields =
        rawMail.substr(block.fieldsBegin, block.end - block.fieldsBegin);
    const std::string_view body = rawMail.substr(block.bodyBegin);
    mail.headers = decodeHeaders(fields);
    mail.utf8Headers = {decodeHeaderTextUtf8(findRawHeader(fields, "Subject")),
                        decodeHeaderTextUtf8(findRawHeader(fields, "Date")),
                        decodeHeaderTextUtf8(findRawHeader(fields, "From"))};
    const std::pair<const std::string*, const std::string*> fieldTexts[] = {
        {&mail.headers.subject, &mail.utf8Headers.subject},
        {&mail.headers.date, &mail.utf8Headers.date},
        {&mail.headers.from, &mail.utf8Headers.from}};
    for (const auto& [text, utf8] : fieldTexts) {
        if (hasGetaMark(*text) && losesCharacters(*text, *utf8)) mail.lossy = true;
    }

    std::unique_ptr<ParserInput> input;
    GObjectPtr<GMimeMessage> message;
    ParseWarnings warnings;
    auto parse = [&](const std::vector<std::size_t>& gaps) {
        message.reset();
        input = std::make_unique<ParserInput>(rawMail, block, gaps);
        warnings = {};
        GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(input->stream()));
        // The texts this program shows are decoded by its own linear header reader; GMime's
        // lenient search for encoded words takes time quadratic in a header of unfinished
        // words, so its own decoding is kept strict.
        ParserOptionsPtr options(g_mime_parser_options_new());
        g_mime_parser_options_set_rfc2047_compliance_mode(options.get(),
                                                          GMIME_RFC_COMPLIANCE_STRICT);
        warnings.listenTo(options.get());
        message.reset(g_mime_parser_construct_message(parser.get(), options.get()));
    };
    parse({});
    // A multipart that runs to the end of the mail may have lost a part whose fields run
    // into a long line of its content.
    if (message && warnings.unclosedMultipart) {
        std::vector<std::string> boundaries;
        collectBoundaries(g_mime_message_get_mime_part(message.get()), 0, boundaries);
        const std::vector<std::size_t> gaps = linesBelowTheFields(body, boundaries);
        if (!gaps.empty()) parse(gaps);
    }
    if (!message) {
        // Not parseable as a message at all: keep the body as text.
        mail.body = toCrLfText(
            guessToCp932(body.substr(std::min(body.find_first_not_of("\r\n"), body.size()))));
        return mail;
    }
    MailWalker walker(mail, handler, bodyLimit, input->stream(), warnings);
    walker.walk(g_mime_message_get_mime_part(message.get()), 0);
    return mail;
}

}  // namespace tsubame
