#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "core/status.h"
#include "store/received_mail_record.h"
#include "store/received_mail_store.h"

namespace tsubame {

// The unique ids (UIDL) of the mails a running check has stored, kept beside the store. A
// check that is interrupted after storing a mail but before the server removed it leaves the
// id here, so the next check only marks that mail instead of storing it a second time.
//
// Two lines per mail, written in this order around the record's append:
//   "P2 <record number> <checksum> <id>"  before the append: the mail goes into that record;
//   "S2 <record number> <checksum> <id>"  after the append: the record is written.
// The checksum (FNV-1a 64 of the record's bytes, 16 hex digits) lets the next check tell
// whether the record really is in the store: the lines are not flushed one by one, and after
// a power loss the journal may have survived while the store's tail did not. An entry is
// trusted only when the store's record at that number is whole and has that checksum.
//
// Journals of earlier versions hold "P <record number> <id>" (trusted when the store holds
// that record whole) and "S <id>" (trusted as it stands); they are still read.
class ReceiveJournal {
  public:
    explicit ReceiveJournal(std::filesystem::path path);

    // Reads the entries an interrupted check left; a missing file is an empty journal.
    Status load();
    bool hasEntries() const { return !stored_.empty() || !pending_.empty(); }

    // True when the mail with this id is already in the store (see the class comment).
    bool alreadyStored(const std::string& id, const ReceivedMailStore& store) const;

    // Both lines are plain writes: sync() makes them durable.
    Status notePending(const std::string& id, std::int64_t recordNumber, std::uint64_t checksum);
    Status noteStored(const std::string& id, std::int64_t recordNumber, std::uint64_t checksum);

    // Flushes the lines written since the last flush (and the new file's name); nothing to do
    // when none were written.
    Status sync();

    // Forgets every entry (after the server has removed the mails).
    Status clear();

    const std::filesystem::path& path() const { return path_; }

  private:
    // Where a journal line says the mail is; no number for an old "S" line.
    struct Entry {
        std::optional<std::int64_t> recordNumber;
        std::optional<std::uint64_t> checksum;
    };
    bool entryHolds(const Entry& entry, const ReceivedMailStore& store) const;
    Status appendLine(const std::string& line);

    std::filesystem::path path_;
    std::map<std::string, Entry> stored_;
    std::map<std::string, Entry> pending_;
    bool unsynced_ = false;         // lines written since the last flush
    bool createdUnsynced_ = false;  // the file was created and its folder not flushed yet
};

// FNV-1a 64 of the record's bytes: what the journal's lines carry.
std::uint64_t recordChecksum(const ReceivedMailRecord& record);

}  // namespace tsubame
