#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/pop3_fake_server.h"

namespace tsubame::testing {

// A POP3 mailbox on a loopback port for whole-check tests: USER/PASS, STAT, LIST, UIDL, RETR,
// DELE and QUIT over the scripted server of the transport tests. As on a real server, marked
// mails leave the mailbox only when QUIT is processed. One fault can be armed at a time; it
// strikes the first session that reaches its command and is then used up.
class FakePop3Mailbox {
  public:
    enum class FaultKind {
        Drop,               // hang up instead of answering the command
        DropAfterCommit,    // QUIT only: remove the marked mails, then hang up without "+OK"
        EndlessStatusLine,  // answer "+OK " followed by megabytes without a line end
        ErrReply,  // answer "-ERR" and go on (the greeting: "-ERR" and hang up); stays armed
        Silent     // answer nothing until the client hangs up
    };
    struct Fault {
        std::string command;  // "greeting", or a command line: "CAPA", "USER", "RETR 2", "DELE 1"
        FaultKind kind = FaultKind::Drop;
    };
    enum class StlsInjection {
        None,          // no STLS offered
        SamePacket,    // "+OK" go-ahead and a forged answer in one write
        SeparateWrite  // the forged answer a moment after the go-ahead, as the handshake starts
    };
    struct Options {
        bool pipelining = false;
        StlsInjection stls = StlsInjection::None;
        bool uidl = true;  // false: a server without unique ids
    };

    explicit FakePop3Mailbox(Options options);
    FakePop3Mailbox() : FakePop3Mailbox(Options{}) {}

    std::string serverName() const { return server_->serverName(); }
    static constexpr const char* kUser = "tester";
    static constexpr const char* kPassword = "secret";

    // A mail with this subject (and a body naming it), under a fresh unique id unless one is
    // given (a server may break the rule that ids are unique).
    void add(const std::string& subject, std::size_t bodyPadding = 0, const std::string& uid = {});
    // A mail of exactly this text (CR LF line ends, any bytes), listed under subject.
    void addRaw(const std::string& subject, const std::string& text);
    std::vector<std::string> subjects();
    // LIST gives the mail with this subject the size text instead of its real size.
    void listSizeAs(const std::string& subject, const std::string& size);
    // RETR answers go out at this many bytes a second from now on (0: at once).
    void throttle(std::size_t bytesPerSecond) { bytesPerSecond_ = bytesPerSecond; }
    // The answer to "RETR n" waits until release() (at most 10 s); 0 holds none.
    void holdRetr(int n) { heldRetr_ = n; }
    void release() { holdRetr(0); }
    void arm(Fault fault);
    void disarm();
    bool faultStruck();
    // Every command line received, over all sessions; "(hung up)" where a client closed the
    // connection (or stayed silent for 10 s) without QUIT.
    std::vector<std::string> commands() { return server_->commands(); }
    // How many bytes the endless line had sent when the client hung up.
    std::size_t endlessBytesSent();

  private:
    struct Mail {
        std::string uid;
        std::string subject;
        std::string text;
        std::string listedSize;  // empty: the real size
    };
    void serve(FakeClient& client);
    // The armed fault when it matches this command (or "greeting"); it is then used up.
    std::optional<FaultKind> strike(const std::string& command);
    void answer(FakeClient& client, const std::string& line, std::vector<bool>& marked,
                const std::vector<Mail>& view, bool& quit);
    void sendEndlessLine(FakeClient& client);
    // QUIT: the marked mails of the session leave the mailbox.
    void commit(const std::vector<Mail>& view, const std::vector<bool>& marked);

    Options options_;
    std::mutex mutex_;
    std::vector<Mail> mails_;
    int nextUid_ = 1;
    std::optional<Fault> armed_;
    std::atomic<int> heldRetr_ = 0;
    bool struck_ = false;
    std::size_t endlessBytes_ = 0;
    std::atomic<std::size_t> bytesPerSecond_ = 0;
    std::unique_ptr<FakePop3Server> server_;  // last: its sessions use the members above
};

}  // namespace tsubame::testing
