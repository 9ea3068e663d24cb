#pragma once

#include <string>
#include <utility>

namespace tsubame {

// Outcome of an operation that can fail for reasons outside the program (files, network).
// The message is UTF-8 and meant to be shown to the user.
class Status {
  public:
    Status() = default;
    static Status failure(std::string message) { return Status(std::move(message)); }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& message() const { return message_; }

  private:
    explicit Status(std::string message) : failed_(true), message_(std::move(message)) {}
    bool failed_ = false;
    std::string message_;
};

}  // namespace tsubame
