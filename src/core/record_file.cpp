#include "core/record_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "core/file_io.h"

namespace tsubame {
namespace {

constexpr const char* kCannotOpen = "ファイルを開けません";

std::int64_t fileLength(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return st.st_size;
}

// Removes the temporary file of a failed compaction and says why it failed.
// The temporary name is ours, not the user's: the text names its folder instead.
Status failCompaction(const std::filesystem::path& tempPath, std::string text) {
    std::error_code ignored;
    std::filesystem::remove(tempPath, ignored);
    const std::string name = tempPath.string();
    const std::string shown = "「" + tempPath.parent_path().string() + "」の作業用ファイル";
    for (std::size_t at = text.find(name); !name.empty() && at != std::string::npos;
         at = text.find(name, at + shown.size()))
        text.replace(at, name.size(), shown);
    return Status::failure(text);
}

// Opens the store as the source and a fresh temporary file, which takes over the store's
// permissions since it replaces the store.
Status openCompaction(const std::filesystem::path& path, const std::filesystem::path& tempPath,
                      UniqueFd& source, UniqueFd& target, std::int64_t& sourceLength) {
    Status why;
    source = openRegularFile(path, O_RDONLY | O_CREAT, kCannotOpen, why);
    if (!source.valid()) return why;
    target = openRegularFile(tempPath, O_WRONLY | O_CREAT | O_TRUNC, "一時ファイルを作成できません",
                             why);
    if (!target.valid()) return why;
    struct stat sourceInfo {};
    if (::fstat(source.get(), &sourceInfo) != 0 ||
        ::fchmod(target.get(), sourceInfo.st_mode & 07777) != 0)
        return Status::failure(ioErrorText("一時ファイルを作成できません", tempPath, errno));
    sourceLength = sourceInfo.st_size;
    return {};
}

// Copies the kept runs of the store into the temporary file one after another. The disk starts
// writing every 8 MB as soon as they are copied, so that it keeps pace with the copy and the
// flush at the end waits for little more than the last piece (pieces of 64 MB were slower:
// the disk idled through the first one). The helper thread starts that write-back: the kernel
// submits the disk's requests there, and waits there when the disk's queue is full, while the
// copy goes on. When the disk falls behind, the helper starts everything copied meanwhile in
// one go, and what it has not started when the copy ends is left to the final flush.
class RunCopier {
  public:
    RunCopier(int from, int to, TaskThread& helper) : from_(from), to_(to), helper_(helper) {}
    ~RunCopier() { stopWriteBack(); }
    RunCopier(const RunCopier&) = delete;
    RunCopier& operator=(const RunCopier&) = delete;

    Status copy(std::int64_t fromOffset, std::int64_t bytes) {
        while (bytes > 0) {
            const std::int64_t piece =
                std::min(bytes, kWriteBackEvery - written_ % kWriteBackEvery);
            if (Status st =
                    copyRange(from_, fromOffset, to_, written_, static_cast<std::size_t>(piece));
                !st)
                return st;
            fromOffset += piece;
            written_ += piece;
            bytes -= piece;
            if (written_ % kWriteBackEvery == 0) {
                if (written_ == kWriteBackEvery) threaded_ = helper_.post([this] { writeBack(); });
                if (!threaded_) {
                    startWriteBack(to_, written_ - kWriteBackEvery, kWriteBackEvery);
                    continue;
                }
                std::lock_guard lock(mutex_);
                copied_ = written_;
                wake_.notify_one();
            }
        }
        return {};
    }

    // Ends the write-back after the range it is starting, if any (the final flush does the rest).
    void stopWriteBack() {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        wake_.notify_one();
    }

  private:
    // On the helper thread, until stopWriteBack().
    void writeBack() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopped_ || copied_ > started_; });
            if (stopped_) return;
            const std::int64_t from = started_, to = copied_;
            started_ = to;
            lock.unlock();
            startWriteBack(to_, from, to - from);
            lock.lock();
        }
    }

    static constexpr std::int64_t kWriteBackEvery = 8 << 20;
    int from_, to_;
    TaskThread& helper_;
    std::int64_t written_ = 0;
    bool threaded_ = false;  // the helper thread starts the write-back, not the copy's own
    std::mutex mutex_;
    std::condition_variable wake_;
    std::int64_t copied_ = 0;   // written and not yet given to the disk before this
    std::int64_t started_ = 0;  // given to the disk before this
    bool stopped_ = false;
};

