#include "support/mail_servers_certs.h"

#include <fstream>

#include "support/mail_servers_process.h"

namespace tsubame::testing {

TestCertificates::TestCertificates(const std::filesystem::path& folder) : folder_(folder) {
    std::filesystem::create_directories(folder_);
    const std::filesystem::path log = folder_ / "openssl.log";
    const std::string dir = folder_.string();
    {
        std::ofstream ext(folder_ / "server.ext");
        ext << "subjectAltName=DNS:localhost,IP:127.0.0.1\n"
               "basicConstraints=CA:FALSE\n"
               "keyUsage=digitalSignature,keyEncipherment\n"
               "extendedKeyUsage=serverAuth\n";
    }
    ok_ = runCommand({"openssl",
                      "req",
                      "-x509",
                      "-newkey",
                      "ec",
                      "-pkeyopt",
                      "ec_paramgen_curve:prime256v1",
                      "-nodes",
                      "-keyout",
                      dir + "/ca.key",
                      "-out",
                      dir + "/ca.pem",
                      "-days",
                      "3",
                      "-subj",
                      "/CN=Tsubame Test CA",
                      "-addext",
                      "basicConstraints=critical,CA:TRUE",
                      "-addext",
                      "keyUsage=critical,keyCertSign,cRLSign"},
                     log) &&
          runCommand({"openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                      "-nodes", "-keyout", dir + "/server.key", "-out", dir + "/server.csr",
                      "-subj", "/CN=localhost"},
                     log) &&
          runCommand({"openssl", "x509", "-req", "-in", dir + "/server.csr", "-CA", dir + "/ca.pem",
                      "-CAkey", dir + "/ca.key", "-CAcreateserial", "-out", dir + "/server.pem",
                      "-days", "3", "-extfile", dir + "/server.ext"},
                     log);
    // Servers that drop privileges read the key after start-up.
    std::error_code ignored;
    std::filesystem::permissions(
        keyFile(),
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
            std::filesystem::perms::group_read | std::filesystem::perms::others_read,
        ignored);
}

}  // namespace tsubame::testing
