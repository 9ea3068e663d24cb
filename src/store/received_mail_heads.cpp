#include "store/received_mail_heads.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/uio.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <system_error>
#include <thread>

#include "core/file_io.h"
#include "core/fixed_field.h"

namespace tsubame {
namespace {

using Record = ReceivedMailRecord;
constexpr std::size_t kHeadSize = ReceivedMailHeads::kHeadSize;
// Fewer records are read faster than a second thread starts.
constexpr std::int64_t kHelpedFrom = 2048;

// Reads heads one record apart. From the page cache a head costs one read call and nothing
// else. With a cold cache every head is its own disk read: a head found missing from the
// cache is announced to the disk together with the heads after it, so that the disk fetches
// them together instead of one at a time (readahead would only fetch bodies). The readers of
// one store share how far the heads have been announced.
class HeadReader {
  public:
    HeadReader(int fd, std::int64_t records, std::atomic<std::int64_t>& announcedUntil)
        : fd_(fd), records_(records), announcedUntil_(announcedUntil) {}

    bool read(std::int64_t index, char* head) {
        const std::int64_t offset = index * static_cast<std::int64_t>(Record::kSize);
        if (index % kProbeEvery == 0) {
            // Asking the cache first costs more than a plain read: only every so many heads
            // are asked, which finds a cold part of the store soon enough.
            if (readCached(offset, head)) return true;
            announceFrom(index);
        }
        std::size_t got = 0;
        return readAt(fd_, head, kHeadSize, offset, &got) && got == kHeadSize;
    }

  private:
    static constexpr std::int64_t kBatch = 512;
    static constexpr std::int64_t kProbeEvery = 16;

    // Reads the head only when the page cache holds all of it.
    bool readCached(std::int64_t offset, char* head) {
        iovec part{head, kHeadSize};
        const ssize_t got = ::preadv2(fd_, &part, 1, offset, RWF_NOWAIT);
        // A file system that cannot tell is treated as a cold one.
        return got == static_cast<ssize_t>(kHeadSize);
    }

    // Keeps at least one batch after `index` announced, a second one in flight.
    void announceFrom(std::int64_t index) {
        std::int64_t until = announcedUntil_.load();
        while (until <= index + kBatch) {
            const std::int64_t from = std::max(until, index);
            const std::int64_t to = std::min(records_, from + 2 * kBatch);
            if (announcedUntil_.compare_exchange_weak(until, to)) {
                for (std::int64_t k = from; k < to; ++k)
                    ::posix_fadvise(fd_, k * static_cast<std::int64_t>(Record::kSize), kHeadSize,
                                    POSIX_FADV_WILLNEED);
                return;
            }
        }
    }

    int fd_;
    std::int64_t records_;
    std::atomic<std::int64_t>& announcedUntil_;
};

// A buffer for the heads of a whole store (9 MB when full). Taken in huge pages where the
// system allows: first touching it page by page costs as much as reading the heads.
std::shared_ptr<char[]> headBuffer(std::size_t size) {
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    if (size < kHugePage) return std::make_shared_for_overwrite<char[]>(size);
    const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    void* memory = std::aligned_alloc(kHugePage, rounded);
    if (!memory) throw std::bad_alloc();
    ::madvise(memory, rounded, MADV_HUGEPAGE);
    return std::shared_ptr<char[]>(static_cast<char*>(memory), [](char* p) { std::free(p); });
}

// The heads of one store read by several threads: each takes the next chunk of records
// until none is left or one of them meets a record it cannot read.
class SharedReading {
  public:
    SharedReading(int fd, std::int64_t records, char* heads)
        : fd_(fd), records_(records), heads_(heads), firstUnread_(records) {}

    void work() {
        HeadReader reader(fd_, records_, announcedUntil_);
        for (;;) {
            const std::int64_t begin = nextChunk_.fetch_add(kChunk);
            if (begin >= firstUnread_.load()) return;
            const std::int64_t end = std::min(begin + kChunk, records_);
            for (std::int64_t i = begin; i < end; ++i) {
                if (!reader.read(i, heads_ + static_cast<std::size_t>(i) * kHeadSize)) {
                    std::int64_t seen = firstUnread_.load();
                    while (i < seen && !firstUnread_.compare_exchange_weak(seen, i)) {
                    }
                    return;
                }
            }
        }
    }

    // Every record before this one has been read (once all workers are done).
    std::int64_t firstUnread() const { return firstUnread_.load(); }

  private:
    static constexpr std::int64_t kChunk = 512;

