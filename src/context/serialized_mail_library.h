#pragma once

#include <mutex>

#include "maillib/forwarding_mail_library.h"

namespace tsubame {

// The mail library as the windows share it: the check and the sends run on threads of their
// own, and the library keeps state of its own between calls (open connections, the SMTP
// login), so one call runs at a time. Interrupting and the failure text (each thread's own)
// never wait for a call under way.
class SerializedMailLibrary : public ForwardingMailLibrary {
  public:
    explicit SerializedMailLibrary(MailLibrary& inner) : inner_(inner) {}

    void interrupt(Work work) override { inner_.interrupt(work); }
    void resume(Work work) override { inner_.resume(work); }
    int NMailGetMessage(int hwnd, std::string& buffer, int& size) override {
        return inner_.NMailGetMessage(hwnd, buffer, size);
    }

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