// The in-use flags of a store's records, read a batch at a time just before the batch is copied,
// one 2-byte read each: the cheapest way here (about 25 ms for 32,767 records), as a mapping
// costs more in page faults and a large read copies every byte to the program.
class FlagScan {
  public:
    FlagScan(int fd, std::int64_t length, std::int64_t flagOffset)
        : fd_(fd), length_(length), flagOffset_(flagOffset) {}

    // Reads the flags of records [begin, end) into keep (indexed from begin).
    Status read(std::int64_t begin, std::int64_t end, std::vector<char>& keep) const {
        keep.assign(static_cast<std::size_t>(end - begin), 0);
        for (std::int64_t i = begin; i < end; ++i) {
            char flag[2];
            std::size_t got = 0;
            Status st = readAt(fd_, flag, 2, i * length_ + flagOffset_, &got);
            if (!st) return st;
            if (got != 2) return Status::failure("short read");
            keep[static_cast<std::size_t>(i - begin)] = flag[0] != 0 || flag[1] != 0;  // not 0
        }
        return {};
    }

  private:
    int fd_;
    std::int64_t length_, flagOffset_;
};

// Flushes the temporary file and renames it over the store in one atomic step. The old store
// is then released in the background: its pages and blocks are no use to anybody.
Status finishCompaction(const std::filesystem::path& path, const std::filesystem::path& tempPath,
                        UniqueFd& source, UniqueFd& target) {
    Status st = syncFd(target.get());
    if (st) st = target.close();
    if (!st) return failCompaction(tempPath, "一時ファイルを保存できません: " + st.message());
    st = renameFile(tempPath, path);
    if (!st) return failCompaction(tempPath, st.message());
    syncFolder(path.parent_path());
    closeInBackground(std::move(source));
    return {};
}

// Fills the temporary file with the runs of records copyKept chooses (it gets the open store,
// its length and the copier) and puts it in the store's place. A copy that fails says so for
// the temporary file.
using KeptRuns = std::function<Status(int source, std::int64_t sourceLength, RunCopier& copier)>;
Status rewriteStore(const std::filesystem::path& path, const std::filesystem::path& tempPath,
                    const KeptRuns& copyKept) {
    UniqueFd source, target;
    std::int64_t sourceLength = 0;
    if (Status st = openCompaction(path, tempPath, source, target, sourceLength); !st)
        return failCompaction(tempPath, st.message());
    Status copied;
    {
        TaskThread helper;  // done with both files before they close
        RunCopier copier(source.get(), target.get(), helper);
        copied = copyKept(source.get(), sourceLength, copier);
    }
    if (!copied) return failCompaction(tempPath, copied.message());
    return finishCompaction(path, tempPath, source, target);
}

std::string copyFailure(const std::filesystem::path& tempPath, const Status& st) {
    return tempPath.string() + "に書き込めません: " + st.message();
}

// Copies the records whose flags say kept, a batch of about 32 MB at a time after reading the
// batch's flags; a run of kept records that goes on past a batch is copied in parts.
Status copyLiveRuns(const FlagScan& flags, std::int64_t records, std::int64_t length,
                    RunCopier& copier, const std::filesystem::path& path,
                    const std::filesystem::path& tempPath) {
    const std::int64_t perBatch = std::max<std::int64_t>(1, (32 << 20) / length);
    std::int64_t runStart = -1;  // first record of the current run of kept records
    std::vector<char> keep;
    auto copyRun = [&](std::int64_t end) -> Status {
        if (runStart < 0) return {};
        Status st = copier.copy(runStart * length, (end - runStart) * length);
        runStart = -1;
        return st ? st : Status::failure(copyFailure(tempPath, st));
    };
    for (std::int64_t begin = 0; begin < records; begin += perBatch) {
        const std::int64_t end = std::min(records, begin + perBatch);
        if (Status why = flags.read(begin, end, keep); !why)
            return Status::failure("「" + path.string() + "」を読み込めません: " + why.message());
        for (std::int64_t i = begin; i < end; ++i) {
            const bool kept = keep[static_cast<std::size_t>(i - begin)] != 0;
            if (kept && runStart < 0) runStart = i;
            if (!kept) {
                if (Status st = copyRun(i); !st) return st;
            }
        }
        if (Status st = copyRun(end); !st) return st;
    }
    return {};
}

}  // namespace

