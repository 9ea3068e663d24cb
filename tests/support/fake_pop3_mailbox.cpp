#include "support/fake_pop3_mailbox.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace tsubame::testing {

FakePop3Mailbox::FakePop3Mailbox(Options options)
    : options_(options),
      server_(std::make_unique<FakePop3Server>([this](FakeClient& client) { serve(client); })) {}

void FakePop3Mailbox::add(const std::string& subject, std::size_t bodyPadding,
                          const std::string& givenUid) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string uid = givenUid.empty() ? "uid-" + std::to_string(nextUid_++) : givenUid;
    std::string text = "From: sender@example.jp\r\nTo: tester@example.jp\r\nSubject: " + subject +
                       "\r\nDate: Mon, 07 Dec 2026 10:00:00 +0900\r\nMessage-ID: <" + uid +
                       "@example.jp>\r\n\r\nbody of " + subject + "\r\n";
    // Padding in lines of 70 characters; one line starts with a dot to exercise the stuffing.
    for (std::size_t done = 0; done < bodyPadding; done += 70)
        text += (done == 0 ? "." : "") + std::string(70, 'p') + "\r\n";
    mails_.push_back({uid, subject, text, {}});
}

void FakePop3Mailbox::addRaw(const std::string& subject, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    mails_.push_back({"uid-" + std::to_string(nextUid_++), subject, text, {}});
}

std::vector<std::string> FakePop3Mailbox::subjects() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const Mail& mail : mails_) out.push_back(mail.subject);
    return out;
}

void FakePop3Mailbox::listSizeAs(const std::string& subject, const std::string& size) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Mail& mail : mails_)
        if (mail.subject == subject) mail.listedSize = size;
}

void FakePop3Mailbox::arm(Fault fault) {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = std::move(fault);
    struck_ = false;
    endlessBytes_ = 0;
}

void FakePop3Mailbox::disarm() {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_.reset();
}

bool FakePop3Mailbox::faultStruck() {
    std::lock_guard<std::mutex> lock(mutex_);
    return struck_;
}

std::size_t FakePop3Mailbox::endlessBytesSent() {
    std::lock_guard<std::mutex> lock(mutex_);
    return endlessBytes_;
}

std::optional<FakePop3Mailbox::FaultKind> FakePop3Mailbox::strike(const std::string& command) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!armed_ || !(command == armed_->command || command.starts_with(armed_->command + " ")))
        return std::nullopt;
    const FaultKind kind = armed_->kind;
    if (kind != FaultKind::ErrReply) armed_.reset();
    struck_ = true;
    return kind;
}

void FakePop3Mailbox::sendEndlessLine(FakeClient& client) {
    const std::string chunk(64 * 1024, 'A');
    bool open = client.send("+OK ");
    for (int i = 0; open && i < 1024; ++i) open = client.send(chunk);
    std::lock_guard<std::mutex> lock(mutex_);
    endlessBytes_ = client.sentBytes();
}

void FakePop3Mailbox::commit(const std::vector<Mail>& view, const std::vector<bool>& marked) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < view.size(); ++i) {
        if (!marked[i]) continue;
        std::erase_if(mails_, [&](const Mail& mail) { return mail.uid == view[i].uid; });
    }
}

void FakePop3Mailbox::serve(FakeClient& client) {
    std::vector<Mail> view;  // message numbers stay fixed for the session
    {
        std::lock_guard<std::mutex> lock(mutex_);
        view = mails_;
    }
    std::vector<bool> marked(view.size(), false);

    if (auto fault = strike("greeting")) {
        if (*fault == FaultKind::Silent) client.waitForClose();
        if (*fault == FaultKind::EndlessStatusLine) sendEndlessLine(client);
        if (*fault == FaultKind::ErrReply) client.send("-ERR service not available\r\n");
        return;
    }
    client.send("+OK fake POP3 ready\r\n");
    bool quit = false;
    while (!quit) {
        const std::optional<std::string> line = client.readLine();
        if (!line) return server_->record("(hung up)");
        server_->record(*line);
        if (auto fault = strike(*line)) {
            if (*fault == FaultKind::ErrReply) {
                client.send("-ERR refused by the test\r\n");
                continue;
            }
            if (*fault == FaultKind::Silent) client.waitForClose();
            if (*fault == FaultKind::EndlessStatusLine) sendEndlessLine(client);
            if (*fault == FaultKind::DropAfterCommit) commit(view, marked);
            return;
        }
        answer(client, *line, marked, view, quit);
    }
}

