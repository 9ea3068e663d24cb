#pragma once

#include <filesystem>

namespace tsubame::testing {

// A throw-away certificate authority and a server certificate it signed for "localhost" and
// 127.0.0.1, made with the openssl command in folder.
class TestCertificates {
  public:
    explicit TestCertificates(const std::filesystem::path& folder);

    bool ok() const { return ok_; }
    std::filesystem::path caFile() const { return folder_ / "ca.pem"; }
    std::filesystem::path certFile() const { return folder_ / "server.pem"; }
    std::filesystem::path keyFile() const { return folder_ / "server.key"; }

  private:
    std::filesystem::path folder_;
    bool ok_ = false;
};

}  // namespace tsubame::testing
