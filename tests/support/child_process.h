#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tsubame::testing {

// A program run as a child process, for the GUI-free tests (the few calls of QProcess they
// used): its standard output and error go to files of its own, its input is a pipe.
class ChildProcess {
  public:
    enum State { NotRunning, Running };

    ChildProcess();
    // Kills a child that still runs and waits for it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void setWorkingDirectory(const std::filesystem::path& folder) { workDir_ = folder; }
    // The child's environment is this process's with name set to value (nullopt: removed).
    void setEnv(const std::string& name, std::optional<std::string> value) {
        env_[name] = std::move(value);
    }
    // Runs in the child between fork and exec (async-signal-safe calls only).
    void setChildProcessModifier(std::function<void()> modifier) {
        modifier_ = std::move(modifier);
    }

    // False when the child could not be made or the program not run (exit code 127).
    bool start(const std::string& program, const std::vector<std::string>& arguments);
    bool waitForStarted() const { return pid_ > 0; }
    // True once the child has ended, false when it still runs after ms (-1: no limit).
    bool waitForFinished(int ms = 30000);
    State state();
    void kill();       // SIGKILL
    void terminate();  // SIGTERM
    void closeWriteChannel();
    pid_t pid() const { return pid_; }

    // After waitForFinished: false when a signal ended the child.
    bool normalExit() const { return normalExit_; }
    int exitCode() const { return exitCode_; }
    // What the child wrote since the last read.
    std::string readAllStandardOutput() { return readNew(out_, outRead_); }
    std::string readAllStandardError() { return readNew(err_, errRead_); }

  private:
    bool reap(bool block);
    static std::string readNew(const std::filesystem::path& file, std::size_t& done);

    std::filesystem::path folder_, out_, err_;
    std::optional<std::filesystem::path> workDir_;
    std::map<std::string, std::optional<std::string>> env_;
    std::function<void()> modifier_;
    pid_t pid_ = -1;
    int input_ = -1;
    bool ended_ = false, normalExit_ = false;
    int exitCode_ = -1;
    std::size_t outRead_ = 0, errRead_ = 0;
};

// Sleeps for ms milliseconds.
void sleepMs(int ms);

// Milliseconds since it was made.
class Stopwatch {
  public:
    long long elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start_)
            .count();
    }

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace tsubame::testing
