#include "mime/mime_header_block.h"

namespace tsubame {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The line without its CR LF or LF.
std::string_view contentOf(std::string_view line) {
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    return line;
}

bool isWhiteSpaceOnly(std::string_view content) {
    return content.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

bool isFieldLine(std::string_view content) {
    std::size_t i = 0;
    while (i < content.size() && content[i] > ' ' && content[i] < 0x7F && content[i] != ':') ++i;
    if (i == 0) return false;
    while (i < content.size() && isBlank(content[i])) ++i;
    return i < content.size() && content[i] == ':';
}

HeaderBlock findHeaderBlock(std::string_view rawMail) {
    auto lineAt = [rawMail](std::size_t pos) {
        const std::size_t newline = rawMail.find('\n', pos);
        return rawMail.substr(
            pos, newline == std::string_view::npos ? std::string_view::npos : newline - pos + 1);
    };
    HeaderBlock block;
    std::size_t pos = 0;
    while (pos < rawMail.size() && isBlank(rawMail[pos])) pos += lineAt(pos).size();
    // An mbox envelope line is the store's, not a field of the mail.
    const std::string_view first = contentOf(lineAt(pos));
    if (first.starts_with("From ") && !isFieldLine(first)) pos += lineAt(pos).size();
    block.fieldsBegin = pos;
    // Lines of white space only continue the field before them; they add nothing to it, so
    // the header ends behind the last line that says something.
    std::size_t lastSaid = pos;
    while (pos < rawMail.size()) {
        const std::string_view line = lineAt(pos);
        const std::string_view content = contentOf(line);
        if (content.empty()) {
            block.end = lastSaid;
            block.bodyBegin = pos + line.size();
            return block;
        }
        // Envelope lines further down are skipped as well, as mbox files repeat them.
        const bool envelope = content.starts_with("From ");
        if (!isBlank(content[0]) && !isFieldLine(content) && !envelope) {
            block.end = lastSaid;
            block.bodyBegin = pos;
            return block;
        }
        pos += line.size();
        if (!isWhiteSpaceOnly(content)) lastSaid = pos;
    }
    block.end = lastSaid;
    block.bodyBegin = rawMail.size();
    return block;
}

}  // namespace tsubame
