#include "net/net_connection.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/system_error_text.h"

namespace tsubame {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kReadChunk = 64 * 1024;

std::string systemError(int code) { return systemErrorText(code); }

// getaddrinfo's answers in words the user reads.
std::string resolveErrorText(int code) {
    std::string words;
    switch (code) {
        case EAI_NONAME:
        case EAI_NODATA:
            words = "そのサーバー名は見つかりません";
            break;
        case EAI_AGAIN:
            words = "名前を今は引けません（ネットワークか DNS サーバーの一時的な問題です）";
            break;
        case EAI_FAIL:
            words = "DNS サーバーが答えられません";
            break;
        case EAI_SYSTEM:
            return systemErrorText(errno);
        default:
            words = "名前を引けません";
            break;
    }
    return words + " (" + gai_strerror(code) + ")";
}

Status timeoutError() { return Status::failure("サーバーからの応答がありません（時間切れ）"); }

Status closedError() { return Status::failure("サーバーが接続を切断しました"); }

Status interruptedError() { return Status::failure("通信を中止しました"); }

// OpenSSL writes to the socket with write(), which raises SIGPIPE when the peer has gone.
// The signal is held back on this thread for the duration and swallowed if it came.
class SigpipeGuard {
  public:
    SigpipeGuard() {
        sigset_t pipeOnly;
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        alreadyPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous_);
    }
    ~SigpipeGuard() {
        if (!alreadyPending_) {
            sigset_t pipeOnly;
            sigemptyset(&pipeOnly);
            sigaddset(&pipeOnly, SIGPIPE);
            timespec zero{0, 0};
            while (sigtimedwait(&pipeOnly, nullptr, &zero) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

  private:
    sigset_t previous_;
    bool alreadyPending_ = false;
};

Status connectOne(const addrinfo* info, std::chrono::milliseconds timeout,
                  const NetInterrupt* interrupt, UniqueFd& out) {
    UniqueFd fd(::socket(info->ai_family, info->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                         info->ai_protocol));
    if (!fd.valid()) return Status::failure(systemError(errno));
    if (::connect(fd.get(), info->ai_addr, info->ai_addrlen) != 0) {
        if (errno != EINPROGRESS) return Status::failure(systemError(errno));
        pollfd p[2] = {{fd.get(), POLLOUT, 0}, {interrupt ? interrupt->fd() : -1, POLLIN, 0}};
        int ready = ::poll(p, 2, static_cast<int>(timeout.count()));
        if (interrupt != nullptr && interrupt->raised()) return interruptedError();
        if (ready == 0) return Status::failure("接続が時間切れになりました");
        if (ready < 0) return Status::failure(systemError(errno));
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length);
        if (error != 0) return Status::failure(systemError(error));
    }
    int on = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    out = std::move(fd);
    return {};
}

}  // namespace

Status NetConnection::open(const ServerAddress& address, std::chrono::milliseconds timeout,
                           std::unique_ptr<NetConnection>& out, const NetInterrupt* interrupt) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(address.port);
    int rc = ::getaddrinfo(address.host.c_str(), port.c_str(), &hints, &found);
    if (rc != 0) {
        return Status::failure("サーバー名を解決できません: " + address.host + ": " +
                               resolveErrorText(rc));
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);
    Status last = Status::failure("アドレスがありません");
    for (const addrinfo* info = found; info != nullptr; info = info->ai_next) {
        UniqueFd fd;
        if (interrupt != nullptr && interrupt->raised()) return interruptedError();
        last = connectOne(info, timeout, interrupt, fd);
        if (last.ok()) {
            out.reset(new NetConnection(std::move(fd), timeout));
            out->setInterrupt(interrupt);
            return {};
        }
    }
    return Status::failure(describeAddress(address) + ": " + last.message());
}

void NetConnection::setDeadline(Clock::time_point start, std::chrono::milliseconds base,
                                std::size_t bytesPerSecond, std::chrono::milliseconds cap) {
    paceLimited_ = true;
    paceStart_ = start;
    paceBase_ = base;
    paceRate_ = bytesPerSecond;
    paceCap_ = cap;
    paceReceived_ = 0;
}

