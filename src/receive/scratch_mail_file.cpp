#include "receive/scratch_mail_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "core/file_io.h"

namespace tsubame {
namespace {

constexpr int kPrivate = 0600;

// "0.txt" when it does not exist yet; otherwise a fresh "0-XXXXXX.txt" beside it.
UniqueFd createFresh(const std::filesystem::path& folder, std::filesystem::path& path) {
    path = folder / "0.txt";
    UniqueFd fd = openFile(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kPrivate);
    if (fd.valid() || errno != EEXIST) return fd;
    std::string pattern = (folder / "0-XXXXXX.txt").string();
    fd = UniqueFd(::mkostemps(pattern.data(), 4, O_CLOEXEC));
    path = pattern;
    return fd;
}

}  // namespace

ScratchMailFile::ScratchMailFile(const std::filesystem::path& folder, std::string_view rawMail) {
    std::filesystem::path path;
    UniqueFd fd = createFresh(folder, path);
    if (!fd.valid()) return;
    path_ = path;
    // Only a carrier for the decoder, which also has the mail in memory: a short write is
    // not worth stopping the mail for (plain writes, outside the stores' fault-checked ones).
    while (!rawMail.empty()) {
        const ssize_t written = ::write(fd.get(), rawMail.data(), rawMail.size());
        if (written <= 0 && errno != EINTR) break;
        if (written > 0) rawMail.remove_prefix(static_cast<std::size_t>(written));
    }
}

ScratchMailFile::~ScratchMailFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
}

}  // namespace tsubame
