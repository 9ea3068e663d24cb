#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace tsubame {

// One address-book entry: name (90), CR LF, in use (16-bit LE), address (90). 184 bytes.
struct AddressRecord {
    static constexpr std::size_t kSize = 184;
    static constexpr std::size_t kNameOffset = 0, kNameWidth = 90;
    static constexpr std::size_t kLineEndOffset = 90;
    static constexpr std::size_t kInUseOffset = 92;
    static constexpr std::size_t kAddressOffset = 94, kAddressWidth = 90;

    std::array<char, kSize> bytes{};

    AddressRecord();
    // Name and address are code page 932; written as stored (no trimming), cut at 90 bytes.
    AddressRecord(std::string_view name, std::string_view address);

    // The fields as stored: 90 bytes each, blank padded.
    std::string_view nameField() const { return {bytes.data() + kNameOffset, kNameWidth}; }
    std::string_view addressField() const { return {bytes.data() + kAddressOffset, kAddressWidth}; }

    std::int16_t inUse() const;
    void setInUse(std::int16_t value);
};

}  // namespace tsubame
