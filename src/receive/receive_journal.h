#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include "core/status.h"
#include "store/received_mail_record.h"
#include "store/received_mail_store.h"

namespace tsubame {

// What tells one mail on the server from another: its unique id (UIDL; empty when the
// server has none), its listed size and a digest of its content as downloaded.
struct MailIdentity {
    std::string id;
    std::int64_t size = 0;
    std::string digest;  // 64 hex digits, see mailDigest()
};

// SHA-256 of the raw header and body, each prefixed with its length so that the two parts
// cannot trade bytes.
std::string mailDigest(std::string_view header, std::string_view body);

// The mails a running check has stored, kept beside the store. A check that is interrupted
// after storing a mail but before the server removed it leaves the mail here, so the next
// check, having downloaded the mail again, only marks it instead of storing it a second time.
//
// Two lines per mail, written in this order around the record's append:
//   "P3 <record number> <checksum> <size> <digest>[ <id>]"  before the append;
//   "S3 <record number> <checksum> <size> <digest>[ <id>]"  after the append.
// The checksum (FNV-1a 64 of the record's bytes, 16 hex digits) lets the next check tell
// whether the record really is in the store: the lines are not flushed one by one, and after
// a power loss the journal may have survived while the store's tail did not. A mail counts as
// stored only when the store's record at that number is whole and has that checksum, and the
// mail's id (when both have one), size and digest match the line: ids are reused by servers,
// so an id alone would let a new mail be removed without ever being stored.
//
// Lines of earlier versions ("P", "S", "P2", "S2") carry no digest and prove nothing; they
// still show that a check was interrupted.
class ReceiveJournal {
  public:
    explicit ReceiveJournal(std::filesystem::path path);

    // Reads the entries an interrupted check left; a missing file is an empty journal.
    Status load();
    bool hasEntries() const { return !entries_.empty() || hasOldLines_; }

    // True when this mail is already in the store (see the class comment). The entry is then
    // used up, so a second mail of the same content is not taken for the first.
    bool takeStored(const MailIdentity& mail, const ReceivedMailStore& store);

    // Both lines are plain writes: sync() makes them durable.
    Status notePending(const MailIdentity& mail, std::int64_t recordNumber, std::uint64_t checksum);
    Status noteStored(const MailIdentity& mail, std::int64_t recordNumber, std::uint64_t checksum);

    // Flushes the lines written since the last flush (and the new file's name); nothing to do
    // when none were written.
    Status sync();

    // Forgets every entry (after the server has removed the mails).
    Status clear();

    const std::filesystem::path& path() const { return path_; }

  private:
    struct Entry {
        MailIdentity mail;
        std::uint64_t checksum = 0;
    };
    bool entryHolds(std::int64_t recordNumber, const Entry& entry,
                    const ReceivedMailStore& store) const;
    Status note(const char* kind, const MailIdentity& mail, std::int64_t recordNumber,
                std::uint64_t checksum);
    Status appendLine(const std::string& line);

    std::filesystem::path path_;
    // By record number: the latest line about a record is the one that counts.
    std::map<std::int64_t, Entry> entries_;
    bool hasOldLines_ = false;
    bool unsynced_ = false;         // lines written since the last flush
    bool createdUnsynced_ = false;  // the file was created and its folder not flushed yet
};

// FNV-1a 64 of the record's bytes: what the journal's lines carry.
std::uint64_t recordChecksum(const ReceivedMailRecord& record);

}  // namespace tsubame
