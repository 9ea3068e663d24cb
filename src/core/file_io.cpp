#include "core/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "core/system_error_text.h"

namespace tsubame {
namespace {

// Atomic, as a compaction reads on one thread while it writes on another.
struct FaultPlan {
    std::atomic<int> countdown = 0;
    std::atomic<int> error = 0;
};
std::array<FaultPlan, 4> faultPlans;

// True (with errno set) when the planned fault of this kind is due now.
bool faultDue(FaultKind kind) {
    FaultPlan& plan = faultPlans[static_cast<int>(kind)];
    if (plan.countdown.load(std::memory_order_relaxed) <= 0) return false;
    if (plan.countdown.fetch_sub(1) != 1) return false;
    errno = plan.error.load();
    return true;
}

}  // namespace

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

Status UniqueFd::close() {
    int fd = release();
    if (fd >= 0 && ::close(fd) != 0) return Status::failure(systemErrorText(errno));
    return {};
}

UniqueFd openFile(const std::filesystem::path& path, int flags, int mode) {
    return UniqueFd(::open(path.c_str(), flags | O_CLOEXEC, mode));
}

namespace {

const char* fileKind(mode_t mode) {
    if (S_ISDIR(mode)) return "フォルダ";
    if (S_ISFIFO(mode)) return "FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "デバイス";
    if (S_ISSOCK(mode)) return "ソケット";
    return "特殊ファイル";
}

Status notRegular(std::string_view what, const std::filesystem::path& path, mode_t mode) {
    return Status::failure(std::string(what) + ": " + path.string() +
                           " (通常のファイルではありません: " + fileKind(mode) + ")");
}

}  // namespace

UniqueFd openRegularFile(const std::filesystem::path& path, int flags, std::string_view what,
                         Status& why, int mode) {
    // Looked at before the open, so that a device is not even opened; the look after it
    // closes the gap in between, and O_NONBLOCK keeps a FIFO from blocking meanwhile.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        why = notRegular(what, path, info.st_mode);
        errno = EINVAL;
        return UniqueFd();
    }
    UniqueFd fd = openFile(path, flags | O_NONBLOCK, mode);
    if (!fd.valid()) {
        const int error = errno;
        why = Status::failure(ioErrorText(what, path, error));
        errno = error;
        return fd;
    }
    if (::fstat(fd.get(), &info) != 0) {
        why = Status::failure(ioErrorText(what, path, errno));
        return UniqueFd();
    }
    if (!S_ISREG(info.st_mode)) {
        why = notRegular(what, path, info.st_mode);
        errno = EINVAL;
        return UniqueFd();
    }
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    why = {};
    return fd;
}

Status writeAt(int fd, const void* data, std::size_t size, std::int64_t offset) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        if (faultDue(FaultKind::Write)) {
            // Like a disk that fills up halfway: part of the data lands, then the error.
            const int error = errno;
            if (size > 1 && ::pwrite(fd, p, size / 2, offset) < 0) { /* the fault is reported */
            }
            return Status::failure(systemErrorText(error));
        }
        ssize_t n = ::pwrite(fd, p, size, offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Status::failure(systemErrorText(errno));
        }
        if (n == 0) return Status::failure("書き込みが途中で止まりました");
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return {};
}

Status readAt(int fd, void* data, std::size_t size, std::int64_t offset, std::size_t* got) {
    char* p = static_cast<char*>(data);
    std::size_t total = 0;
    while (total < size) {
        if (faultDue(FaultKind::Read)) return Status::failure(systemErrorText(errno));
        ssize_t n = ::pread(fd, p + total, size - total, offset + static_cast<std::int64_t>(total));
        if (n < 0) {
            if (errno == EINTR) continue;
            return Status::failure(systemErrorText(errno));
        }
        if (n == 0) break;
        total += static_cast<std::size_t>(n);
    }
    if (got) *got = total;
    return {};
}

