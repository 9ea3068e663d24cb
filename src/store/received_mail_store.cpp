#include "store/received_mail_store.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "core/file_io.h"
#include "core/fixed_field.h"

namespace tsubame {
namespace {

constexpr const char* kListOutOfDate =
    "一覧の表示後に、ほかの処理がメールデータを変更しました。何も削除していません。"
    "一覧を読み直しましたので、もう一度選んでください。";

Status storeFull() {
    return Status::failure("受信メールの保存ファイルが一杯です（" +
                           std::to_string(ReceivedMailStore::kMaxRecords) +
                           "件）。「メールを見る」で不要なメールを削除してください。");
}

}  // namespace

ReceivedMailStore::ReceivedMailStore(std::filesystem::path storePath,
                                     std::filesystem::path tempPath)
    : file_(std::move(storePath), ReceivedMailRecord::kSize), tempPath_(std::move(tempPath)) {}

Status ReceivedMailStore::append(const ReceivedMailRecord& record, std::int64_t* number) const {
    if (file_.count() >= kMaxRecords) return storeFull();
    return file_.append(record.bytes, number);
}

Status ReceivedMailAppender::append(const ReceivedMailRecord& record, std::int64_t* number) {
    static_assert(ReceivedMailStore::kMaxRecords == RecordFile::kMaxRecordNumber);
    return file_.append(record.bytes, number, storeFull().message());
}

bool ReceivedMailStore::read(std::int64_t n, ReceivedMailRecord& record) const {
    return file_.read(n, record.bytes);
}

Status ReceivedMailStore::write(std::int64_t n, const ReceivedMailRecord& record) const {
    return file_.write(n, record.bytes);
}

std::vector<ReceivedMailRecord> ReceivedMailStore::readAll() const {
    std::vector<ReceivedMailRecord> records;
    const std::int64_t n = file_.wholeRecords();
    records.resize(static_cast<std::size_t>(n));
    UniqueFd fd = openFile(file_.path(), O_RDONLY);
    if (!fd.valid()) return {};
    for (std::int64_t i = 0; i < n; ++i) {
        std::size_t got = 0;
        if (!readAt(fd.get(), records[i].bytes.data(), ReceivedMailRecord::kSize,
                    i * static_cast<std::int64_t>(ReceivedMailRecord::kSize), &got) ||
            got != ReceivedMailRecord::kSize) {
            records.resize(static_cast<std::size_t>(i));
            break;
        }
    }
    return records;
}

ReceivedMailHeads ReceivedMailStore::readListHeads(const std::function<void()>& meanwhile) const {
    // Every head is a read call: sparing each the access-time check is worth a few percent.
    // Only the file's owner may ask for that.
    UniqueFd fd = openFile(file_.path(), O_RDONLY | O_NOATIME);
    if (!fd.valid()) fd = openFile(file_.path(), O_RDONLY);
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        if (meanwhile) meanwhile();
        return {};
    }
    // The size of the file opened: a compaction that renames a new store in meanwhile
    // leaves this one whole.
    return ReceivedMailHeads::read(
        fd.get(), st.st_size / static_cast<std::int64_t>(ReceivedMailRecord::kSize), meanwhile);
}

ReceivedMailHeads ReceivedMailStore::readListRows(std::int64_t first, std::int64_t count,
                                                  std::int64_t records) const {
    UniqueFd fd = openFile(file_.path(), O_RDONLY);
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) return {};
    if (records < 0) records = st.st_size / static_cast<std::int64_t>(ReceivedMailRecord::kSize);
    return ReceivedMailHeads::readRows(fd.get(), records, first, count);
}

Status ReceivedMailStore::mark(std::int64_t n) const {
    if (n < 1 || n > file_.wholeRecords()) return Status::failure("レコードがありません");
    const char zero[2] = {0, 0};
    return file_.writeBytes(n, ReceivedMailRecord::kInUseOffset, zero);
}

Status ReceivedMailStore::compact() const {
    return file_.compactLive(tempPath_, ReceivedMailRecord::kInUseOffset);
}

Status ReceivedMailStore::remove(std::int64_t n) const {
    ReceivedMailRecord record;
    if (!read(n, record)) return Status::failure("レコードがありません");
    return removeRead(n, record);
}

Status ReceivedMailStore::removeRead(std::int64_t n, const ReceivedMailRecord& record) const {
    if (Status st = mark(n); !st) return st;
    Status st = compact();
    if (!st) {
        // Leave the store as it was before the call: the record is listed again.
        file_.writeBytes(
            n, ReceivedMailRecord::kInUseOffset,
            std::span<const char>(record.bytes).subspan(ReceivedMailRecord::kInUseOffset, 2));
    }
    return st;
}

Status ReceivedMailStore::removeAll() const {
    return file_.compact(tempPath_, [](std::span<const char>) { return false; });
}

Status ReceivedMailStore::removeListed(std::int64_t n, const ReceivedMailListEntry& listed) const {
    // Only record n matters: whatever else changed, it is the one the user chose or not.
    ReceivedMailRecord record;
    if (n < 1 || n > file_.wholeRecords() || !read(n, record))
        return Status::failure(kListOutOfDate);
    if (ReceivedMailHeads::entryOfHead(record.bytes.data()) != listed)
        return Status::failure(kListOutOfDate);
    return removeRead(n, record);
}

Status ReceivedMailStore::removeAllListed(const ReceivedMailHeads& listed) const {
    const ReceivedMailHeads now = readListRows(static_cast<std::int64_t>(listed.first()),
                                               static_cast<std::int64_t>(listed.held()));
    if (!now.beginsWith(listed)) return Status::failure(kListOutOfDate);
    // The listed records are the first ones: only those after them are copied.
    return file_.dropFirst(tempPath_, static_cast<std::int64_t>(listed.size()) + 1);
}

}  // namespace tsubame
