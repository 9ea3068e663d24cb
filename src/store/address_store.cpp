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
    if (confirmed) {
        std::optional<AddressRecord> rec = read(n);
        if (rec) {
            rec->setInUse(0);
            if (Status st = file_.write(n, rec->bytes); !st) return st;
        }
    }
    return file_.compact(tempPath_, [](std::span<const char> rec) {
        return recordInUse(rec, AddressRecord::kInUseOffset) != 0;
    });
}

}  // namespace tsubame