Status copyRange(int from, std::int64_t fromOffset, int to, std::int64_t toOffset,
                 std::size_t size) {
    if (faultDue(FaultKind::Write)) return Status::failure(systemErrorText(errno));
    off64_t in = fromOffset;
    off64_t out = toOffset;
    while (size > 0) {
        ssize_t n = ::copy_file_range(from, &in, to, &out, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // not supported here, or the source ended: copy by hand below
        size -= static_cast<std::size_t>(n);
    }
    std::vector<char> buffer(std::min<std::size_t>(size, 1u << 20));
    while (size > 0) {
        std::size_t got = 0;
        std::size_t chunk = std::min(size, buffer.size());
        if (Status st = readAt(from, buffer.data(), chunk, in, &got); !st) return st;
        if (got == 0) return Status::failure("short read");
        if (Status st = writeAt(to, buffer.data(), got, out); !st) return st;
        in += static_cast<off64_t>(got);
        out += static_cast<off64_t>(got);
        size -= got;
    }
    return {};
}

Status syncFd(int fd) {
    if (faultDue(FaultKind::Sync) || ::fsync(fd) != 0)
        return Status::failure(systemErrorText(errno));
    return {};
}

void startWriteBack(int fd, std::int64_t offset, std::int64_t size) {
    // Only a hint: when the file system cannot, the final flush writes everything.
    ::sync_file_range(fd, offset, size, SYNC_FILE_RANGE_WRITE);
}

bool TaskThread::post(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    if (!started_) {
        started_ = true;
        try {
            thread_ = std::thread([this] { work(); });
        } catch (const std::system_error&) {
            return false;
        }
    }
    if (!thread_.joinable() || finishing_) return false;
    tasks_.push_back(std::move(task));
    wake_.notify_one();
    return true;
}

void TaskThread::finish() {
    {
        std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void TaskThread::work() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return finishing_ || !tasks_.empty(); });
            if (tasks_.empty()) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

void closeInBackground(UniqueFd fd) {
    // A small file closes faster than a thread starts.
    constexpr off_t kWorthAThread = 64 << 20;
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || info.st_size < kWorthAThread) return;
    try {
        std::thread([owned = std::move(fd)]() mutable { owned = UniqueFd(); }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: fd was moved into the failed lambda and closes here.
    }
}

Status renameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (faultDue(FaultKind::Rename) || ::rename(from.c_str(), to.c_str()) != 0)
        return Status::failure(ioErrorText("名前を変更できません", to, errno));
    return {};
}

Status syncFolder(const std::filesystem::path& folder) {
    UniqueFd fd = openFile(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY);
    if (!fd.valid()) return Status::failure(ioErrorText("フォルダを開けません", folder, errno));
    return syncFd(fd.get());
}

Status writeFileAtomically(const std::filesystem::path& path, std::string_view content, int mode) {
    std::filesystem::path temp = path;
    temp += ".tmp";
    UniqueFd fd = openFile(temp, O_WRONLY | O_CREAT | O_TRUNC, mode);
    if (!fd.valid()) return Status::failure(ioErrorText("書き込めません", path, errno));
    // A temporary file left by an earlier crash keeps its old mode through O_CREAT; the new
    // file must get the mode asked for (the login file is owner-only).
    // Bits are only ever taken away, so the umask still applies to a fresh file.
    Status st;
    struct stat info {};
    if (::fstat(fd.get(), &info) == 0 && (info.st_mode & 07777 & ~static_cast<mode_t>(mode)) &&
        ::fchmod(fd.get(), info.st_mode & 07777 & static_cast<mode_t>(mode)) != 0)
        st = Status::failure(systemErrorText(errno));
    if (st) st = writeAt(fd.get(), content.data(), content.size(), 0);
    if (st) st = syncFd(fd.get());
    if (st) st = fd.close();
    if (st) st = renameFile(temp, path);
    if (!st) {
        fd = UniqueFd();
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        return Status::failure("「" + path.string() + "」に書き込めません: " + st.message());
    }
    syncFolder(path.parent_path());
    return {};
}

std::string ioErrorText(std::string_view what, const std::filesystem::path& path, int error) {
    return std::string(what) + ": " + path.string() + ": " + systemErrorText(error);
}

void injectFault(FaultKind kind, int countdown, int error) {
    FaultPlan& plan = faultPlans[static_cast<int>(kind)];
    plan.error = error;
    plan.countdown = countdown;
}

void clearInjectedFaults() {
    for (FaultPlan& plan : faultPlans) plan.countdown = 0;
}

}  // namespace tsubame
