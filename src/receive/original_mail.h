#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tsubame {

// A downloaded mail as the server gave it, and what its decoding could not keep.
struct OriginalMail {
    std::string_view header;  // the header block with its last line end
    std::string_view body;    // everything after the blank line
    bool lossy = false;       // a character or a part the texts and files do not hold
    bool split = false;       // one piece of a split mail
};

// The server removes a mail once it is stored, so what its record cannot hold must be kept
// elsewhere: when the body is longer than the record's, when the decoding lost a character or
// a part, or when the mail is one piece of a split mail, the mail is saved whole as a new
// ".eml" file in the attachment folder and the body (code page 932) ends with a notice that
// names it, cut where the record would otherwise cut the notice off; reserved is what will
// still be appended behind the notice; subject (UTF-8) names the file. A mail the record holds
// whole is left as it is.
// saved gets the file; false (with why, for the user) when it could not be written.
bool keepOriginalWhenTheRecordCannot(const std::filesystem::path& folder,
                                     const OriginalMail& original, std::string_view subject,
                                     std::size_t reserved, std::string& body,
                                     std::vector<std::filesystem::path>& saved, std::string& why);

// The kept mail's file got newName instead of oldName (a file of that name came first): the
// body (code page 932) names newName, cut where the record would otherwise lose the end.
void renameOriginalMailInBody(std::string& body, const std::string& oldName,
                              const std::string& newName);

// The notice's text for a file name (UTF-8), and the file name it names in a body (empty
// when there is none).
std::string originalMailNotice(const std::string& fileName);
std::string originalMailFileNamedIn(std::string_view body);

}  // namespace tsubame
