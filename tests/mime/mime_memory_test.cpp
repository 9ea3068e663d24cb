#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "mime/base64_decode.h"
#include "mime/mime_decode.h"
#include "support/mime_test_folder.h"

namespace tsubame {
namespace {

using mime_test::TempFolder;

// Cut anywhere, the lenient decoder gives the bytes it gives the whole text.
TEST(LenientBase64, PiecesDecodeAsTheWholeText) {
    for (const std::string encoded :
         {"QUJD", "QUJDRA", "QUJDREU", "QQ==QkM=", "QU\r\nJD*RE=VG", "Q", "=QUJ\nD", ""}) {
        const std::string whole = decodeBase64Leniently(encoded);
        for (std::size_t cut = 0; cut <= encoded.size(); ++cut) {
            LenientBase64Decoder decoder;
            std::string out;
            decoder.decode(std::string_view(encoded).substr(0, cut), out);
            for (char c : std::string_view(encoded).substr(cut)) decoder.decode({&c, 1}, out);
            decoder.finish(out);
            EXPECT_EQ(out, whole) << encoded << " cut at " << cut;
        }
    }
}

// With a body limit only the start of a text body is converted: it is the start of the whole
// body, and long enough, whatever the charset and however the conversion was chosen.
TEST(MimeBodyStart, IsTheStartOfTheWholeBody) {
    const std::string jis = "\x1b$B$\"$$\x1b(B line\r\n", sjis = "\x82\xa0\x82\xa2 line\r\n";
    const std::string utf8 = "\xe3\x81\x82\xe3\x81\x84 line\n";
    const std::vector<std::pair<std::string, std::string>> bodies = {
        {"iso-2022-jp", jis},
        {"shift_jis", sjis},
        {"utf-8", utf8},
        {"", utf8},
        {"utf-8", sjis},
        {"iso-8859-1", "caf\xe9\r"},
        {"us-ascii", std::string(" \0 x", 4)}};
    constexpr std::size_t kLimit = 5000;
    const TempFolder folder("bodystart");
    for (const auto& [charset, line] : bodies) {
        std::string mail = "Content-Type: text/plain; charset=" + charset + "\r\n\r\n";
        for (int i = 0; i < 30000; ++i) mail += (i == 0 ? "   " : "") + line;
        DecodedMail whole, start;
        std::string error;
        decodeMailAndSaveAttachments(mail, folder.inbox(), whole, error);
        decodeMailAndSaveAttachments(mail, folder.inbox(), start, error, nullptr, kLimit);
        EXPECT_TRUE(whole.body.starts_with(start.body)) << charset;
        EXPECT_GE(start.body.size(), kLimit + 3) << charset;
        EXPECT_LT(start.body.size(), whole.body.size() / 2) << charset;
    }
}

long peakRssKb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A mail with one base64 attachment of about size bytes, built in place so that nothing but
// the mail itself is held when the decoding starts.
std::string mailWithLargeAttachment(std::size_t size) {
    const std::string line = "SGVsbG8sIGxhcmdlIGF0dGFjaG1lbnQhIFRoaXMgaXMgYSB0ZXN0IGxpbmUgISE=\r\n";
    const std::size_t lines = size / 47;  // each line holds 47 bytes, the last padded
    std::string mail =
        "Subject: big\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
        "--b\r\nContent-Type: text/plain\r\n\r\nsee the file\r\n--b\r\n"
        "Content-Type: application/octet-stream; name=big.bin\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n";
    mail.reserve(mail.size() + lines * line.size() + 16);
    for (std::size_t i = 0; i < lines; ++i) mail += line;
    mail += "--b--\r\n";
    return mail;
}

// The attachment goes from the decoder into its file in pieces: decoding adds far less memory
// than the mail's size, where whole copies of the mail and of the attachment would add several
// times its size. Measured in a child, whose peak resident size starts fresh.
TEST(MimeMemory, ALargeAttachmentGoesToItsFileWithoutWholeCopies) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's own memory hides the decoder's";
#endif
    const TempFolder folder("memory");
    constexpr std::size_t kAttachmentBytes = 32u << 20;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string mail = mailWithLargeAttachment(kAttachmentBytes);
        const long before = peakRssKb();
        DecodedMail out;
        std::string error;
        const int result = decodeMailAndSaveAttachments(mail, folder.inbox(), out, error);
        const long grownKb = peakRssKb() - before;
        const auto saved = std::filesystem::file_size(folder.inbox() / "big.bin");
        std::fprintf(stderr, "mail %zu KB, decoding added %ld KB\n", mail.size() / 1024, grownKb);
        const bool small = static_cast<std::size_t>(grownKb) * 1024 < mail.size() / 4;
        ::_exit(result == 1 && saved == kAttachmentBytes / 47 * 47 && small ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace tsubame
