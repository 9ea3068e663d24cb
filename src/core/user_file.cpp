#include "core/user_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "core/file_io.h"
#include "core/system_error_text.h"

namespace tsubame {
namespace {

constexpr int kMaxLinkHops = 40;  // as the kernel's own limit for a path
constexpr std::size_t kMaxNameBytes = NAME_MAX;

mode_t newFileMode() {
    // Read without changing it where the kernel tells it: setting and restoring it would
    // briefly change the mask for files another thread creates meanwhile.
    mode_t mask = 022;
    std::ifstream status("/proc/self/status");
    std::string line;
    bool found = false;
    while (!found && std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0) {
            mask = static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
            found = true;
        }
    if (!found) {
        mask = ::umask(022);
        ::umask(mask);
    }
    return 0666 & ~mask & 0777;
}

// "<name>.XXXXXX" beside the target, or a short hidden name when that would be too long.
std::string temporaryTemplate(const std::filesystem::path& target) {
    const std::string name = target.filename().string();
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    const std::string stem =
        name.size() + kTemporarySuffixBytes <= kMaxNameBytes ? name : std::string(".tsubame");
    return (folder / (stem + ".XXXXXX")).string();
}

}  // namespace

std::filesystem::path followSymlinks(const std::filesystem::path& path) {
    std::filesystem::path current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, error)))
            return current;
        const std::filesystem::path link = std::filesystem::read_symlink(current, error);
        if (error) return current;
        current = link.is_absolute() ? link : current.parent_path() / link;
    }
    return current;  // a loop: the rename below fails on it like any other bad path
}

Status replaceUserFile(const std::filesystem::path& path, std::string_view content) {
    const std::filesystem::path target = followSymlinks(path);
    auto fail = [&](const std::string& why) {
        return Status::failure("「" + path.string() + "」に書き込めません: " + why);
    };
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return fail("通常のファイルではありません");
    // A rename would replace a file the user may not write; it stays protected.
    if (exists && ::access(target.c_str(), W_OK) != 0) return fail(systemErrorText(errno));

    std::string name = temporaryTemplate(target);
    UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd.valid()) return fail(systemErrorText(errno));
    const std::filesystem::path temp = name;

    Status st;
    if (exists) {
        // Keeps the group where the owner may; a failure there only loses the group.
        if (::fchown(fd.get(), static_cast<uid_t>(-1), old.st_gid) != 0) errno = 0;
    }
    const mode_t mode = exists ? old.st_mode & 07777 : newFileMode();
    if (::fchmod(fd.get(), mode) != 0) st = Status::failure(systemErrorText(errno));
    if (st) st = writeAt(fd.get(), content.data(), content.size(), 0);
    if (st) st = syncFd(fd.get());
    if (st) st = fd.close();
    if (st) st = renameFile(temp, target);
    if (!st) {
        fd = UniqueFd();
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        return fail(st.message());
    }
    syncFolder(target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path());
    return {};
}

}  // namespace tsubame
