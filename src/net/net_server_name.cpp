#include "net/net_server_name.h"

#include <algorithm>
#include <cctype>

namespace tsubame {
namespace {

std::string_view trimSpaces(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

bool parsePort(std::string_view text, int& port) {
    if (text.empty() || text.size() > 5) return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535) return false;
    port = value;
    return true;
}

bool isValidHost(std::string_view host) {
    if (host.empty() || host.size() > 253) return false;
    return std::all_of(host.begin(), host.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return std::isalnum(u) || c == '.' || c == '-' || c == '_' || c == ':';
    });
}

}  // namespace

Status parseServerName(std::string_view name, std::string_view plainScheme,
                       std::string_view tlsScheme, int plainPort, int tlsPort, ServerAddress& out) {
    std::string_view rest = trimSpaces(name);
    out = ServerAddress{};
    const std::string tlsPrefix = std::string(tlsScheme) + "://";
    const std::string plainPrefix = std::string(plainScheme) + "://";
    if (startsWithNoCase(rest, tlsPrefix)) {
        out.implicitTls = true;
        rest.remove_prefix(tlsPrefix.size());
    } else if (startsWithNoCase(rest, plainPrefix)) {
        out.plainLoginAllowed = true;
        rest.remove_prefix(plainPrefix.size());
    }
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    out.port = out.implicitTls ? tlsPort : plainPort;

    std::string_view host = rest;
    if (!rest.empty() && rest.front() == '[') {
        std::size_t close = rest.find(']');
        if (close == std::string_view::npos) return Status::failure("サーバー名が正しくありません");
        host = rest.substr(1, close - 1);
        std::string_view after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':' || !parsePort(after.substr(1), out.port))
                return Status::failure("サーバー名のポート番号が正しくありません");
        }
    } else if (std::count(rest.begin(), rest.end(), ':') == 1) {
        std::size_t colon = rest.find(':');
        host = rest.substr(0, colon);
        if (!parsePort(rest.substr(colon + 1), out.port))
            return Status::failure("サーバー名のポート番号が正しくありません");
    }
    if (!isValidHost(host)) return Status::failure("サーバー名が正しくありません");
    out.host = std::string(host);
    return {};
}

std::string describeAddress(const ServerAddress& address) {
    bool v6 = address.host.find(':') != std::string::npos;
    std::string text = v6 ? "[" + address.host + "]" : address.host;
    return text + ":" + std::to_string(address.port);
}

}  // namespace tsubame
