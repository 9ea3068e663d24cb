// Record readers on arbitrary bytes (a damaged store): every field reader and decoder must
// cope, and the fixed-field writer must never split a double-byte character or overflow.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/cp932.h"
#include "core/fixed_field.h"
#include "store/address_record.h"
#include "store/received_mail_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(bytes), size);

    tsubame::ReceivedMailRecord mail;
    std::memcpy(mail.bytes.data(), input.data(), std::min(size, mail.bytes.size()));
    for (std::string_view field : {mail.subject(), mail.date(), mail.from(), mail.body()}) {
        if (field.find('\0') != std::string_view::npos) std::abort();
        if (!field.empty() && (field.front() == ' ' || field.back() == ' ')) std::abort();
        tsubame::cp932ToUtf8(field);
    }
    tsubame::cp932ToUtf8(tsubame::fixedFieldCell(mail.subjectField()));
    (void)mail.inUse();

    tsubame::AddressRecord address;
    std::memcpy(address.bytes.data(), input.data(), std::min(size, address.bytes.size()));
    tsubame::cp932ToUtf8(
        tsubame::fixedFieldBox({address.nameField().data(), tsubame::AddressRecord::kNameWidth}));
    (void)address.inUse();

    // Writing the input as a field of a width taken from it: padded, never split.
    const std::size_t width = size == 0 ? 1 : bytes[0] % 120 + 1;
    std::string field(width, '\x7F');
    tsubame::writeFixedField(field, input);
    const std::size_t kept = tsubame::cp932SafeCut(input, width);
    if (field.compare(0, kept, input.substr(0, kept)) != 0) std::abort();
    if (field.find_first_not_of(' ', kept) != std::string::npos) std::abort();

    // Conversions in both directions accept anything.
    const std::string utf8 = tsubame::cp932ToUtf8(input);
    tsubame::utf8ToCp932(input);
    tsubame::utf8ToCp932(utf8);
    return 0;
}
