#include "app/stop_signals.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace tsubame {
namespace {

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

}  // namespace

StopSignals::StopSignals() {
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signalFd_ = ::signalfd(-1, &set, SFD_CLOEXEC);
    if (signalFd_ < 0 || ::pipe2(wakeFds_, O_CLOEXEC) != 0) return;  // the signals then wait
    watcher_ = std::thread([this] { watch(); });
}

StopSignals::~StopSignals() {
    if (watcher_.joinable()) {
        const char wake = 0;
        while (::write(wakeFds_[1], &wake, 1) < 0 && errno == EINTR) {
        }
        watcher_.join();
    }
    for (int fd : {signalFd_, wakeFds_[0], wakeFds_[1]})
        if (fd >= 0) ::close(fd);
    // The signals stay blocked: the program is ending, and one that comes now is not lost
    // work but a request the program already follows.
}

void StopSignals::setStop(std::function<void()> stop) {
    std::lock_guard lock(mutex_);
    stop_ = std::move(stop);
}

void StopSignals::watch() {
    pollfd fds[2] = {{signalFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        signalfd_siginfo info{};
        if (::read(signalFd_, &info, sizeof info) != sizeof info) continue;
        const int number = static_cast<int>(info.ssi_signo);
        // The second signal: the user will not wait for the work to stop.
        if (signal_.exchange(number) != 0) ::_exit(128 + number);
        std::lock_guard lock(mutex_);
        if (stop_) stop_();
    }
}

}  // namespace tsubame
