#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace tsubame {

// SIGTERM and SIGINT for the commands without windows: they stop the running work as its
// stop button does (nothing half-written, what was not taken in stays on the server) instead
// of ending the program in the middle of a write. A second signal ends it at once.
//
// The signals are blocked in the constructing thread, and so in every thread started after
// it: construct this before any other thread starts. A thread of its own watches them.
class StopSignals {
  public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // What a signal does to the work now running (on the watching thread): the one place
    // where a stop reaches the work. Replaces the earlier action; an empty one does nothing.
    void setStop(std::function<void()> stop);

    bool received() const { return signal_ != 0; }
    // The exit code of a command a signal stopped: 128 + the signal's number, as a shell
    // reports a program the signal ended.
    int exitCode() const { return 128 + signal_; }

  private:
    void watch();

    int signalFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    std::atomic<int> signal_ = 0;
    std::mutex mutex_;
    std::function<void()> stop_;
    std::thread watcher_;
};

}  // namespace tsubame
