#include "mime/mime_attachment_files.h"

#include <algorithm>
#include <cctype>

#include "core/cp932.h"
#include "mime/mime_charset.h"

namespace tsubame {

std::string safeAttachmentFileName(std::string_view cp932Name) {
    return safeFileName(cp932ToUtf8(sanitizeCp932(cp932Name)));
}

namespace {

// Report parts of a bounce: text, named for what they are.
bool isStatusReport(std::string_view mimeType) {
    return mimeType == "message/delivery-status" || mimeType == "text/rfc822-headers" ||
           mimeType == "message/disposition-notification" ||
           mimeType == "message/global-delivery-status" || mimeType == "message/global-headers";
}

bool endsWithIgnoringCase(std::string_view name, std::string_view ending) {
    return name.size() >= ending.size() &&
           std::equal(ending.begin(), ending.end(), name.end() - ending.size(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

}  // namespace

std::string generatedAttachmentFileName(std::string_view mimeType, int number) {
    if (isStatusReport(mimeType))
        return std::string(mimeType.substr(mimeType.find('/') + 1)) + ".txt";
    static const std::pair<std::string_view, std::string_view> kExtensions[] = {
        {"image/jpeg", ".jpg"},      {"image/png", ".png"},       {"image/gif", ".gif"},
        {"application/pdf", ".pdf"}, {"application/zip", ".zip"}, {"text/plain", ".txt"},
        {"text/html", ".html"},      {"message/rfc822", ".eml"},  {"text/calendar", ".ics"},
    };
    std::string_view extension = mimeType.starts_with("text/")      ? ".txt"
                                 : mimeType.starts_with("message/") ? ".eml"
                                                                    : ".bin";
    for (const auto& [type, ext] : kExtensions)
        if (type == mimeType) extension = ext;
    return "attachment" + std::to_string(number) + std::string(extension);
}

std::string savedFileName(const MailAttachment& attachment, int& generated) {
    std::string name = attachment.utf8Name.empty() ? safeAttachmentFileName(attachment.name)
                                                   : safeFileName(attachment.utf8Name);
    if (name.empty())
        return generatedAttachmentFileName(attachment.mimeType,
                                           isStatusReport(attachment.mimeType) ? 0 : ++generated);
    // The extension tells the desktop what opens the file.
    const std::string_view type = attachment.mimeType;
    const std::string_view ending = isStatusReport(type)           ? ".txt"
                                    : type.starts_with("message/") ? ".eml"
                                                                   : "";
    if (!ending.empty() && !endsWithIgnoringCase(name, ending)) {
        name.resize(utf8SafeCut(name, kMaxFileNameBytes - ending.size()));
        name += ending;
    }
    return name;
}

}  // namespace tsubame
