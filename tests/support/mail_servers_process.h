#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace tsubame::testing {

// A free TCP port on 127.0.0.1 (bound and released; retry on a clash).
int findFreePort();

// True once 127.0.0.1:port accepts connections, false after the time-out.
bool waitForPort(int port, std::chrono::milliseconds timeout);

// A child process started with its output going to a log file. The destructor stops it
// (SIGTERM, then SIGKILL); it also dies with the test process.
class ServerProcess {
  public:
    ServerProcess() = default;
    ~ServerProcess() { stop(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    bool start(const std::vector<std::string>& argv, const std::filesystem::path& logFile);
    // Waits until the started server accepts connections on every one of ports (127.0.0.1).
    // False when it ended first, or did not listen in time (it is stopped then).
    bool awaitListening(const std::vector<int>& ports, std::chrono::milliseconds timeout);
    // False when the process has ended.
    bool running();
    void stop();
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
};

// True where a test server that does not start is a failure (TSUBAME_REQUIRE_SERVERS=1, set by
// test.sh and so by CI); a developer's machine without Dovecot or aiosmtpd skips those tests.
inline bool serversRequired() {
    const char* value = std::getenv("TSUBAME_REQUIRE_SERVERS");
    return value != nullptr && *value != '\0' && std::string(value) != "0";
}

// Runs a command to its end; true when it exited with 0.
bool runCommand(const std::vector<std::string>& argv, const std::filesystem::path& logFile);

}  // namespace tsubame::testing

// Ends the test when a server it needs is not there (ok false): a failure with the message
// (the server's log) where servers are required, else a skip.
#define TSUBAME_NEED_SERVER(ok, message)                                    \
    if (!(ok)) {                                                            \
        if (::tsubame::testing::serversRequired()) GTEST_FAIL() << message; \
        GTEST_SKIP() << message;                                            \
    }                                                                       \
    static_assert(true)
