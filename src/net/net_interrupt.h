#pragma once

#include <atomic>

namespace tsubame {

// A switch another thread (or a signal handler) flips to end the network waits of a
// connection at once: the connection polls fd() beside its socket. Raised, it stays raised
// until clear(), so a wait that starts after the raise ends at once too.
class NetInterrupt {
  public:
    NetInterrupt();
    ~NetInterrupt();
    NetInterrupt(const NetInterrupt&) = delete;
    NetInterrupt& operator=(const NetInterrupt&) = delete;

    // Async-signal-safe: no lock, no allocation.
    void raise();
    void clear();
    bool raised() const { return raised_.load(); }
    // Readable while raised.
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
    std::atomic<bool> raised_ = false;
};

}  // namespace tsubame