NetConnection::Clock::time_point NetConnection::deadline() const {
    if (!paceLimited_) return Clock::time_point::max();
    auto allowed = paceBase_;
    if (paceRate_ > 0) {
        const std::size_t n = paceReceived_;
        allowed +=
            std::chrono::milliseconds(n / paceRate_ * 1000 + n % paceRate_ * 1000 / paceRate_);
    }
    return paceStart_ + std::min(allowed, paceCap_);
}

Status NetConnection::waitFor(short events, std::chrono::milliseconds limit) {
    pollfd p[2] = {{fd_.get(), events, 0}, {interrupt_ ? interrupt_->fd() : -1, POLLIN, 0}};
    for (;;) {
        if (interrupted()) return interruptedError();
        const Clock::time_point until = deadline();
        if (until != Clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
            if (left.count() <= 0) return timeoutError();
            limit = std::min(limit, left);
        }
        int ready = ::poll(p, 2, static_cast<int>(limit.count()));
        if (interrupted()) return interruptedError();
        if (ready > 0 && p[0].revents != 0) return {};
        if (ready == 0) return timeoutError();
        if (ready < 0 && errno != EINTR) return Status::failure(systemError(errno));
    }
}

Status NetConnection::tlsIo(int result, const char* what) {
    int error = SSL_get_error(ssl_.get(), result);
    switch (error) {
        case SSL_ERROR_WANT_READ:
            return waitFor(POLLIN, timeout_);
        case SSL_ERROR_WANT_WRITE:
            return waitFor(POLLOUT, timeout_);
        case SSL_ERROR_ZERO_RETURN:
            return closedError();
        case SSL_ERROR_SYSCALL: {
            std::string detail = takeTlsErrors();
            if (detail.empty()) return closedError();
            return Status::failure(std::string(what) + ": " + detail);
        }
        default: {
            std::string detail = takeTlsErrors();
            long verify = SSL_get_verify_result(ssl_.get());
            if (verify != X509_V_OK) detail = tlsVerifyErrorText(verify) + "; " + detail;
            return Status::failure(std::string(what) + ": " + detail);
        }
    }
}

Status NetConnection::startTls(const std::string& host, const std::string& trustedFingerprint) {
    if (bufferedBytes() != 0) {
        return Status::failure("暗号化の開始前にサーバーから余分なデータが届きました");
    }
    check_ = {};
    check_.host = host;
    check_.trustedFingerprint = trustedFingerprint;
    if (Status s = makeClientTlsContext(ctx_, &check_); !s) return s;
    ssl_.reset(SSL_new(ctx_.get()));
    if (!ssl_) return Status::failure("TLSを初期化できません: " + takeTlsErrors());
    if (Status s = requireServerIdentity(ssl_.get(), host); !s) return s;
    SSL_set_fd(ssl_.get(), fd_.get());
    ERR_clear_error();
    const auto handshakeEnd = Clock::now() + timeout_;
    for (;;) {
        int result;
        {
            SigpipeGuard guard;
            result = SSL_connect(ssl_.get());
        }
        if (result == 1) return {};
        if (Clock::now() > handshakeEnd) return timeoutError();
        if (Status s = tlsIo(result, "TLS接続を確立できません"); !s) {
            ssl_.reset();
            return s;
        }
    }
}

