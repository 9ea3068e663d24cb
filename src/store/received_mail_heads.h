#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/received_mail_record.h"

namespace tsubame {

// The list fields of one record, as the viewer's list shows them (cell form: cut at NUL,
// trailing blanks kept; code page 932).
struct ReceivedMailListEntry {
    std::string subject;
    std::string from;
    std::string date;
    bool operator==(const ReceivedMailListEntry&) const = default;
};

// The list fields (the first 280 bytes) of a run of a store's records, side by side in one
// buffer as read: a list of any length keeps the heads of the rows it shows without a string
// or an allocation per record. Copies share the buffer, which is never written after the
// read.
class ReceivedMailHeads {
  public:
    static constexpr std::size_t kHeadSize = ReceivedMailRecord::kBodyOffset;

    // Reads the heads of records 1 to `records` of the open store. Stops before the first
    // head that cannot be read whole (the store was cut short meanwhile, or a read failed).
    // `meanwhile` runs on the calling thread while a large store is read beside it.
    static ReceivedMailHeads read(int fd, std::int64_t records,
                                  const std::function<void()>& meanwhile = {});
    // The list of a store of `records` records holding only the heads of rows first to
    // first + count - 1 (0 = record 1), as far as the store has them; when one of them cannot
    // be read the list ends before it.
    static ReceivedMailHeads readRows(int fd, std::int64_t records, std::int64_t first,
                                      std::int64_t count);

    // Rows listed (records of the store when it was read).
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // The rows whose heads are held: first() to first() + held() - 1.
    std::size_t first() const { return first_; }
    std::size_t held() const { return held_; }
    bool holds(std::size_t row) const { return row >= first_ && row - first_ < held_; }
    // Cell forms of row `row` (0 = record 1), which must be held.
    std::string_view subject(std::size_t row) const;
    std::string_view from(std::size_t row) const;
    std::string_view date(std::size_t row) const;
    ReceivedMailListEntry entry(std::size_t row) const;
    // The list fields of one record's head (its first kHeadSize bytes).
    static ReceivedMailListEntry entryOfHead(const char* head);
    std::vector<ReceivedMailListEntry> entries() const;

    // Forgets the last row.
    void dropLast();
    // True when this list is at least as long as `listed` and shows every row `listed` holds,
    // cell for cell (this list reads at least those rows).
    bool beginsWith(const ReceivedMailHeads& listed) const;
    bool operator==(const ReceivedMailHeads& other) const {
        return size_ == other.size_ && beginsWith(other);
    }

  private:
    std::string_view cell(std::size_t row, std::size_t offset, std::size_t width) const;

    const char* head(std::size_t row) const { return bytes_.get() + (row - first_) * kHeadSize; }

    std::shared_ptr<char[]> bytes_;
    std::size_t size_ = 0;
    std::size_t first_ = 0;
    std::size_t held_ = 0;
};

}  // namespace tsubame
