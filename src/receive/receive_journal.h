#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_io.h"
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

// What a journal line says of its record's bytes: a hash, of the kind its line's version uses.
struct RecordChecksum {
    RecordChecksum() = default;
    RecordChecksum(std::uint64_t value, bool legacy = false) : value(value), legacy(legacy) {}
    std::uint64_t value = 0;
    bool legacy = false;  // FNV-1a 64, the kind of the lines before version 5
    bool operator==(const RecordChecksum&) const = default;
    auto operator<=>(const RecordChecksum&) const = default;
};

// SHA-256 of the raw header and body, each prefixed with its length so that the two parts
// cannot trade bytes.
std::string mailDigest(std::string_view header, std::string_view body);

// The mails a running check has stored, kept beside the store. A check that is interrupted
// after storing a mail but before the server removed it leaves the mail here, so the next
// check, having downloaded the mail again, only marks it instead of storing it a second time.
// A mail is known by what it is (id, size, digest), never by where its record lies: the user
// may delete or compact the store in between, and that must neither bring a deleted mail
// back nor store a kept one twice.
//
// Each check writes its own block of lines:
//   "B <boot id>"                                  first, the system's boot it runs in;
//   "P5 <checksum> <size> <digest>[ <id>]"          before a record's append;
//   "S5 <checksum> <size> <digest>[ <id>]"          after it (or for a mail proved again);
//   "C"                                            after the store was flushed;
//   "F <staging folder>/<file>"                     before a "P5" line, for each file of
//                                                  its mail: the staged copy its attachment
//                                                  name was linked from.
// The lines are not flushed one by one. An "S5" line proves its mail stored when it was
// written in the running boot (a killed process loses nothing the kernel has taken) or when
// a "C" of its block follows it. Otherwise (a power loss may have kept the journal but not
// the store's tail) and for a "P5" line, whose append may not have happened, the mail
// counts as stored only when a record of that checksum (recordChecksum(), 16 hex digits) is
// in the store. A mail matches a line by its id (when both have one), size
// and digest: ids are reused by servers, so an id alone would let a new mail be removed
// without ever being stored.
//
// Lines of earlier versions: "P4"/"S4" carry an FNV-1a 64 checksum and are read like "P5"/"S5"
// (a mail proved again from one is noted with its own kind); "P3"/"S3" are "P4"/"S4" with a
// record number before the checksum; "P", "S", "P2" and "S2" carry no digest and prove
// nothing, but still show that a check was interrupted.
class ReceiveJournal {
  public:
    explicit ReceiveJournal(std::filesystem::path path);

    // Reads the entries interrupted checks left; a missing file is an empty journal.
    Status load();
    bool hasEntries() const { return !entries_.empty() || hasOldLines_; }

    // True when this mail is already stored (see the class comment); checksum then tells its
    // record's. The entry is used up, so a second mail of the same content is not taken for
    // the first.
    bool takeStored(const MailIdentity& mail, const ReceivedMailStore& store,
                    RecordChecksum* checksum = nullptr);

    // Plain writes: sync() makes them durable.
    Status noteFile(const std::string& stagedFile);
    Status notePending(const MailIdentity& mail, RecordChecksum checksum);
    Status noteStored(const MailIdentity& mail, RecordChecksum checksum);
    // The store has been flushed: every mail this check noted as stored stands from now on.
    Status noteStoreFlushed();
    bool wroteLines() const { return blockStarted_; }

    // For a staged file ("<staging folder>/<file>") a killed check left: whether the mail whose
    // attachment it was linked for is stored; nothing when no "F" line names it. Uses up no
    // entry.
    std::optional<bool> stagedFileStored(const std::string& stagedFile,
                                         const ReceivedMailStore& store);

    // Flushes the file when this check wrote to it or found lines of another check in it
    // (and the new file's name); nothing to do otherwise.
    Status sync();

    // Forgets every entry (after the server has removed the mails).
    Status clear();

    const std::filesystem::path& path() const { return path_; }

    // The running boot as the kernel names it; tests set another one to play a restart.
    static std::string currentBoot();
    static void setBootForTesting(std::optional<std::string> boot);

  private:
    struct Entry {
        MailIdentity mail;
        RecordChecksum checksum;
        bool proven = false;  // stands by itself, without a look at the store
    };
    bool inStore(RecordChecksum checksum, const ReceivedMailStore& store);
    const std::multimap<RecordChecksum, std::int64_t>& storeChecksums(
        const ReceivedMailStore& store);
    Status note(const std::string& line);
    Status appendLine(const std::string& line);

    std::filesystem::path path_;
    // The file as this check writes it: opened at the first line, kept open to the end.
    UniqueFd fd_;
    std::int64_t size_ = 0;  // its length as written through fd_
    bool endsLine_ = true;   // its last byte is a line end (or it is empty)
    std::vector<Entry> entries_;
    bool hasOldLines_ = false;
    // Staged files named by "F" lines, with the mail of the line after them (none when no
    // "P" line followed: its record was never appended).
    std::map<std::string, std::optional<Entry>> staged_;
    bool blockStarted_ = false;
    // Checksums of the store's records, read at the first entry that needs them.
    std::optional<std::multimap<RecordChecksum, std::int64_t>> storeChecksums_;
    std::set<std::int64_t> usedRecords_;  // records that already stood for a mail
    bool unsynced_ = false;               // lines of this or an earlier check may not be flushed
    bool createdUnsynced_ = false;        // the file was created and its folder not flushed yet
};

// A 64-bit hash of the record's bytes, eight at a time: what the journal's lines carry.
std::uint64_t recordChecksum(const ReceivedMailRecord& record);
// FNV-1a 64 of the record's bytes, a byte at a time: what lines before version 5 carry.
std::uint64_t legacyRecordChecksum(const ReceivedMailRecord& record);

}  // namespace tsubame
