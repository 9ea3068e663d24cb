#include "store/address_record.h"

#include "core/fixed_field.h"
#include "store/received_mail_record.h"

namespace tsubame {

AddressRecord::AddressRecord() : AddressRecord({}, {}) {}

AddressRecord::AddressRecord(std::string_view name, std::string_view address) {
    writeFixedField({bytes.data() + kNameOffset, kNameWidth}, name);
    bytes[kLineEndOffset] = '\r';
    bytes[kLineEndOffset + 1] = '\n';
    setInUse(1);
    writeFixedField({bytes.data() + kAddressOffset, kAddressWidth}, address);
}

std::int16_t AddressRecord::inUse() const { return recordInUse(bytes, kInUseOffset); }

void AddressRecord::setInUse(std::int16_t value) {
    auto u = static_cast<std::uint16_t>(value);
    bytes[kInUseOffset] = static_cast<char>(u & 0xFF);
    bytes[kInUseOffset + 1] = static_cast<char>(u >> 8);
}

}  // namespace tsubame
