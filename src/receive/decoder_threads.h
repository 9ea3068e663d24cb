#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <future>

#include "core/file_io.h"

namespace tsubame {

// A few task threads taking turns: the check decodes mails on them while it downloads the next
// ones. A task's exception reaches whoever waits on its future; without a thread to be had the
// task runs at once on the caller's. The destructor waits for the tasks given.
class DecoderThreads {
  public:
    explicit DecoderThreads(unsigned count) : threads_(count < 1 ? 1 : count) {}

    std::future<void> run(std::function<void()> task);

    // As many as make sense beside the thread that feeds them, at least one.
    static unsigned usefulCount();

  private:
    std::deque<TaskThread> threads_;
    std::size_t next_ = 0;
};

}  // namespace tsubame
