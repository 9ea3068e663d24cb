#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "core/record_file.h"
#include "core/status.h"
#include "store/address_record.h"

namespace tsubame {

// The address book: "Kordata20.data", fixed records of 184 bytes.
class AddressStore {
  public:
    AddressStore(std::filesystem::path storePath, std::filesystem::path tempPath);

    Status createIfMissing() const { return file_.createIfMissing(); }
    std::int64_t count() const { return file_.wholeRecords(); }
    // Every whole record in order; the in-use flag is not consulted.
    std::vector<AddressRecord> readAll() const;
    std::optional<AddressRecord> read(std::int64_t n) const;
    Status append(const AddressRecord& record, std::int64_t* number = nullptr) const;
    // Marks entry n when confirmed, then compacts in either case (a stray mark left by an
    // interrupted run goes too).
    Status remove(std::int64_t n, bool confirmed) const;

    const std::filesystem::path& path() const { return file_.path(); }

  private:
    RecordFile file_;
    std::filesystem::path tempPath_;
};

}  // namespace tsubame
