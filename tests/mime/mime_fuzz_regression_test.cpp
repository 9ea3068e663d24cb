// Inputs the fuzzer found, kept so that the faults stay fixed.
#include <gtest/gtest.h>

#include "mime/mime_attachment_files.h"
#include "mime/mime_header_text.h"
#include "smtp/smtp_header_encode.h"

namespace tsubame {
namespace {

bool hasControlCharacter(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

// A lead byte followed by a byte that cannot end a double-byte character (here LF) was
// taken as one character, and the LF slipped through into a file name.
TEST(MimeFuzzRegression, LeadByteBeforeLineBreakInAFileName) {
    const std::string name = safeAttachmentFileName("abc\xFE\xFF\xFF\xFA\n");
    EXPECT_FALSE(hasControlCharacter(name));
    EXPECT_EQ(name.substr(0, 3), "abc");
    EXPECT_EQ(safeAttachmentFileName("x\x81/y"), "y");
}

// The same pattern must not break a header line when decoding or when sending.
TEST(MimeFuzzRegression, LeadByteBeforeLineBreakInHeaders) {
    EXPECT_FALSE(hasControlCharacter(decodeHeaderText("=?shift_jis?Q?a=81=0Ab?=")));
    const std::string encoded = encodeHeaderValue("Hi\x81\r\nBcc: victim@example.com");
    for (std::size_t i = encoded.find('\n'); i != std::string::npos; i = encoded.find('\n', i + 1))
        EXPECT_TRUE(i + 1 < encoded.size() && encoded[i + 1] == ' ') << "unfolded line break";
}

}  // namespace
}  // namespace tsubame
