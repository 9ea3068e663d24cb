#pragma once

#include <gmime/gmime.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tsubame {

// What the parser tells while it reads a mail, where that shows that it took a part's
// content other than Python's email and most mail programs take it.
struct ParseWarnings {
    std::set<gint64> droppedHeaderLines;  // lines taken for broken fields and left out
    bool unclosedMultipart = false;       // a multipart ran on to the end of the mail
    // Lets the parser report into this object, which must outlive the parse.
    void listenTo(GMimeParserOptions* options);
};

// Gives a part of a multipart the content the others read in it:
// - when its header runs into a line that is no field without a blank line between them
//   (base64 right below the fields), the content starts at that line, not after the next
//   blank line;
// - in the last part of a multipart, a line that starts with a closing delimiter of an
//   enclosing multipart ("--boundary--", whatever follows it on the line) ends the content,
//   so that the text after it is not taken for part of the attachment.
// parsed is the stream the parser read; boundaries those of the enclosing multiparts.
void mendPartContent(GMimePart* part, GMimeStream* parsed,
                     const std::vector<std::string>& boundaries, const ParseWarnings& warnings,
                     bool lastInMultipart);

// Where a part's fields run straight into a line that is no field (base64 right below the
// fields): the offsets in text of those lines. GMime loses such a part whole when the line is
// longer than its buffer, so the mail is parsed again with an empty line put before each.
// text is the body of the mail; boundaries those of its multiparts.
std::vector<std::size_t> linesBelowTheFields(std::string_view text,
                                             const std::vector<std::string>& boundaries);

}  // namespace tsubame
