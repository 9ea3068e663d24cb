#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "core/status.h"
#include "store/received_mail_heads.h"
#include "store/received_mail_record.h"

namespace tsubame {

// What the check kept of a record's mail beside the record: the kept original's file name in
// the attachment folder and the record's texts with the characters code page 932 lacks
// (UTF-8, CR LF line ends in the body).
struct KeptOriginal {
    std::string file;
    std::string subject;
    std::string from;
    std::string date;
    std::string body;
};

// Each entry is a file of its own in folder (AppPaths::keptOriginals), named by the record's
// checksum and holding the record's head: a record is linked only to the entry the check wrote
// for exactly its bytes, never through the mail's own text, which the sender chose. An entry
// whose record was deleted is never found again.
Status writeKeptOriginal(const std::filesystem::path& folder, const ReceivedMailRecord& record,
                         const KeptOriginal& kept);
std::optional<KeptOriginal> readKeptOriginal(const std::filesystem::path& folder,
                                             const ReceivedMailRecord& record);
// For the deletions (under the data folder's lock): the entry of a deleted record, and every
// entry once the store is empty.
void forgetKeptOriginal(const std::filesystem::path& folder, const ReceivedMailRecord& record);
void forgetKeptOriginals(const std::filesystem::path& folder);

// Every entry of a folder, found by the list fields its record shows (for the viewer's list,
// whose rows hold only the heads). The bodies are not held.
class KeptOriginalIndex {
  public:
    static KeptOriginalIndex read(const std::filesystem::path& folder);
    bool empty() const { return entries_.empty(); }
    // True when a record listed so may have an entry: only then is its whole record read for
    // find().
    bool mayHave(const ReceivedMailListEntry& listed) const;
    const KeptOriginal* find(const ReceivedMailRecord& record) const;

  private:
    struct Entry {
        std::uint64_t checksum = 0;
        KeptOriginal kept;
    };
    std::multimap<std::string, Entry> entries_;  // by listKey()
};

// A record's text (code page 932) with each geta mark that stands for a character code page
// 932 lacks given back that character, taken from original, the same text in UTF-8 as
// decoded; where the two part (the record cut the text, or the check added to it) the rest
// is the record's. An empty original gives the record's text.
std::string restoreLostCharacters(std::string_view cp932, std::string_view original);

}  // namespace tsubame
