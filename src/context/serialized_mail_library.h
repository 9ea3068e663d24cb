#pragma once

#include <mutex>

#include "maillib/forwarding_mail_library.h"

namespace tsubame {

// The mail library as the windows share it: the check and the sends run on threads of their
// own, and the library keeps state of its own between calls (open connections, the last
// failure, the SMTP login), so one call runs at a time.
class SerializedMailLibrary : public ForwardingMailLibrary {
  public:
    explicit SerializedMailLibrary(MailLibrary& inner) : inner_(inner) {}

  protected:
    int pass(const std::function<int(MailLibrary&)>& call) override {
        std::lock_guard lock(mutex_);
        return call(inner_);
    }

  private:
    MailLibrary& inner_;
    std::mutex mutex_;
};

}  // namespace tsubame
