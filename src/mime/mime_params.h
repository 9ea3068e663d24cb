#pragma once

#include <string>
#include <string_view>

namespace tsubame {

// The value of parameter name (e.g. "filename", "name") of a raw Content-Type or
// Content-Disposition value, decoded to code page 932: RFC 2231 (charset'language'%XX,
// continuations name*0, name*1*, ...) takes precedence over the plain parameter, whose
// value may hold RFC 2047 encoded-words or raw 8-bit text, as many mailers write it.
// Empty when absent.
std::string findParameterCp932(std::string_view rawHeaderValue, std::string_view name);
// The same value in UTF-8, with the characters that code page 932 lacks.
std::string findParameterUtf8(std::string_view rawHeaderValue, std::string_view name);

}  // namespace tsubame
