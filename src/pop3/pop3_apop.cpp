#include "pop3/pop3_apop.h"

#include <openssl/evp.h>

namespace tsubame {

bool extractApopTimestamp(std::string_view greeting, std::string& timestamp) {
    constexpr std::size_t kMaxTimestamp = 256;
    std::size_t open = greeting.find('<');
    if (open == std::string_view::npos) return false;
    std::size_t close = greeting.find('>', open);
    if (close == std::string_view::npos) return false;
    std::string_view candidate = greeting.substr(open, close - open + 1);
    if (candidate.size() > kMaxTimestamp) return false;
    bool hasAt = false;
    for (std::size_t i = 1; i + 1 < candidate.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(candidate[i]);
        if (c < 0x21 || c > 0x7E || c == '<') return false;
        if (c == '@') hasAt = true;
    }
    if (!hasAt) return false;
    timestamp.assign(candidate);
    return true;
}

std::string apopDigest(std::string_view timestamp, std::string_view password) {
    std::string input;
    input.reserve(timestamp.size() + password.size());
    input.append(timestamp).append(password);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(input.data(), input.size(), digest, &length, EVP_md5(), nullptr) != 1) {
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0x0F];
    }
    return hex;
}

}  // namespace tsubame
