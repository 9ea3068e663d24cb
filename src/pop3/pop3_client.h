#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/download_progress.h"
#include "core/status.h"
#include "net/net_connection.h"
#include "net/net_server_name.h"

namespace tsubame {

// One downloaded mail as the server sent it (dot-unstuffed, CR LF line ends).
struct Pop3Mail {
    std::string raw;
    std::size_t headerLength = 0;  // the header block including its last CR LF

    std::string_view header() const { return std::string_view(raw).substr(0, headerLength); }
    // Everything after the blank line that ends the header.
    std::string_view body() const;
};

struct Pop3Tuning {
    bool allowPipelining = true;
    // Bytes of mail (by the LIST sizes) that may be requested ahead of the one being read.
    std::size_t readAheadBytes = 4 * 1024 * 1024;
    // A multi-line answer (a listing, a mail) may take the reply time plus what has arrived
    // at this rate, and never longer than longestAnswer: a server that trickles slower loses
    // the connection instead of holding the check for ever, whatever sizes it announced.
    std::size_t minimumBytesPerSecond = 8 * 1024;
    std::chrono::milliseconds longestAnswer = std::chrono::hours(1);
    // Ends every wait at once when raised (the user stopped the check); null: none.
    const NetInterrupt* interrupt = nullptr;
    // The certificate the user trusts for this server (SHA-256, "AB:CD:..."), empty: none.
    std::string trustedFingerprint;
    // After a stop, the time the deletions and QUIT may take when nothing else is owed.
    std::chrono::milliseconds goodbyeAfterStop = std::chrono::seconds(1);
};

// A strict POP3 client for one connection. Message numbers and deletion marks belong to the
// connection, so it never reconnects: once the connection fails every later call fails too.
//
// The mail check reads mails in order and marks each one, so when the server offers
// PIPELINING the client asks for the next mails ahead (within readAheadBytes) and keeps the
// marks until quit(), which sends them pipelined before QUIT. Marks take effect only at QUIT,
// so the result is the same as one command at a time.
class Pop3Client {
  public:
    explicit Pop3Client(Pop3Tuning tuning = {}) : tuning_(tuning) {}

    // Connects, reads the greeting and the capabilities, and switches to TLS with STLS when
    // the server offers it (unless the address asked for TLS from the first byte).
    Status connect(const ServerAddress& address, std::chrono::milliseconds timeout);

    // USER/PASS, or APOP when apop is set. Then reads the count (STAT), the sizes (LIST)
    // and the unique ids (UIDL, when the server has them). Outside TLS nothing is sent
    // unless the address allows a login in clear.
    Status login(std::string_view user, std::string_view password, bool apop);
    // The last login failed because the mailbox is in use or the server has a passing
    // problem ([IN-USE], [SYS/TEMP]): trying again later may work.
    bool mailboxBusy() const { return mailboxBusy_; }

    int count() const { return count_; }
    // LIST size of mail n, -1 for a number out of range.
    long long size(int n) const;
    // The largest mail the client downloads; one listed larger stays on the server.
    static constexpr std::size_t kMaxMailBytes = 256 * 1024 * 1024;
    // UIDL of mail n, empty when unknown.
    std::string uidl(int n) const;

    // Mail n, downloaded once: asking again for the same mail gives the kept copy.
    Status fetch(int n, const Pop3Mail*& mail);

    Status markDeleted(int n);

    // The mails fetch() downloads report their bytes to progress as they arrive (null: no
    // more); mails read ahead for later calls do not.
    void watchDownload(DownloadProgress* progress) { progress_ = progress; }

    // Sends the deletion marks and QUIT; the server removes the marked mails only now.
    // After an interrupt nothing asked ahead is read: when answers are still owed, QUIT's
    // would come after them, so the session ends without QUIT (the server removes nothing);
    // otherwise the marks and QUIT get goodbyeAfterStop.
    Status quit();

    // What of the last failure the user may settle (a login held back for want of STLS, a
    // certificate that could not be verified); kind None otherwise.
    const NetTlsProblem& tlsProblem() const { return tlsProblem_; }

    bool usesPipelining() const { return pipelining_; }
    // True once the connection has failed: every later call fails too.
    bool connectionBroken() const { return broken_; }
    bool usesTls() const { return connection_ && connection_->isTls(); }

  private:
    Status fail(Status status);
    Status checkUsable() const;
    Status send(std::string_view commands);
    // The next reads and writes get the reply time; with growing, also what arrives at the
    // minimum rate, up to longestAnswer. Never beyond endBy_.
    void startDeadline(bool growing);
    // Reads a status line. ok tells +OK from -ERR; a line that is neither is an error.
    Status readStatus(bool& ok, std::string& reply);
    // Reads the lines of a multi-line response up to the terminating ".", unstuffing dots.
    // received, when given, follows the size of out.
    Status readMultiline(std::string& out, std::size_t maxTotal, std::size_t maxLine,
                         std::atomic<std::int64_t>* received = nullptr);
    Status readCapabilities();
    Status startTls(const std::string& host);
    Status loginRefused(std::string_view reply);
    std::string withheldLoginText();
    // asked: the listing's commands went out with the login.
    Status readMailboxListing(bool askUidl, bool asked = false);
    std::string listingCommands(bool askUidl) const;
    // Reads count replies that must be refusals (after a refused login); gives refused.
    Status skipRefusedReplies(int count, const Status& refused);
    Status readRetrResponse(int n, Pop3Mail* into, std::string& errorReply);
    Status drainReadAhead();
    Status fetchMail(int n, const Pop3Mail*& mail);
    std::size_t mailBound(int n) const;
    bool listedTooLarge(int n) const;
    std::size_t readAheadCost(int n) const;

    Pop3Tuning tuning_;
    std::chrono::milliseconds replyTime_{30000};
    NetConnection::Clock::time_point endBy_ = NetConnection::Clock::time_point::max();
    std::unique_ptr<NetConnection> connection_;
    ServerAddress address_;
    std::string greeting_;
    std::string tlsRefusal_;  // the server's answer when it refused STLS
    NetTlsProblem tlsProblem_;
    std::set<std::string> capabilities_;
    bool capaKnown_ = false;
    bool pipelining_ = false;
    bool broken_ = false;
    bool loggedIn_ = false;
    bool mailboxBusy_ = false;

    int count_ = 0;
    std::vector<long long> sizes_;  // index n - 1
    std::vector<std::string> uidls_;
    std::vector<bool> marked_;

    std::deque<int> inFlight_;  // RETR commands sent and not yet read, in order
    std::size_t inFlightBytes_ = 0;
    int nextAhead_ = 1;

    DownloadProgress* progress_ = nullptr;

    int cachedNumber_ = 0;
    Pop3Mail cached_;
};

// Printable ASCII form of a server reply for error texts, shortened.
std::string printableReply(std::string_view reply);

}  // namespace tsubame
