#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>

#include "core/status.h"

namespace tsubame {

// Small POSIX file helpers that report every failure. They are the only place where the
// stores write, flush and rename, so a test can make the Nth of these fail.
class UniqueFd {
  public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    Status close();

  private:
    int fd_;
};

UniqueFd openFile(const std::filesystem::path& path, int flags, int mode = 0644);
// The same for a file that must be a regular file (a store, the journal, a lock file): a FIFO,
// a folder, a device or a socket is refused, and a FIFO never blocks the opener. The failure
// text starts with what and names the file; errno tells the cause of an ordinary failure.
UniqueFd openRegularFile(const std::filesystem::path& path, int flags, std::string_view what,
                         Status& why, int mode = 0644);
Status writeAt(int fd, const void* data, std::size_t size, std::int64_t offset);
Status readAt(int fd, void* data, std::size_t size, std::int64_t offset, std::size_t* got);
Status syncFd(int fd);
// Copies size bytes from one file to another inside the kernel where it can (falls back to
// reading and writing). Counts as a write for fault injection.
Status copyRange(int from, std::int64_t fromOffset, int to, std::int64_t toOffset,
                 std::size_t size);
// Starts the disk's write-back of a range of fd without waiting for it, so that a later flush of
// the whole file finds most of it already written.
void startWriteBack(int fd, std::int64_t offset, std::int64_t size);
// Runs tasks one after another, in the order given, on a thread of its own that starts with the
// first one, so that the caller goes on meanwhile. finish() (and the destructor) waits for every
// task given so far.
class TaskThread {
  public:
    TaskThread() = default;
    ~TaskThread() { finish(); }
    TaskThread(const TaskThread&) = delete;
    TaskThread& operator=(const TaskThread&) = delete;
    // False, without running the task, when there is no thread to be had.
    bool post(std::function<void()> task);
    void finish();

  private:
    void work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool finishing_ = false;
    bool started_ = false;
    std::thread thread_;
};
// Closes fd on a thread of its own when it is the last reference to a large file that is gone
// (a store replaced by its compacted copy): the kernel then drops the file's cached pages and
// frees its blocks, which takes a while for a gigabyte and which nobody needs to wait for.
void closeInBackground(UniqueFd fd);
Status renameFile(const std::filesystem::path& from, const std::filesystem::path& to);
// Flushes a folder's entries, so that a rename inside it survives a crash.
Status syncFolder(const std::filesystem::path& folder);
// Writes a whole file through a temporary file and an atomic rename.
Status writeFileAtomically(const std::filesystem::path& path, std::string_view content,
                           int mode = 0644);

// The text of errno for a failed operation on path, in Japanese for the user.
std::string ioErrorText(std::string_view what, const std::filesystem::path& path, int error);

// Fault injection for tests: the countdown-th write, sync, rename or read from now on fails
// with the given errno (countdown 0 switches it off). A failing write first writes half of
// its data, as a disk that fills up would.
enum class FaultKind { Write, Sync, Rename, Read };
void injectFault(FaultKind kind, int countdown, int error);
void clearInjectedFaults();

}  // namespace tsubame
