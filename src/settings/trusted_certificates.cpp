#include "settings/trusted_certificates.h"

#include <fstream>
#include <sstream>

#include "core/file_io.h"

namespace tsubame {

std::map<std::string, std::string> readTrustedCertificates(const std::filesystem::path& file) {
    std::map<std::string, std::string> trusted;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string server, fingerprint;
        if (words >> server >> fingerprint) trusted[server] = fingerprint;
    }
    return trusted;
}

Status trustCertificate(const std::filesystem::path& file, const std::string& server,
                        const std::string& fingerprint) {
    std::map<std::string, std::string> trusted = readTrustedCertificates(file);
    trusted[server] = fingerprint;
    std::string content;
    for (const auto& [name, print] : trusted) content += name + " " + print + "\n";
    return writeFileAtomically(file, content, 0600);
}

}  // namespace tsubame