bool NetConnection::answersTls(const ServerAddress& address, std::chrono::milliseconds limit,
                               const NetInterrupt* interrupt) {
    std::unique_ptr<NetConnection> probe;
    if (!open(address, limit, probe, interrupt)) return false;
    probe->ctx_.reset(SSL_CTX_new(TLS_client_method()));
    if (!probe->ctx_) return false;
    SSL_CTX_set_verify(probe->ctx_.get(), SSL_VERIFY_NONE, nullptr);
    probe->ssl_.reset(SSL_new(probe->ctx_.get()));
    if (!probe->ssl_) return false;
    SSL_set_fd(probe->ssl_.get(), probe->fd_.get());
    probe->setDeadline(Clock::now(), limit);
    for (;;) {
        int result;
        {
            SigpipeGuard guard;
            ERR_clear_error();
            result = SSL_connect(probe->ssl_.get());
        }
        if (result == 1) return true;
        const int error = SSL_get_error(probe->ssl_.get(), result);
        const short events = error == SSL_ERROR_WANT_READ    ? POLLIN
                             : error == SSL_ERROR_WANT_WRITE ? POLLOUT
                                                             : 0;
        if (events == 0 || !probe->waitFor(events, limit)) {
            ERR_clear_error();
            return false;
        }
    }
}

Status NetConnection::write(std::string_view data) {
    while (!data.empty()) {
        if (ssl_) {
            std::size_t written = 0;
            int result;
            {
                SigpipeGuard guard;
                ERR_clear_error();
                result = SSL_write_ex(ssl_.get(), data.data(), data.size(), &written);
            }
            if (result == 1) {
                data.remove_prefix(written);
                continue;
            }
            if (Status s = tlsIo(result, "送信に失敗しました"); !s) return s;
            continue;
        }
        ssize_t sent = ::send(fd_.get(), data.data(), data.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            data.remove_prefix(static_cast<std::size_t>(sent));
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (Status s = waitFor(POLLOUT, timeout_); !s) return s;
        } else if (errno != EINTR) {
            if (errno == EPIPE || errno == ECONNRESET) return closedError();
            return Status::failure("送信に失敗しました: " + systemError(errno));
        }
    }
    return {};
}

Status NetConnection::fill() {
    // A peer that always has a byte ready never makes us wait: both are checked here too.
    if (interrupted()) return interruptedError();
    if (Clock::now() >= deadline()) return timeoutError();
    if (start_ > 0 && start_ >= buffer_.size() / 2) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    const std::size_t old = buffer_.size();
    buffer_.resize(old + kReadChunk);
    for (;;) {
        if (ssl_) {
            std::size_t got = 0;
            ERR_clear_error();
            int result = SSL_read_ex(ssl_.get(), buffer_.data() + old, kReadChunk, &got);
            if (result == 1) {
                buffer_.resize(old + got);
                paceReceived_ += got;
                return {};
            }
            if (Status s = tlsIo(result, "受信に失敗しました"); !s) {
                buffer_.resize(old);
                return s;
            }
            continue;
        }
        ssize_t got = ::recv(fd_.get(), buffer_.data() + old, kReadChunk, 0);
        if (got > 0) {
            buffer_.resize(old + static_cast<std::size_t>(got));
            paceReceived_ += static_cast<std::size_t>(got);
            return {};
        }
        if (got == 0) {
            buffer_.resize(old);
            return closedError();
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (Status s = waitFor(POLLIN, timeout_); !s) {
                buffer_.resize(old);
                return s;
            }
        } else if (errno != EINTR) {
            buffer_.resize(old);
            if (errno == ECONNRESET) return closedError();
            return Status::failure("受信に失敗しました: " + systemError(errno));
        }
    }
}

Status NetConnection::readLine(std::string_view& line, std::size_t maxLength) {
    for (;;) {
        const std::size_t available = buffer_.size() - start_;
        const char* begin = buffer_.data() + start_;
        const void* lf = std::memchr(begin + scanned_, '\n', available - scanned_);
        if (lf != nullptr) {
            std::size_t length = static_cast<const char*>(lf) - begin;
            std::size_t content = length;
            if (content > 0 && begin[content - 1] == '\r') --content;
            if (content > maxLength) return Status::failure("サーバーからの行が長すぎます");
            line = std::string_view(begin, content);
            start_ += length + 1;
            scanned_ = 0;
            return {};
        }
        scanned_ = available;
        // Room for the CR of a line of exactly maxLength octets.
        if (available > maxLength + 1) return Status::failure("サーバーからの行が長すぎます");
        if (Status s = fill(); !s) return s;
    }
}

}  // namespace tsubame
