#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace tsubame {

// A few threads that take tasks in the order given, each on whichever thread is free: the
// check decodes mails on them while it downloads the next ones. A task's exception reaches
// whoever waits on its future. The destructor waits for the tasks given.
class DecoderThreads {
  public:
    explicit DecoderThreads(unsigned count);
    ~DecoderThreads();
    DecoderThreads(const DecoderThreads&) = delete;
    DecoderThreads& operator=(const DecoderThreads&) = delete;

    std::future<void> run(std::function<void()> task);

    // As many as make sense beside the thread that feeds them, at least one.
    static unsigned usefulCount();

  private:
    void work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<void()>> tasks_;
    bool ending_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace tsubame
