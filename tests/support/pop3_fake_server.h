#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tsubame::testing {

// One accepted client of a FakePop3Server: raw sends and line reads, each bounded in time so
// that a test cannot hang.
class FakeClient {
  public:
    explicit FakeClient(int fd) : fd_(fd) {}

    // False once the client has gone.
    bool send(std::string_view data) {
        while (!data.empty()) {
            ssize_t sent = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
            if (sent <= 0) return false;
            data.remove_prefix(static_cast<std::size_t>(sent));
            sentBytes_ += static_cast<std::size_t>(sent);
        }
        return true;
    }

    // A line without CR LF, or nothing when the client closed or stayed silent for 10 s.
    std::optional<std::string> readLine() {
        for (;;) {
            std::size_t lf = pending_.find('\n');
            if (lf != std::string::npos) {
                std::string line = pending_.substr(0, lf);
                pending_.erase(0, lf + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                return line;
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0) return std::nullopt;
            char buffer[4096];
            ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0) return std::nullopt;
            pending_.append(buffer, static_cast<std::size_t>(got));
        }
    }

    // Blocks until the client closes the connection (or 10 s pass).
    void waitForClose() {
        char buffer[4096];
        pollfd p{fd_, POLLIN, 0};
        while (::poll(&p, 1, 10000) > 0 && ::recv(fd_, buffer, sizeof buffer, 0) > 0) {
        }
    }

    std::size_t sentBytes() const { return sentBytes_; }

  private:
    int fd_;
    std::string pending_;
    std::size_t sentBytes_ = 0;
};

// A scripted POP3 server on a loopback port: each accepted connection runs the script on a
// thread of its own. The script sees the connection; closing happens when it returns.
class FakePop3Server {
  public:
    using Script = std::function<void(FakeClient&)>;

    explicit FakePop3Server(Script script) : script_(std::move(script)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 8);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }

    ~FakePop3Server() {
        stopping_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        acceptor_.join();
        ::close(listener_);
        for (std::thread& t : sessions_) t.join();
    }

    FakePop3Server(const FakePop3Server&) = delete;
    FakePop3Server& operator=(const FakePop3Server&) = delete;

    // The scripted server speaks in clear: its name allows a login in clear.
    std::string serverName() const { return "pop3://" + bareServerName(); }
    std::string bareServerName() const { return "127.0.0.1:" + std::to_string(port_); }

    // Every command line the scripts have read so far, in order.
    std::vector<std::string> commands() {
        std::lock_guard<std::mutex> lock(mutex_);
        return commands_;
    }
    void record(const std::string& command) {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(command);
    }

  private:
    void acceptLoop() {
        while (!stopping_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            sessions_.emplace_back([this, fd] {
                FakeClient client(fd);
                script_(client);
                ::close(fd);
            });
        }
    }

    Script script_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::vector<std::thread> sessions_;
    std::mutex mutex_;
    std::vector<std::string> commands_;
};

// The answers of a plain mailbox for a FakePop3Server script, each a whole reply; a test
// changes the ones its fault is about. Commands without an answer here get "+OK".
struct Pop3Replies {
    std::string greeting = "+OK ready\r\n";
    std::string capa = "-ERR\r\n";
    std::string stat = "+OK 1 100\r\n";
    std::string list = "+OK\r\n1 100\r\n.\r\n";
    std::string uidl = "-ERR\r\n";
    std::string pass = "+OK\r\n";
    // Answers RETR (the whole command line is passed); false ends the session.
    std::function<bool(FakeClient&, const std::string&)> retr = {};
    // Sees each command before it is answered; false drops the connection instead.
    std::function<bool(const std::string&)> onCommand = {};
    bool endAtQuit = true;  // answers QUIT with "+OK bye" and closes
};

// Runs the dialogue of replies with one client, recording every command on server.
inline void servePop3(FakePop3Server& server, FakeClient& client, const Pop3Replies& replies) {
    client.send(replies.greeting);
    while (auto line = client.readLine()) {
        server.record(*line);
        const std::string& c = *line;
        if (replies.onCommand && !replies.onCommand(c)) return;
        if (c == "CAPA") {
            client.send(replies.capa);
        } else if (c == "STAT") {
            client.send(replies.stat);
        } else if (c == "LIST") {
            client.send(replies.list);
        } else if (c == "UIDL") {
            client.send(replies.uidl);
        } else if (c.starts_with("PASS ") || c.starts_with("APOP ")) {
            client.send(replies.pass);
        } else if (c.starts_with("RETR") && replies.retr) {
            if (!replies.retr(client, c)) return;
        } else if (c == "QUIT" && replies.endAtQuit) {
            client.send("+OK bye\r\n");
            return;
        } else {
            client.send("+OK\r\n");
        }
    }
}

}  // namespace tsubame::testing
