#include "core/app_paths.h"

#include <unistd.h>

#include <algorithm>
#include <system_error>

namespace tsubame {
namespace {

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        return lower(x) == lower(y);
    });
}

}  // namespace

std::filesystem::path resolveCaseInsensitive(const std::filesystem::path& base,
                                             std::string_view relative) {
    std::filesystem::path current = base;
    bool searching = true;  // once a component is missing, the rest cannot exist either
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t end = relative.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = relative.size();
        std::string_view name = relative.substr(start, end - start);
        start = end + 1;
        if (name.empty()) continue;
        std::filesystem::path exact = current / std::string(name);
        std::error_code ec;
        if (!searching || std::filesystem::exists(exact, ec)) {
            current = exact;
            continue;
        }
        // Several spellings can exist side by side on this file system; take the same one
        // every time (the smallest name), whatever order the folder lists them in.
        std::filesystem::path found;
        for (std::filesystem::directory_iterator it(current, ec), endIt; !ec && it != endIt;
             it.increment(ec)) {
            if (equalsIgnoringAsciiCase(it->path().filename().string(), name) &&
                (found.empty() || it->path().filename() < found.filename()))
                found = it->path();
        }
        if (found.empty()) {
            searching = false;
            current = exact;
        } else {
            current = found;
        }
    }
    return current;
}

AppPaths::AppPaths(std::filesystem::path appFolder) : appFolder_(std::move(appFolder)) {}

std::filesystem::path AppPaths::dataFolder() const { return resolve("★MailData"); }
std::filesystem::path AppPaths::receivedStore() const { return resolve("★MAilData/kordata2.data"); }
std::filesystem::path AppPaths::receivedTemp() const { return resolve("★MAilData/KORDATA2.TMP"); }
std::filesystem::path AppPaths::addressStore() const { return resolve("★MAilData/Kordata20.data"); }
std::filesystem::path AppPaths::addressTemp() const { return resolve("★MAilData/KORDATA20.TMP"); }
std::filesystem::path AppPaths::windowOptionsFile() const { return resolve("★MailData/ini.ini"); }
std::filesystem::path AppPaths::loginFile() const { return resolve("★MailData/iniIdPass.ini"); }
std::filesystem::path AppPaths::receiveJournal() const {
    return resolve("★MailData/kordata2.journal");
}
std::filesystem::path AppPaths::trustedCertificates() const {
    return resolve("★MailData/trusted-certificates");
}
std::filesystem::path AppPaths::keptOriginals() const {
    return resolve("★MailData/kordata2.originals");
}
std::filesystem::path AppPaths::dataFolderLock() const { return resolve("★MailData/kordata.lock"); }
std::filesystem::path AppPaths::addressBookLock() const {
    return resolve("★MailData/Kordata20.lock");
}
std::filesystem::path AppPaths::attachmentFolder() const { return resolve("添付フォルダ"); }
std::filesystem::path AppPaths::attachmentScratch() const { return resolve("添付フォルダ/0.txt"); }
std::filesystem::path AppPaths::quickSaveFolder() const { return resolve("■TextQuickSave"); }
std::filesystem::path AppPaths::flashPage() const { return resolve("Flash/1.html"); }
std::filesystem::path AppPaths::newDocument() const { return resolve("新規作成.TXT"); }

std::filesystem::path AppPaths::serverSettingsFile() const { return resolve("korumi.ini"); }

std::filesystem::path AppPaths::serverSettingsFileToRead() const {
    const std::filesystem::path own = serverSettingsFile();
    std::error_code ec;
    if (std::filesystem::exists(own, ec)) return own;
    const std::filesystem::path workingDir = std::filesystem::current_path(ec);
    if (ec) return own;
    const std::filesystem::path left = resolveCaseInsensitive(workingDir, "korumi.ini");
    return std::filesystem::exists(left, ec) ? left : own;
}

std::filesystem::path executableFolder() {
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path() : self.parent_path();
}

}  // namespace tsubame
