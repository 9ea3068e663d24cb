#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tsubame {

// The mail library's header buffers hold at most this many bytes, including the final NUL.
inline constexpr int kMailHeaderBufferSize = 8192;
// Results of decodeMailAndSaveAttachments besides 1 (attachments saved) and 0 (none).
inline constexpr int kDecodeAttachmentCannotOpen = -5;
inline constexpr int kDecodeAttachmentPartsMissing = -6;

// Decoded header texts of one mail, in code page 932.
struct DecodedHeaders {
    std::string subject;
    std::string date;
    std::string from;
};

// Decodes Subject, Date and From of a raw header block (RFC 2047 words and raw 8-bit text).
DecodedHeaders decodeHeaders(std::string_view rawHeader);

struct DecodedMail {
    DecodedHeaders headers;
    std::string header;          // the raw header block, unchanged
    std::string body;            // the text body, code page 932, CR LF line ends
    bool lossy = false;          // see ParsedMail::lossy
    DecodedHeaders utf8Headers;  // see ParsedMail
    std::string utf8Body;        // see ParsedMail
};

// Decodes a whole raw mail and saves its attachments into folder. Returns 1 when attachments
// were saved, 0 when none, -5 when an attachment file could not be written, -6 when the parts
// of a split message are incomplete. error gets a text for the user on failure, in code page
// 932 like every other text of the mail library. Attachment names from the mail are made
// safe first: every file lands directly in folder and no existing file is overwritten.
// rawMail may hold any bytes, NUL included. The attachments of a mail are saved all or none
// (-5 leaves none of them behind); saved (when given) gets the paths written.
// bodyLimit: see parseMail (mime_parse.h); the default converts the whole body.
int decodeMailAndSaveAttachments(std::string_view rawMail, const std::filesystem::path& folder,
                                 DecodedMail& out, std::string& error,
                                 std::vector<std::filesystem::path>* saved = nullptr,
                                 std::size_t bodyLimit = std::string_view::npos);

}  // namespace tsubame