void FakePop3Mailbox::answer(FakeClient& client, const std::string& line, std::vector<bool>& marked,
                             const std::vector<Mail>& view, bool& quit) {
    const std::string verb = line.substr(0, line.find(' '));
    const auto number = [&]() -> int {
        const std::size_t space = line.find(' ');
        if (space == std::string::npos) return 0;
        const int n = std::atoi(line.c_str() + space + 1);
        return n >= 1 && n <= static_cast<int>(view.size()) && !marked[n - 1] ? n : 0;
    };
    if (verb == "CAPA") {
        std::string capabilities = "+OK\r\nUSER\r\n";
        if (options_.uidl) capabilities += "UIDL\r\n";
        if (options_.pipelining) capabilities += "PIPELINING\r\n";
        if (options_.stls != StlsInjection::None) capabilities += "STLS\r\n";
        client.send(capabilities + ".\r\n");
    } else if (verb == "STLS" && options_.stls == StlsInjection::SamePacket) {
        client.send("+OK begin TLS\r\n+OK forged mailbox of 9 mails\r\n");
    } else if (verb == "STLS" && options_.stls == StlsInjection::SeparateWrite) {
        client.send("+OK begin TLS\r\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        client.send("+OK forged mailbox of 9 mails\r\n");
    } else if (verb == "USER") {
        client.send("+OK\r\n");
    } else if (verb == "PASS") {
        client.send(line == std::string("PASS ") + kPassword ? "+OK logged in\r\n"
                                                             : "-ERR wrong password\r\n");
    } else if (verb == "UIDL" && !options_.uidl) {
        client.send("-ERR no unique ids here\r\n");
    } else if (verb == "STAT" || verb == "LIST" || verb == "UIDL") {
        std::size_t count = 0, octets = 0;
        std::string listing;
        for (std::size_t i = 0; i < view.size(); ++i) {
            if (marked[i]) continue;
            ++count;
            octets += view[i].text.size();
            listing += std::to_string(i + 1) + " " +
                       (verb == "UIDL"               ? view[i].uid
                        : view[i].listedSize.empty() ? std::to_string(view[i].text.size())
                                                     : view[i].listedSize) +
                       "\r\n";
        }
        client.send(verb == "STAT"
                        ? "+OK " + std::to_string(count) + " " + std::to_string(octets) + "\r\n"
                        : "+OK\r\n" + listing + ".\r\n");
    } else if (verb == "RETR") {
        const int n = number();
        if (n == 0) {
            client.send("-ERR no such message\r\n");
            return;
        }
        for (int waited = 0; waited < 1000 && heldRetr_ == n; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const std::string& text = view[n - 1].text;
        std::string stuffed = "+OK " + std::to_string(text.size()) + " octets\r\n";
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = text.find("\r\n", start) + 2;
            if (text[start] == '.') stuffed += '.';
            stuffed.append(text, start, end - start);
            start = end;
        }
        stuffed += ".\r\n";
        // Paced: a twentieth of the rate every 50 ms, the rate read again for each piece.
        for (std::size_t sent = 0, piece = 0; sent < stuffed.size(); sent += piece) {
            const std::size_t rate = bytesPerSecond_;
            piece = rate == 0 ? stuffed.size() : std::max<std::size_t>(rate / 20, 1);
            if (!client.send(std::string_view(stuffed).substr(sent, piece))) return;
            if (rate != 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    } else if (verb == "DELE") {
        const int n = number();
        if (n != 0) marked[n - 1] = true;
        client.send(n != 0 ? "+OK marked\r\n" : "-ERR no such message\r\n");
    } else if (verb == "NOOP" || verb == "RSET") {
        if (verb == "RSET") marked.assign(marked.size(), false);
        client.send("+OK\r\n");
    } else if (verb == "QUIT") {
        commit(view, marked);
        client.send("+OK bye\r\n");
        quit = true;
    } else {
        client.send("-ERR unknown command\r\n");
    }
}

}  // namespace tsubame::testing
