#include "store/received_mail_record.h"

#include <cstring>

#include "core/cp932.h"
#include "core/fixed_field.h"

namespace tsubame {

ReceivedMailRecord::ReceivedMailRecord() {
    bytes.fill(' ');
    bytes[kLineEndOffset] = '\r';
    bytes[kLineEndOffset + 1] = '\n';
    setInUse(1);
}

void ReceivedMailRecord::fill(std::string_view subject, std::string_view date,
                              std::string_view from, std::string_view body) {
    writeFixedField({bytes.data() + kSubjectOffset, kSubjectWidth}, trimBlanks(subject));
    writeFixedField({bytes.data() + kDateOffset, kDateWidth}, trimBlanks(date));
    writeFixedField({bytes.data() + kFromOffset, kFromWidth}, trimBlanks(from));
    writeFixedField({bytes.data() + kBodyOffset, kBodyWidth}, trimBlanks(body));
    bytes[kLineEndOffset] = '\r';
    bytes[kLineEndOffset + 1] = '\n';
    setInUse(1);
}

std::string_view ReceivedMailRecord::subject() const { return fixedFieldBox(subjectField()); }
std::string_view ReceivedMailRecord::date() const { return fixedFieldBox(dateField()); }
std::string_view ReceivedMailRecord::from() const { return fixedFieldBox(fromField()); }
std::string_view ReceivedMailRecord::body() const { return fixedFieldBox(bodyField()); }

std::int16_t ReceivedMailRecord::inUse() const { return recordInUse(bytes, kInUseOffset); }

void ReceivedMailRecord::setInUse(std::int16_t value) {
    auto u = static_cast<std::uint16_t>(value);
    bytes[kInUseOffset] = static_cast<char>(u & 0xFF);
    bytes[kInUseOffset + 1] = static_cast<char>(u >> 8);
}

std::int16_t recordInUse(std::span<const char> record, std::size_t offset) {
    auto lo = static_cast<unsigned char>(record[offset]);
    auto hi = static_cast<unsigned char>(record[offset + 1]);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | (hi << 8)));
}

}  // namespace tsubame