std::int64_t divideRoundHalfEven(std::int64_t numerator, std::int64_t denominator) {
    std::int64_t q = numerator / denominator;
    std::int64_t r = numerator % denominator;
    if (2 * r > denominator || (2 * r == denominator && (q % 2) != 0)) ++q;
    return q;
}

RecordFile::RecordFile(std::filesystem::path path, std::size_t recordLength)
    : path_(std::move(path)), recordLength_(recordLength) {}

Status RecordFile::createIfMissing() const {
    Status why;
    UniqueFd fd = openRegularFile(path_, O_WRONLY | O_CREAT, "ファイルを作成できません", why);
    if (!fd.valid()) return why;
    return fd.close();
}

std::int64_t RecordFile::count() const {
    return divideRoundHalfEven(fileLength(path_), static_cast<std::int64_t>(recordLength_));
}

std::int64_t RecordFile::wholeRecords() const {
    return fileLength(path_) / static_cast<std::int64_t>(recordLength_);
}

bool RecordFile::read(std::int64_t n, std::span<char> buffer) const {
    if (n < 1 || buffer.size() < recordLength_) return false;
    Status why;
    UniqueFd fd = openRegularFile(path_, O_RDONLY, kCannotOpen, why);
    if (!fd.valid()) return false;
    std::size_t got = 0;
    Status st = readAt(fd.get(), buffer.data(), recordLength_,
                       (n - 1) * static_cast<std::int64_t>(recordLength_), &got);
    return st && got == recordLength_;
}

Status RecordFile::write(std::int64_t n, std::span<const char> record) const {
    if (record.size() != recordLength_) return Status::failure("レコードの長さが正しくありません");
    return writeBytes(n, 0, record);
}

Status RecordFile::writeBytes(std::int64_t n, std::size_t offset,
                              std::span<const char> bytes) const {
    if (n < 1 || n > kMaxRecordNumber || offset + bytes.size() > recordLength_)
        return Status::failure("レコード番号 " + std::to_string(n) + " は範囲外です");
    Status why;
    UniqueFd fd = openRegularFile(path_, O_WRONLY | O_CREAT, kCannotOpen, why);
    if (!fd.valid()) return why;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return Status::failure(ioErrorText("ファイルを開けません", path_, errno));
    const std::int64_t oldLength = st.st_size;
    Status written = writeAt(
        fd.get(), bytes.data(), bytes.size(),
        (n - 1) * static_cast<std::int64_t>(recordLength_) + static_cast<std::int64_t>(offset));
    if (!written) {
        // Never leave a partial record behind: cut the file back to where it was.
        if (::ftruncate(fd.get(), oldLength) != 0) { /* the write error is the one to report */
        }
        return Status::failure("「" + path_.string() + "」に書き込めません: " + written.message());
    }
    Status closed = fd.close();
    if (!closed) {
        if (::truncate(path_.c_str(), oldLength) != 0) { /* the close error is reported */
        }
        return Status::failure("「" + path_.string() + "」に書き込めません: " + closed.message());
    }
    return {};
}

Status RecordFile::append(std::span<const char> record, std::int64_t* number) const {
    const std::int64_t n = count() + 1;
    if (n > kMaxRecordNumber)
        return Status::failure("「" + path_.string() + "」は一杯です（" +
                               std::to_string(kMaxRecordNumber) + "件）");
    Status st = write(n, record);
    if (st && number) *number = n;
    return st;
}

