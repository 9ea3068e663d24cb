#pragma once

#include <cstdlib>
#include <optional>
#include <string>

#include "core/cp932.h"
#include "maillib/mail_library.h"

namespace tsubame::testing {

// The library's last failure text, as UTF-8.
inline std::string lastLibraryMessage(MailLibrary& library) {
    std::string buffer;
    int size = MailLibrary::kHeaderBufferSize;
    library.NMailGetMessage(0, buffer, size);
    return cp932ToUtf8(buffer);
}

inline std::string simpleMail(const std::string& subject, const std::string& body) {
    return "From: sender@example.com\r\nTo: tester@example.com\r\nSubject: " + subject +
           "\r\nDate: Mon, 7 Dec 2026 09:00:00 +0900\r\nMessage-ID: <" + subject +
           "@example.com>\r\n\r\n" + body;
}

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace tsubame::testing
