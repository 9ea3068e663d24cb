#include "transport/smtp_server_name.h"

#include <algorithm>
#include <cctype>

namespace tsubame {
namespace {

bool startsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

}  // namespace

std::string SmtpServerName::url() const {
    const bool ipv6 = host.find(':') != std::string::npos;
    return std::string(implicitTls ? "smtps://" : "smtp://") + (ipv6 ? "[" + host + "]" : host) +
           ":" + std::to_string(port);
}

std::optional<SmtpServerName> parseSmtpServerName(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    SmtpServerName name;
    if (startsWithIgnoreCase(text, "smtps://")) {
        name.implicitTls = true;
        name.port = 465;
        text.remove_prefix(8);
    } else if (startsWithIgnoreCase(text, "smtp://")) {
        text.remove_prefix(7);
    }
    if (!text.empty() && text.back() == '/') text.remove_suffix(1);
    std::string_view host = text;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {  // [IPv6]:port
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = text.substr(1, close - 1);
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            port = rest.substr(1);
        }
    } else if (const std::size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (port.empty()) return std::nullopt;
    }
    if (host.empty() || std::any_of(host.begin(), host.end(), [](char c) {
            return static_cast<unsigned char>(c) <= 0x20 || c == '/' || c == '@' || c == '?' ||
                   c == '#' || static_cast<unsigned char>(c) >= 0x7F;
        }))
        return std::nullopt;
    if (!port.empty()) {
        if (port.size() > 5 ||
            !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        name.port = std::stoi(std::string(port));
        if (name.port < 1 || name.port > 65535) return std::nullopt;
    }
    name.host = std::string(host);
    return name;
}

}  // namespace tsubame
