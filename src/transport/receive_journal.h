#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "core/status.h"

namespace tsubame {

// The unique ids (UIDL) of the mails a running check has stored, kept beside the store. A
// check that is interrupted after storing a mail but before the server removed it leaves the
// id here, so the next check only marks that mail instead of storing it a second time.
//
// Two lines per mail, each flushed before the next step:
//   "P <record number> <id>"  before the append: the mail goes into that record;
//   "S <id>"                  after the store was flushed: the record is on disk.
// A mail with only its "P" line is stored when the store already holds its whole record.
class ReceiveJournal {
  public:
    explicit ReceiveJournal(std::filesystem::path path);

    // Reads the entries an interrupted check left; a missing file is an empty journal.
    Status load();
    bool hasEntries() const { return !stored_.empty() || !pending_.empty(); }

    // True when the mail with this id is already in a store of wholeRecords records.
    bool alreadyStored(const std::string& id, std::int64_t wholeRecords) const;

    Status notePending(const std::string& id, std::int64_t recordNumber);
    Status noteStored(const std::string& id);

    // Forgets every entry (after the server has removed the mails).
    Status clear();

    const std::filesystem::path& path() const { return path_; }

  private:
    Status appendLine(const std::string& line);

    std::filesystem::path path_;
    std::set<std::string> stored_;
    std::map<std::string, std::int64_t> pending_;
};

}  // namespace tsubame
