#include "net/net_interrupt.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace tsubame {

NetInterrupt::NetInterrupt() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

NetInterrupt::~NetInterrupt() {
    if (fd_ >= 0) ::close(fd_);
}

void NetInterrupt::raise() {
    raised_ = true;
    const std::uint64_t one = 1;
    if (fd_ >= 0 && ::write(fd_, &one, sizeof one) < 0) {
        // Already at its limit: it is readable anyway.
    }
}

void NetInterrupt::clear() {
    raised_ = false;
    std::uint64_t count = 0;
    if (fd_ >= 0 && ::read(fd_, &count, sizeof count) < 0) {
        // Nothing was raised.
    }
}

}  // namespace tsubame
