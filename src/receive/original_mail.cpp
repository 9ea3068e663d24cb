#include "receive/original_mail.h"

#include <algorithm>
#include <ctime>

#include "core/attachment_files.h"
#include "core/cp932.h"
#include "store/received_mail_record.h"

namespace tsubame {
namespace {

constexpr std::string_view kNoticeStart = "♪♪♪　元のメールを添付フォルダの「";
constexpr std::string_view kNoticeEnd = "」に保存しました。♪♪♪";

std::string timeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

bool recordCutsTheBody(std::string_view body) {
    const std::size_t blanks = std::min(body.find_first_not_of(' '), body.size());
    return body.size() - blanks > ReceivedMailRecord::kBodyWidth;
}

}  // namespace

std::string originalMailNotice(const std::string& fileName) {
    return std::string(kNoticeStart) + fileName + std::string(kNoticeEnd);
}

std::string originalMailFileNamedIn(std::string_view body) {
    const std::size_t start = body.rfind(kNoticeStart);
    if (start == std::string_view::npos) return {};
    const std::size_t nameStart = start + kNoticeStart.size();
    const std::size_t end = body.find(kNoticeEnd, nameStart);
    if (end == std::string_view::npos) return {};
    return std::string(body.substr(nameStart, end - nameStart));
}

bool keepOriginalWhenTheRecordCannot(const std::filesystem::path& folder,
                                     const OriginalMail& original, std::string_view subject,
                                     std::size_t reserved, std::string& body,
                                     std::vector<std::filesystem::path>& saved, std::string& why) {
    if (!original.lossy && !original.split && !recordCutsTheBody(body)) return true;
    // A separator in the subject must not cut the name down to its last piece.
    std::string title(subject);
    std::replace(title.begin(), title.end(), '/', '_');
    std::replace(title.begin(), title.end(), '\\', '_');
    AttachmentFileSaver saver(folder);
    std::string error;
    const bool written = saver.save(
        safeFileName("元のメール " + timeStamp() + " " + title + ".eml"),
        [&original](ContentSink& sink) {
            return sink.put(original.header) && sink.put("\r\n") && sink.put(original.body);
        },
        error);
    // Written under a temporary name; the file gets its own only when whole.
    if (!written || !saver.place(error)) {
        why = "元のメールを保存できません: " + cp932ToUtf8(error);
        return false;
    }
    saved.push_back(saver.written().front());
    const std::string notice =
        "\r\n" + utf8ToCp932(originalMailNotice(saved.back().filename().string()));
    // The notice must reach the record: the body gives way to it.
    const std::size_t blanks = std::min(body.find_first_not_of(' '), body.size());
    const std::size_t room = ReceivedMailRecord::kBodyWidth - notice.size() - reserved;
    if (body.size() - blanks > room) body.resize(blanks + cp932SafeCut(body.substr(blanks), room));
    body += notice;
    return true;
}

void renameOriginalMailInBody(std::string& body, const std::string& oldName,
                              const std::string& newName) {
    const std::string before = utf8ToCp932(originalMailNotice(oldName));
    const std::string after = utf8ToCp932(originalMailNotice(newName));
    const std::size_t at = body.rfind(before);
    if (at == std::string::npos) return;
    body.replace(at, before.size(), after);
    const std::size_t blanks = std::min(body.find_first_not_of(' '), body.size());
    if (body.size() - blanks <= ReceivedMailRecord::kBodyWidth) return;
    // The text before the notice (and its line end) gives way.
    const std::size_t textEnd = at >= 2 ? at - 2 : at;
    const std::size_t excess = body.size() - blanks - ReceivedMailRecord::kBodyWidth;
    const std::size_t keep = textEnd - blanks > excess ? textEnd - blanks - excess : 0;
    const std::size_t cut = blanks + cp932SafeCut(std::string_view(body).substr(blanks), keep);
    body.erase(cut, textEnd - cut);
}

}  // namespace tsubame
