#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/content_sink.h"
#include "mime/mime_decode.h"

namespace tsubame {

// One part of a mail that is to be saved as a file.
struct MailAttachment {
    std::string name;      // code page 932, as the mail names it (untrusted; may be empty)
    std::string utf8Name;  // the same name in UTF-8 when code page 932 cannot hold all of it
    std::string mimeType;  // "type/subtype", lower case
    std::string content;   // decoded bytes
};

// A mail taken apart, before anything is written to disk.
struct ParsedMail {
    DecodedHeaders headers;
    std::string body;  // code page 932, CR LF line ends
    std::vector<MailAttachment> attachments;
    bool incompletePartial = false;  // one piece of a message/partial set
    // The texts and files cannot hold all of the mail: a character that code page 932 lacks
    // became the geta mark, or a part is neither shown nor saved.
    bool lossy = false;
    // Subject, date and sender in UTF-8, with what code page 932 lacks.
    DecodedHeaders utf8Headers;
    // The body in UTF-8 when one of its texts lost a character to code page 932, else empty.
    std::string utf8Body;
    std::size_t headerEnd = 0;  // the length of the raw mail's header block
};

// Takes each attachment (its content left empty) as the parse meets it, while the mail is
// still parsed, so that its bytes can go to their file without being held whole.
using AttachmentHandler =
    std::function<void(const MailAttachment& attachment, const ContentWriter& write)>;

// Parses a raw mail: decoded headers, the text body (every inline text part in mail order,
// HTML as its text, of alternatives the plain one; pieces of a split mail as they are) and
// every attachment (parts with a file name, other non-text parts, attached messages; not
// references to documents kept elsewhere). The raw text may end
// with the line end the mail check puts after the body line; a single-part attachment
// does not keep it.
ParsedMail parseMail(std::string_view rawMail);
// The same parse, the attachments going to handler in mail order instead of into the result.
// With a body limit, a plain text body is converted only as far as it takes to give at least
// bodyLimit bytes after its leading blanks; the body is then that start of it.
inline constexpr std::size_t kWholeBody = std::string_view::npos;
ParsedMail parseMail(std::string_view rawMail, const AttachmentHandler& handler,
                     std::size_t bodyLimit = kWholeBody);

// The header block of a raw mail, as findHeaderBlock() reads it: up to the empty or blank
// separator line, or to the first line that is no header field.
std::string_view headerBlockOf(std::string_view rawMail);

// Turns LF, CR and CR LF line ends into CR LF; NUL characters become blanks so that
// readers that stop at NUL keep the rest of the text.
std::string toCrLfText(std::string_view text);

// Parses a small mail of every kind of part once, so that GMime sets up its types (under
// locks of its own) on this thread, before decodings run on several threads at once.
void prepareParsingOnThreads();

}  // namespace tsubame
