#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/record_file.h"
#include "core/status.h"
#include "store/received_mail_heads.h"
#include "store/received_mail_record.h"

namespace tsubame {

// The received-mail store: "kordata2.data", fixed records of 32,284 bytes.
class ReceivedMailStore {
  public:
    // Record numbers are 16-bit signed: a store of this many records is full.
    static constexpr std::int64_t kMaxRecords = 32767;

    ReceivedMailStore(std::filesystem::path storePath, std::filesystem::path tempPath);

    Status createIfMissing() const { return file_.createIfMissing(); }
    std::int64_t count() const { return file_.count(); }
    std::int64_t wholeRecords() const { return file_.wholeRecords(); }

    // Appends at count + 1. Refuses when the store is full; never leaves a partial record.
    Status append(const ReceivedMailRecord& record, std::int64_t* number = nullptr) const;
    bool read(std::int64_t n, ReceivedMailRecord& record) const;
    Status write(std::int64_t n, const ReceivedMailRecord& record) const;
    // Reads every whole record in order.
    std::vector<ReceivedMailRecord> readAll() const;
    // Reads only the subject, sender and date of every whole record, in order; `meanwhile`
    // runs on the calling thread while they are read.
    ReceivedMailHeads readListHeads(const std::function<void()>& meanwhile = {}) const;
    std::vector<ReceivedMailListEntry> readListEntries() const { return readListHeads().entries(); }
    // The list of every whole record holding the heads of rows first to first + count - 1
    // only (0 = record 1). `records`: the length of the list, when not the store's own.
    ReceivedMailHeads readListRows(std::int64_t first, std::int64_t count,
                                   std::int64_t records = -1) const;
    // Marks record n as removed (in use = 0) without touching its other bytes.
    Status mark(std::int64_t n) const;
    // Keeps only the records whose in-use flag is not 0, in order (atomic, see RecordFile).
    Status compact() const;
    // Marks record n and compacts. When the compaction fails the mark is taken back, so the
    // store holds the same records as before and the error tells why.
    Status remove(std::int64_t n) const;
    // Empties the store in one atomic step (the compaction of a store whose records are all
    // marked).
    Status removeAll() const;
    // The deletions of the viewer, whose list may be older than the store: another process
    // may have appended records since, or removed some and so renumbered the rest. Record n
    // is removed only while it is still the one listed at row n; all listed records only
    // while the store still holds as many and shows the rows the list has read (the rows the
    // user saw) as listed, and records appended after them are kept.
    // Otherwise nothing changes and the error says that the list is out of date.
    Status removeListed(std::int64_t n, const ReceivedMailListEntry& listed) const;
    Status removeAllListed(const ReceivedMailHeads& listed) const;
    Status sync() const { return file_.sync(); }

    const std::filesystem::path& path() const { return file_.path(); }
    const RecordFile& file() const { return file_; }

  private:
    // remove() for record n, already read into record (its flag comes back on failure).
    Status removeRead(std::int64_t n, const ReceivedMailRecord& record) const;

    RecordFile file_;
    std::filesystem::path tempPath_;
};

// Appends records to a store through one open descriptor, for a writer that appends many in a
// row while it keeps the store from being compacted (the mail check, under the data folder's
// lock).
class ReceivedMailAppender {
  public:
    explicit ReceivedMailAppender(const ReceivedMailStore& store) : file_(store.file()) {}

    // As ReceivedMailStore::append.
    Status append(const ReceivedMailRecord& record, std::int64_t* number = nullptr);
    Status sync() { return file_.sync(); }

  private:
    RecordAppender file_;
};

}  // namespace tsubame
