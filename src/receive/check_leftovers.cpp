#include "receive/check_leftovers.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "core/attachment_files.h"
#include "receive/scratch_mail_file.h"

namespace tsubame {
namespace {

bool ownerGone(const std::string& name) {
    const std::optional<pid_t> pid = temporaryAttachmentOwner(name);
    return pid && ::kill(*pid, 0) != 0 && errno == ESRCH;
}

// Unlinks every name in folder of the file (device, inode).
void removeOtherNames(const std::filesystem::path& folder, const struct stat& file) {
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        struct stat info {};
        if (::lstat(it->path().c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            info.st_dev == file.st_dev && info.st_ino == file.st_ino)
            ::unlink(it->path().c_str());
    }
}

void removeStagingFolder(const std::filesystem::path& folder, const std::filesystem::path& staging,
                         const StagedFileStored& stored) {
    struct Staged {
        std::filesystem::path path;
        struct stat info;
        std::optional<bool> stored;
    };
    std::vector<Staged> files;
    std::error_code error;
    std::filesystem::directory_iterator it(staging, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        Staged file{it->path(), {}, false};
        if (::lstat(file.path.c_str(), &file.info) != 0 || !S_ISREG(file.info.st_mode)) return;
        if (file.info.st_nlink > 1) {
            file.stored = stored(staging.filename().string() + "/" + file.path.filename().string());
            if (!file.stored) return;
        }
        files.push_back(std::move(file));
    }
    if (error) return;
    for (const Staged& file : files) {
        if (file.info.st_nlink > 1 && !*file.stored) removeOtherNames(folder, file.info);
        ::unlink(file.path.c_str());
    }
    ::rmdir(staging.c_str());
}

}  // namespace

void removeCheckLeftovers(const std::filesystem::path& attachmentFolder,
                          const StagedFileStored& stored) {
    std::error_code error;
    std::filesystem::directory_iterator it(attachmentFolder, error);
    std::vector<std::filesystem::path> stagings;
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::filesystem::path& file = it->path();
        std::error_code ignored;
        if (it->is_symlink(ignored)) continue;
        if (it->is_directory(ignored)) {
            if (ownerGone(file.filename().string())) stagings.push_back(file);
        } else if (it->is_regular_file(ignored) &&
                   (ownerGone(file.filename().string()) || ScratchMailFile::isLeftover(file))) {
            std::filesystem::remove(file, ignored);
        }
    }
    // After the walk: a staging folder's removal takes names out of this folder.
    for (const auto& staging : stagings) removeStagingFolder(attachmentFolder, staging, stored);
}

}  // namespace tsubame
