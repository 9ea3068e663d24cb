#include "receive/decoder_threads.h"

#include <algorithm>
#include <memory>
#include <thread>

namespace tsubame {

std::future<void> DecoderThreads::run(std::function<void()> task) {
    auto packaged = std::make_shared<std::packaged_task<void()>>(std::move(task));
    std::future<void> done = packaged->get_future();
    // Mails of about one size: taking turns keeps the threads as busy as a shared queue would.
    TaskThread& thread = threads_[next_++ % threads_.size()];
    if (!thread.post([packaged] { (*packaged)(); })) (*packaged)();
    return done;
}

unsigned DecoderThreads::usefulCount() {
    // Two cores already keep the downloading thread and two decoders busy.
    return std::clamp(std::thread::hardware_concurrency(), 1u, 2u);
}

}  // namespace tsubame
