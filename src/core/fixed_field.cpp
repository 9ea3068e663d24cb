#include "core/fixed_field.h"

#include <algorithm>

#include "core/cp932.h"

namespace tsubame {

void writeFixedField(std::span<char> field, std::string_view cp932) {
    const std::size_t n = cp932SafeCut(cp932, field.size());
    // copy_n, not memcpy: an empty view may carry a null pointer.
    std::copy_n(cp932.begin(), n, field.begin());
    std::fill(field.begin() + static_cast<std::ptrdiff_t>(n), field.end(), ' ');
}

std::string_view fixedFieldCell(std::span<const char> field) {
    return cutAtNul(std::string_view(field.data(), field.size()));
}

std::string_view fixedFieldBox(std::span<const char> field) {
    return trimBlanks(fixedFieldCell(field));
}

}  // namespace tsubame
