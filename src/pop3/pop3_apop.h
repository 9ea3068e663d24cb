#pragma once

#include <string>
#include <string_view>

namespace tsubame {

// The APOP timestamp of a POP3 greeting: "<...>" with printable ASCII inside and an "@".
// Returns false when the greeting has none or it is malformed (APOP must not then be used).
bool extractApopTimestamp(std::string_view greeting, std::string& timestamp);

// Lower-case hex MD5 of timestamp followed by password, as the APOP command sends it.
std::string apopDigest(std::string_view timestamp, std::string_view password);

}  // namespace tsubame
