#include "receive/decoder_threads.h"

#include <algorithm>

namespace tsubame {

DecoderThreads::DecoderThreads(unsigned count) {
    for (unsigned i = 0; i < std::max(count, 1u); ++i) threads_.emplace_back([this] { work(); });
}

DecoderThreads::~DecoderThreads() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

std::future<void> DecoderThreads::run(std::function<void()> task) {
    std::packaged_task<void()> packaged(std::move(task));
    std::future<void> done = packaged.get_future();
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(packaged));
    }
    wake_.notify_one();
    return done;
}

unsigned DecoderThreads::usefulCount() {
    // Two cores already keep the downloading thread and two decoders busy.
    return std::clamp(std::thread::hardware_concurrency(), 1u, 2u);
}

void DecoderThreads::work() {
    for (;;) {
        std::packaged_task<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return ending_ || !tasks_.empty(); });
            if (tasks_.empty()) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

}  // namespace tsubame
