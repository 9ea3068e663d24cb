#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "core/file_io.h"
#include "core/status.h"
#include "net/net_interrupt.h"
#include "net/net_server_name.h"
#include "net/tls_context.h"

namespace tsubame {

// One TCP connection, plain or TLS, with a read buffer. Every wait for the peer is bounded
// by the time-out given at opening, and by the deadline the caller set for the whole
// exchange; every line read is bounded by the caller's limit, so a server that is silent,
// trickles one byte at a time or sends an endless line ends in an error, not in a hang.
// Another thread ends every wait at once through the interrupt given at opening.
class NetConnection {
  public:
    using Clock = std::chrono::steady_clock;

    static Status open(const ServerAddress& address, std::chrono::milliseconds timeout,
                       std::unique_ptr<NetConnection>& out,
                       const NetInterrupt* interrupt = nullptr);

    NetConnection(const NetConnection&) = delete;
    NetConnection& operator=(const NetConnection&) = delete;

    // TLS handshake on the open connection, verifying the certificate against host; a
    // certificate of trustedFingerprint (SHA-256, "AB:CD:...") passes whatever the store says.
    // Refused while received bytes are still unread.
    Status startTls(const std::string& host, const std::string& trustedFingerprint = {});
    // The certificate the last handshake refused, if any.
    const CertificateCheck& certificateCheck() const { return check_; }
    bool isTls() const { return ssl_ != nullptr; }

    Status write(std::string_view data);

    // True when the peer answers a TLS handshake within limit (nothing verified): a server
    // that waits for our handshake instead of greeting in clear.
    static bool answersTls(const ServerAddress& address, std::chrono::milliseconds limit,
                           const NetInterrupt* interrupt);

    // Next line without its CR LF (or bare LF). The view is valid until the next read.
    // A line longer than maxLength octets is an error.
    Status readLine(std::string_view& line, std::size_t maxLength);

    // Every read and write from now on fails once start + base has passed, however steadily
    // the peer sends: a wait for one byte does not restart the clock. With bytesPerSecond,
    // each byte received from now on adds its share of a second, up to cap: the time grows
    // with what arrives, never with what the peer announces.
    void setDeadline(Clock::time_point start, std::chrono::milliseconds base,
                     std::size_t bytesPerSecond = 0,
                     std::chrono::milliseconds cap = std::chrono::milliseconds::max());
    void clearDeadline() { paceLimited_ = false; }
    Clock::time_point deadline() const;

    // Waits end at once with an error while this is raised; null: never (a caller that must
    // still say goodbye after a stop drops it and sets a short deadline instead).
    void setInterrupt(const NetInterrupt* interrupt) { interrupt_ = interrupt; }
    bool interrupted() const { return interrupt_ != nullptr && interrupt_->raised(); }

    // Received bytes not yet handed out.
    std::size_t bufferedBytes() const { return buffer_.size() - start_; }

  private:
    NetConnection(UniqueFd fd, std::chrono::milliseconds timeout)
        : fd_(std::move(fd)), timeout_(timeout) {}

    Status fill();
    Status waitFor(short events, std::chrono::milliseconds limit);
    Status tlsIo(int result, const char* what);

    UniqueFd fd_;
    std::chrono::milliseconds timeout_;
    const NetInterrupt* interrupt_ = nullptr;
    bool paceLimited_ = false;
    Clock::time_point paceStart_;
    std::chrono::milliseconds paceBase_{0};
    std::size_t paceRate_ = 0;
    std::chrono::milliseconds paceCap_{0};
    std::size_t paceReceived_ = 0;
    CertificateCheck check_;
    SslCtxPtr ctx_;
    SslPtr ssl_;
    std::string buffer_;
    std::size_t start_ = 0;    // first unread byte
    std::size_t scanned_ = 0;  // bytes from start_ known to hold no line end
};

}  // namespace tsubame
