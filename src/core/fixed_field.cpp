#include "core/fixed_field.h"

#include <algorithm>
#include <cstring>

#include "core/cp932.h"

namespace tsubame {

void writeFixedField(std::span<char> field, std::string_view cp932) {
    std::size_t n = cp932SafeCut(cp932, field.size());
    std::memcpy(field.data(), cp932.data(), n);
    std::fill(field.begin() + n, field.end(), ' ');
}

std::string_view fixedFieldCell(std::span<const char> field) {
    return cutAtNul(std::string_view(field.data(), field.size()));
}

std::string_view fixedFieldBox(std::span<const char> field) {
    return trimBlanks(fixedFieldCell(field));
}

}  // namespace tsubame
