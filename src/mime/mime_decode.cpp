#include "mime/mime_decode.h"

#include "core/cp932.h"
#include "mime/mime_attachment_files.h"
#include "mime/mime_header_text.h"
#include "mime/mime_parse.h"

namespace tsubame {
namespace {

std::string headerText(std::string_view rawHeader, std::string_view name) {
    std::string text = decodeHeaderText(findRawHeader(rawHeader, name));
    text.resize(cp932SafeCut(text, kMailHeaderBufferSize - 1));
    return text;
}

}  // namespace

DecodedHeaders decodeHeaders(std::string_view rawHeader) {
    return {headerText(rawHeader, "Subject"), headerText(rawHeader, "Date"),
            headerText(rawHeader, "From")};
}

int decodeMailAndSaveAttachments(std::string_view rawMail, const std::filesystem::path& folder,
                                 DecodedMail& out, std::string& error,
                                 std::vector<std::filesystem::path>* saved, std::size_t bodyLimit) {
    // Each attachment goes to its file while the mail is parsed, a piece at a time.
    AttachmentFileSaver saver(folder);
    int generated = 0;  // numbers the generated names across the mail
    bool failed = false;
    ParsedMail mail = parseMail(
        rawMail,
        [&](const MailAttachment& attachment, const ContentWriter& write) {
            if (!failed) failed = !saver.save(savedFileName(attachment, generated), write, error);
        },
        bodyLimit);
    out.headers = std::move(mail.headers);
    out.header = std::string(rawMail.substr(0, mail.headerEnd));
    out.body = std::move(mail.body);
    out.lossy = mail.lossy;
    out.utf8Headers = std::move(mail.utf8Headers);
    out.utf8Body = std::move(mail.utf8Body);
    if (failed || !saver.place(error)) return kDecodeAttachmentCannotOpen;
    const int count = static_cast<int>(saver.written().size());
    if (saved != nullptr) *saved = saver.takeWritten();
    if (mail.incompletePartial) {
        error = utf8ToCp932("分割されたメールが全て揃っていません");
        return kDecodeAttachmentPartsMissing;
    }
    return count > 0 ? 1 : 0;
}

}  // namespace tsubame
