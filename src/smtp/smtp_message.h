#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "smtp/smtp_attachment.h"
#include "smtp/smtp_send.h"

namespace tsubame {

// The text body's content: ISO-2022-JP in 7bit when every character fits and no line grows
// past 998 bytes (base64 when one does), otherwise UTF-8 in base64 with LF line ends. It is
// encoded a piece at a time from the mail's text while the message goes out, so that a large
// body is never held a second time.
class TextBodyContent {
  public:
    // utf8: valid UTF-8, lines ended by CR, LF or CR LF; shared, so that moving this keeps
    // the text where it is.
    explicit TextBodyContent(std::shared_ptr<const std::string> owned, std::string_view utf8);
    const char* charset() const { return iso2022jp_ ? "ISO-2022-JP" : "UTF-8"; }
    const char* transferEncoding() const { return base64_ ? "base64" : "7bit"; }
    std::uint64_t encodedSize() const { return size_; }
    // Whether text occurs in the encoding (text holds no line break).
    bool contains(std::string_view text) const;
    void rewind();
    std::ptrdiff_t read(char* out, std::size_t room);

  private:
    // The bytes of the line at from that go into the encoding, and where the next starts.
    std::size_t nextLine(std::size_t from, std::string& bytes) const;
    void encodeNextPiece();

    std::shared_ptr<const std::string> owned_;
    std::string_view text_;
    bool iso2022jp_ = true;
    bool base64_ = false;
    std::uint64_t size_ = 0;
    std::size_t textAt_ = 0;  // the first byte of text_ not yet encoded
    std::string carry_;       // up to two bytes waiting for a whole base64 group
    std::size_t column_ = 0;  // base64 characters on the current line
    std::string piece_;       // encoded, not yet read
    std::size_t pieceAt_ = 0;
};

// The text body's or an attachment's content and where it goes in the message's text.
struct PlacedContent {
    std::size_t at;
    std::variant<TextBodyContent, Base64FileContent> content;
};

// A message ready for the SMTP DATA phase: CR LF line ends, no line over 998 bytes.
struct BuiltMessage {
    // The message without the contents of its text body and attachments; each content goes in
    // at its place, in order, as the message is read.
    std::string text;
    std::vector<PlacedContent> contents;
    std::string envelopeFrom;             // the sender's bare address, for the envelope
    std::vector<std::string> envelopeTo;  // To, Cc and Bcc addr-specs

    std::uint64_t size() const;
};

// Reads a built message from its first byte, its attachments encoded as they come.
class BuiltMessageReader {
  public:
    explicit BuiltMessageReader(BuiltMessage& message);
    // Copies up to room bytes into out: 0 at the end, -1 when an attachment's file cannot be
    // read any more.
    std::ptrdiff_t read(char* out, std::size_t room);

  private:
    BuiltMessage& message_;
    std::size_t textAt_ = 0;
    std::size_t next_ = 0;  // the content read next, or being read
};

// Builds the MIME message of mail: From, To, Cc, Subject, Date, Message-ID, MIME-Version
// and the extra header lines; the text body in ISO-2022-JP (7bit) when every character
// fits, otherwise UTF-8 (base64); every attachment as a base64 part with an RFC 2231 file
// name and a MIME type from its name. Nothing when the mail cannot be sent as it stands (no
// recipient, an attachment that cannot be read); error then says why, in code page 932.
std::optional<BuiltMessage> buildMessage(const OutgoingMail& mail, std::string& error);

// The MIME type for a file name, from its extension ("application/octet-stream" when
// unknown).
std::string mimeTypeForFileName(std::string_view fileName);

}  // namespace tsubame
