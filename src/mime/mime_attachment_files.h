#pragma once

#include <string>
#include <string_view>

#include "core/attachment_files.h"
#include "mime/mime_parse.h"

namespace tsubame {

// The safe name (safeFileName) of an attachment named in code page 932.
std::string safeAttachmentFileName(std::string_view cp932Name);
// A name for a part without a usable one: "attachment<n>" plus an extension for its type;
// the report parts of a bounce are named for what they are ("delivery-status.txt").
std::string generatedAttachmentFileName(std::string_view mimeType, int number);
// The name a part is saved under (before numbering): its own made safe, else a generated
// one. Attached mails end in ".eml", the report parts of a bounce in ".txt".
std::string savedFileName(const MailAttachment& attachment, int& generated);

}  // namespace tsubame
