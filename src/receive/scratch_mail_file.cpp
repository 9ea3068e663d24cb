#include "receive/scratch_mail_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "core/file_io.h"

namespace tsubame {
namespace {

constexpr int kPrivate = 0600;
constexpr std::size_t kBufferBytes = 256 * 1024;
// The first bytes of every scratch file: what proves a file left by a killed check ours.
constexpr std::string_view kMark = "TSUBAME SCRATCH MAIL\r\n";

// "0.txt" when it does not exist yet; otherwise a fresh "0-XXXXXX.txt" beside it.
UniqueFd createFresh(const std::filesystem::path& folder, std::filesystem::path& path) {
    path = folder / "0.txt";
    UniqueFd fd = openFile(path, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kPrivate);
    if (fd.valid() || errno != EEXIST) return fd;
    std::string pattern = (folder / "0-XXXXXX.txt").string();
    fd = UniqueFd(::mkostemps(pattern.data(), 4, O_CLOEXEC));
    path = pattern;
    return fd;
}

// Plain writes, outside the stores' fault-checked ones: a failure only sends the mail to the
// decoder from memory.
bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

ScratchMailFile::ScratchMailFile(const std::filesystem::path& folder) {
    std::filesystem::path path;
    UniqueFd fd = createFresh(folder, path);
    if (!fd.valid()) return;
    path_ = path;
    fd_ = std::move(fd);
    spoiled_ = !writeAll(fd_.get(), kMark);
}

bool ScratchMailFile::isLeftover(const std::filesystem::path& file) {
    const std::string name = file.filename().string();
    const bool scratchName =
        name == "0.txt" || (name.size() == 12 && name.starts_with("0-") && name.ends_with(".txt"));
    if (!scratchName) return false;
    UniqueFd fd = openFile(file, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    char start[kMark.size()];
    std::size_t got = 0;
    return readAt(fd.get(), start, sizeof start, 0, &got) && got == sizeof start &&
           std::string_view(start, got) == kMark;
}

void ScratchMailFile::append(std::string_view bytes) {
    if (!fd_.valid() || spoiled_) return;
    size_ += bytes.size();
    if (buffer_.size() + bytes.size() > kBufferBytes && !flush()) return;
    if (bytes.size() >= kBufferBytes) {
        spoiled_ = !writeAll(fd_.get(), bytes);
        return;
    }
    buffer_.append(bytes);
}

bool ScratchMailFile::flush() {
    spoiled_ = spoiled_ || !writeAll(fd_.get(), buffer_);
    buffer_.clear();
    return !spoiled_;
}

std::string_view ScratchMailFile::mapped() {
    if (mapping_ != nullptr) return {static_cast<const char*>(mapping_) + kMark.size(), size_};
    if (!fd_.valid() || size_ == 0 || !flush()) return {};
    void* mapping = ::mmap(nullptr, kMark.size() + size_, PROT_READ, MAP_PRIVATE, fd_.get(), 0);
    if (mapping == MAP_FAILED) return {};
    mapping_ = mapping;
    return {static_cast<const char*>(mapping_) + kMark.size(), size_};
}

ScratchMailFile::~ScratchMailFile() {
    if (mapping_ != nullptr) ::munmap(mapping_, kMark.size() + size_);
    if (!path_.empty()) ::unlink(path_.c_str());
}

}  // namespace tsubame
