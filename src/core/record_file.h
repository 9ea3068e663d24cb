#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <vector>

#include "core/file_io.h"
#include "core/status.h"

namespace tsubame {

// A file of fixed-length records with no header. Record numbers start at 1. Every operation
// opens the file, works and closes it again; nothing stays open between calls.
class RecordFile {
  public:
    // Record numbers are 16-bit signed: no record lies beyond this one.
    static constexpr std::int64_t kMaxRecordNumber = 32767;

    RecordFile(std::filesystem::path path, std::size_t recordLength);

    const std::filesystem::path& path() const { return path_; }
    std::size_t recordLength() const { return recordLength_; }

    // Creates the file empty when it does not exist (the folder must exist).
    Status createIfMissing() const;

    // File length / record length, rounded to the nearest integer with halves to even.
    // A missing file counts 0.
    std::int64_t count() const;

    // Number of whole records: what readers list (a trailing partial record is ignored).
    std::int64_t wholeRecords() const;

    // Reads record n into buffer (recordLength bytes). False past the end of the file or for
    // a record that is not whole.
    bool read(std::int64_t n, std::span<char> buffer) const;

    // Writes record n (recordLength bytes), extending the file when needed. The write is
    // complete or the file is left at its old length.
    Status write(std::int64_t n, std::span<const char> record) const;

    // Overwrites bytes at offset inside record n (the in-use flag, for instance), so that a
    // failed write cannot damage the record's other fields.
    Status writeBytes(std::int64_t n, std::size_t offset, std::span<const char> bytes) const;

    // Writes at count + 1 and returns that number through number. Refuses when that number
    // would pass kMaxRecordNumber.
    Status append(std::span<const char> record, std::int64_t* number = nullptr) const;

    // Flushes the file's data to the disk.
    Status sync() const;

    // Rewrites the file with the records for which keep() is true, in order. The records are
    // written to tempPath, flushed, and the temporary file then replaces the store by an
    // atomic rename, so a crash at any point leaves the old file or the new one, whole.
    // On failure the store is as it was and the temporary file is removed.
    Status compact(const std::filesystem::path& tempPath,
                   const std::function<bool(std::span<const char>)>& keep) const;

    // The same for the common case: keeps the records whose 16-bit flag at flagOffset is not
    // 0. Reads only the flags and copies the kept runs of records inside the kernel.
    Status compactLive(const std::filesystem::path& tempPath, std::size_t flagOffset) const;

    // The same, keeping every record from firstKept (1-based) on: the records before it go
    // without being read, and the rest is copied inside the kernel.
    Status dropFirst(const std::filesystem::path& tempPath, std::int64_t firstKept) const;

  private:
    std::filesystem::path path_;
    std::size_t recordLength_;
};

// Appends to one record file through a single open descriptor: a writer that appends many
// records in a row (the mail check) saves the open and close of each one. The caller must keep
// the file from being replaced meanwhile (a compaction renames a new file over it).
class RecordAppender {
  public:
    explicit RecordAppender(const RecordFile& file) : file_(file) {}

    // As RecordFile::append, on the descriptor opened by the first call; fullText, when
    // given, says that the file is full.
    Status append(std::span<const char> record, std::int64_t* number = nullptr,
                  const std::string& fullText = {});
    // Flushes what was appended (opens the file when nothing was).
    Status sync();

  private:
    const RecordFile& file_;
    UniqueFd fd_;
    // Appended bytes the disk has not been asked to write yet: every few megabytes they are,
    // so that the final flush waits only for the last ones.
    std::int64_t unwrittenFrom_ = 0;
    std::int64_t unwrittenSize_ = 0;
};

// Rounds numerator / denominator to the nearest integer, halves to even.
std::int64_t divideRoundHalfEven(std::int64_t numerator, std::int64_t denominator);

}  // namespace tsubame
