#include "store/address_store.h"

#include "store/received_mail_record.h"

namespace tsubame {

AddressStore::AddressStore(std::filesystem::path storePath, std::filesystem::path tempPath)
    : file_(std::move(storePath), AddressRecord::kSize), tempPath_(std::move(tempPath)) {}

std::vector<AddressRecord> AddressStore::readAll() const {
    std::vector<AddressRecord> records;
    AddressRecord rec;
    for (std::int64_t n = 1; file_.read(n, rec.bytes); ++n) records.push_back(rec);
    return records;
}

std::optional<AddressRecord> AddressStore::read(std::int64_t n) const {
    AddressRecord rec;
    if (!file_.read(n, rec.bytes)) return std::nullopt;
    return rec;
}

Status AddressStore::append(const AddressRecord& record, std::int64_t* number) const {
    return file_.append(record.bytes, number);
}

Status AddressStore::remove(std::int64_t n, bool confirmed) const {
    std::optional<AddressRecord> marked;
    if (confirmed) {
        marked = read(n);
        if (marked) {
            const char zero[2] = {0, 0};
            if (Status st = file_.writeBytes(n, AddressRecord::kInUseOffset, zero); !st) return st;
        }
    }
    Status st = file_.compactLive(tempPath_, AddressRecord::kInUseOffset);
    if (!st && marked) {
        // Leave the book as it was before the call: the entry is kept.
        file_.writeBytes(
            n, AddressRecord::kInUseOffset,
            std::span<const char>(marked->bytes).subspan(AddressRecord::kInUseOffset, 2));
    }
    return st;
}

}  // namespace tsubame