    int fd_;
    std::int64_t records_;
    char* heads_;
    std::atomic<std::int64_t> nextChunk_{0};
    std::atomic<std::int64_t> announcedUntil_{0};
    std::atomic<std::int64_t> firstUnread_;
};

}  // namespace

ReceivedMailHeads ReceivedMailHeads::read(int fd, std::int64_t records,
                                          const std::function<void()>& meanwhile) {
    ReceivedMailHeads heads;
    if (records <= 0) {
        if (meanwhile) meanwhile();
        return heads;
    }
    heads.bytes_ = headBuffer(static_cast<std::size_t>(records) * kHeadSize);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    SharedReading reading(fd, records, heads.bytes_.get());
    {
        // Each head is a read call of its own: a second core halves the wait for a large
        // store, and the caller's own work overlaps the reading.
        std::jthread helper;
        if (records >= kHelpedFrom && std::thread::hardware_concurrency() > 1) {
            try {
                helper = std::jthread([&reading] { reading.work(); });
            } catch (const std::system_error&) {  // no thread to spare: read alone
            }
        }
        if (meanwhile) meanwhile();
        reading.work();
    }
    heads.size_ = static_cast<std::size_t>(reading.firstUnread());
    heads.held_ = heads.size_;
    return heads;
}

ReceivedMailHeads ReceivedMailHeads::readRows(int fd, std::int64_t records, std::int64_t first,
                                              std::int64_t count) {
    ReceivedMailHeads heads;
    heads.size_ = static_cast<std::size_t>(std::max<std::int64_t>(records, 0));
    first = std::clamp<std::int64_t>(first, 0, records);
    const std::int64_t end = std::clamp<std::int64_t>(first + count, first, records);
    heads.first_ = static_cast<std::size_t>(first);
    if (end == first) return heads;
    heads.bytes_ =
        std::make_shared_for_overwrite<char[]>(static_cast<std::size_t>(end - first) * kHeadSize);
    for (std::int64_t row = first; row < end; ++row) {
        char* head = heads.bytes_.get() + static_cast<std::size_t>(row - first) * kHeadSize;
        std::size_t got = 0;
        if (!readAt(fd, head, kHeadSize, row * static_cast<std::int64_t>(Record::kSize), &got) ||
            got != kHeadSize) {
            heads.size_ = static_cast<std::size_t>(row);
            break;
        }
        ++heads.held_;
    }
    return heads;
}

std::string_view ReceivedMailHeads::cell(std::size_t row, std::size_t offset,
                                         std::size_t width) const {
    return fixedFieldCell({head(row) + offset, width});
}

std::string_view ReceivedMailHeads::subject(std::size_t row) const {
    return cell(row, Record::kSubjectOffset, Record::kSubjectWidth);
}
std::string_view ReceivedMailHeads::from(std::size_t row) const {
    return cell(row, Record::kFromOffset, Record::kFromWidth);
}
std::string_view ReceivedMailHeads::date(std::size_t row) const {
    return cell(row, Record::kDateOffset, Record::kDateWidth);
}

ReceivedMailListEntry ReceivedMailHeads::entryOfHead(const char* head) {
    auto field = [head](std::size_t offset, std::size_t width) {
        return std::string(fixedFieldCell({head + offset, width}));
    };
    return {field(Record::kSubjectOffset, Record::kSubjectWidth),
            field(Record::kFromOffset, Record::kFromWidth),
            field(Record::kDateOffset, Record::kDateWidth)};
}

ReceivedMailListEntry ReceivedMailHeads::entry(std::size_t row) const {
    return entryOfHead(head(row));
}

std::vector<ReceivedMailListEntry> ReceivedMailHeads::entries() const {
    std::vector<ReceivedMailListEntry> list;
    list.reserve(held_);
    for (std::size_t row = first_; row < first_ + held_; ++row) list.push_back(entry(row));
    return list;
}

void ReceivedMailHeads::dropLast() {
    if (size_ == 0) return;
    --size_;
    held_ = std::min(held_, size_ > first_ ? size_ - first_ : 0);
}

bool ReceivedMailHeads::beginsWith(const ReceivedMailHeads& listed) const {
    if (listed.size_ > size_) return false;
    for (std::size_t row = listed.first_; row < listed.first_ + listed.held_; ++row)
        if (!holds(row) || subject(row) != listed.subject(row) || from(row) != listed.from(row) ||
            date(row) != listed.date(row))
            return false;
    return true;
}

}  // namespace tsubame
