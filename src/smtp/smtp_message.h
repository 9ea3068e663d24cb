#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "smtp/smtp_attachment.h"
#include "smtp/smtp_send.h"

namespace tsubame {

// An attachment's content and where it goes in the message's text.
struct PlacedContent {
    std::size_t at;
    Base64FileContent content;
};

// A message ready for the SMTP DATA phase: CR LF line ends, no line over 998 bytes.
struct BuiltMessage {
    // The message without its attachments' contents (the whole message when it has none);
    // each content goes in at its place, in order, as the message is read.
    std::string text;
    std::vector<PlacedContent> attachments;
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
    std::size_t next_ = 0;  // the attachment read next, or being read
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