Status RecordAppender::append(std::span<const char> record, std::int64_t* number,
                              const std::string& fullText) {
    if (record.size() != file_.recordLength())
        return Status::failure("レコードの長さが正しくありません");
    if (!fd_.valid()) {
        Status why;
        fd_ = openRegularFile(file_.path(), O_WRONLY | O_CREAT, kCannotOpen, why);
        if (!fd_.valid()) return why;
    }
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0)
        return Status::failure(ioErrorText("ファイルを開けません", file_.path(), errno));
    const auto length = static_cast<std::int64_t>(file_.recordLength());
    const std::int64_t n = divideRoundHalfEven(st.st_size, length) + 1;
    if (n > RecordFile::kMaxRecordNumber && !fullText.empty()) return Status::failure(fullText);
    if (n > RecordFile::kMaxRecordNumber)
        return Status::failure("「" + file_.path().string() + "」は一杯です（" +
                               std::to_string(RecordFile::kMaxRecordNumber) + "件）");
    if (Status written = writeAt(fd_.get(), record.data(), record.size(), (n - 1) * length);
        !written) {
        // Never leave a partial record behind: cut the file back to where it was.
        if (::ftruncate(fd_.get(), st.st_size) != 0) { /* the write error is the one to report */
        }
        return Status::failure("「" + file_.path().string() +
                               "」に書き込めません: " + written.message());
    }
    if (number) *number = n;
    constexpr std::int64_t kWriteBackEvery = 4 << 20;
    if (unwrittenSize_ == 0) unwrittenFrom_ = (n - 1) * length;
    unwrittenSize_ += length;
    if (unwrittenSize_ >= kWriteBackEvery) {
        startWriteBack(fd_.get(), unwrittenFrom_, unwrittenSize_);
        unwrittenSize_ = 0;
    }
    return {};
}

Status RecordAppender::sync() { return fd_.valid() ? syncFd(fd_.get()) : file_.sync(); }

Status RecordFile::sync() const {
    Status why;
    UniqueFd fd = openRegularFile(path_, O_RDONLY, kCannotOpen, why);
    if (!fd.valid()) return why;
    return syncFd(fd.get());
}

Status RecordFile::compact(const std::filesystem::path& tempPath,
                           const std::function<bool(std::span<const char>)>& keep) const {
    auto fail = [&](const std::string& text) { return failCompaction(tempPath, text); };
    UniqueFd source, target;
    std::int64_t sourceLength = 0;
    if (Status st = openCompaction(path_, tempPath, source, target, sourceLength); !st)
        return fail(st.message());

    // Records are copied in chunks so that a large store is read and written once.
    const std::size_t perChunk = std::max<std::size_t>(1, (4u << 20) / recordLength_);
    std::vector<char> in(perChunk * recordLength_);
    std::vector<char> out;
    out.reserve(in.size());
    std::int64_t readOffset = 0;
    std::int64_t writeOffset = 0;
    for (;;) {
        std::size_t got = 0;
        Status st = readAt(source.get(), in.data(), in.size(), readOffset, &got);
        if (!st) return fail("「" + path_.string() + "」を読み込めません: " + st.message());
        std::size_t whole = got / recordLength_;
        out.clear();
        for (std::size_t i = 0; i < whole; ++i) {
            std::span<const char> rec(in.data() + i * recordLength_, recordLength_);
            if (keep(rec)) out.insert(out.end(), rec.begin(), rec.end());
        }
        if (!out.empty()) {
            st = writeAt(target.get(), out.data(), out.size(), writeOffset);
            if (!st) return fail(tempPath.string() + "に書き込めません: " + st.message());
            writeOffset += static_cast<std::int64_t>(out.size());
        }
        readOffset += static_cast<std::int64_t>(got);
        if (got < in.size()) break;
    }
    return finishCompaction(path_, tempPath, source, target);
}

Status RecordFile::compactLive(const std::filesystem::path& tempPath,
                               std::size_t flagOffset) const {
    const auto length = static_cast<std::int64_t>(recordLength_);
    return rewriteStore(
        path_, tempPath, [&](int source, std::int64_t sourceLength, RunCopier& copier) -> Status {
            const FlagScan flags(source, length, static_cast<std::int64_t>(flagOffset));
            return copyLiveRuns(flags, sourceLength / length, length, copier, path_, tempPath);
        });
}

Status RecordFile::dropFirst(const std::filesystem::path& tempPath, std::int64_t firstKept) const {
    const auto length = static_cast<std::int64_t>(recordLength_);
    return rewriteStore(
        path_, tempPath, [&](int, std::int64_t sourceLength, RunCopier& copier) -> Status {
            const std::int64_t first = std::max<std::int64_t>(firstKept - 1, 0) * length;
            const std::int64_t end = sourceLength / length * length;
            if (first >= end) return {};
            Status st = copier.copy(first, end - first);
            return st ? st : Status::failure(copyFailure(tempPath, st));
        });
}

}  // namespace tsubame
