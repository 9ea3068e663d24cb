#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/file_io.h"

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

// The header lines of one attachment's part and the blank line after them: Content-Type
// with the file name, Content-Disposition, Content-Transfer-Encoding base64.
std::string attachmentPartHeader(std::string_view utf8FileName, std::string_view contentType);

// The content of one attachment's part: base64 in lines of 76 characters, CR LF between
// lines and none after the last (the one before the next boundary belongs to the boundary).
// It is read from the open file and encoded a piece at a time while the message goes out,
// so that neither the file nor its encoding is ever held whole.
class Base64FileContent {
  public:
    // size: the bytes of the file that are sent (its size when it was opened).
    Base64FileContent(UniqueFd file, std::uint64_t size);
    std::uint64_t encodedSize() const;
    // Starts again from the first byte (a second session sends the message again).
    void rewind();
    // Copies up to room bytes of the encoding into out: 0 at its end, -1 when the file can
    // no longer be read as far as it was (shortened or failing meanwhile).
    std::ptrdiff_t read(char* out, std::size_t room);

  private:
    bool encodeNextPiece();

    UniqueFd file_;
    std::uint64_t size_;
    std::uint64_t encodedFrom_ = 0;  // bytes of the file encoded so far
    std::string piece_;              // encoded, not yet read
    std::size_t pieceAt_ = 0;
};

}  // namespace tsubame
