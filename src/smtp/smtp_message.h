#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "smtp/smtp_send.h"

namespace tsubame {

// A message ready for the SMTP DATA phase: CR LF line ends, no line over 998 bytes.
struct BuiltMessage {
    std::string text;
    std::string envelopeFrom;             // the sender's bare address, for the envelope
    std::vector<std::string> envelopeTo;  // To, Cc and Bcc addr-specs
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
