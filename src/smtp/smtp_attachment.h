#pragma once

#include <string>
#include <string_view>

namespace tsubame {

// The content type an attachment is sent with: the type its name suggests; a text type gets
// the charset of its bytes (UTF-8 when they are valid UTF-8, ISO-2022-JP for 7-bit text with
// its escapes) and becomes application/octet-stream when the charset is unknown, so that no
// receiver guesses and shows it garbled.
std::string attachmentContentType(std::string_view fileName, std::string_view content);

// One MIME parameter, ready for a header: name="value" when the value is plain printable
// ASCII that no reader could take for anything else; otherwise RFC 2231 (UTF-8,
// percent-encoded, split into numbered sections when long), so that no byte of the value -
// not a CR or LF, not an encoded-word look-alike - ever reaches the header raw. Sections are
// separated by ";", CR LF and a blank.
std::string mimeParameter(std::string_view name, std::string_view utf8Value);

// The whole part of one attachment: Content-Type with the file name, Content-Disposition,
// base64 content in lines of 76 characters; CR LF line ends, none after the last line (the
// one before the next boundary belongs to the boundary).
std::string attachmentPart(std::string_view utf8FileName, std::string_view content);

}  // namespace tsubame
