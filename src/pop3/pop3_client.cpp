#include "pop3/pop3_client.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <map>

#include "pop3/pop3_apop.h"

namespace tsubame {
namespace {

// A status line is at most 512 octets including CR LF.
constexpr std::size_t kMaxStatusLine = 510;
constexpr std::size_t kMaxListingLine = 510;
constexpr std::size_t kMaxCapaBytes = 64 * 1024;
constexpr std::size_t kMaxListingBytes = 64 * 1024 * 1024;
constexpr int kPop3Port = 110;
// A server silent this long may be one waiting for our TLS handshake: a probe asks.
constexpr std::chrono::milliseconds kGreetingBeforeProbe{2000};
constexpr std::chrono::milliseconds kTlsProbeTime{2500};

std::string upperFirstWord(std::string_view line) {
    std::string word(line.substr(0, line.find(' ')));
    for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return word;
}

bool parseNumber(std::string_view text, long long& value) {
    if (text.empty()) return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 0;
}

// A size of digits only; one too large for a number is the largest number, not unknown.
bool parseSize(std::string_view text, long long& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) value = std::numeric_limits<long long>::max();
    return true;
}

// Splits "a b ..." into its first two words.
bool splitTwo(std::string_view line, std::string_view& first, std::string_view& second) {
    std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return false;
    first = line.substr(0, space);
    std::string_view rest = line.substr(space + 1);
    second = rest.substr(0, rest.find(' '));
    return true;
}

// Calls take(index, value) for each "n value" line of a LIST or UIDL reply whose n is a
// mail of this session (index n - 1); other lines are passed over.
template <class Take>
void forEachListing(std::string_view lines, int count, Take take) {
    for (std::size_t begin = 0; begin < lines.size();) {
        std::size_t end = lines.find("\r\n", begin);
        std::string_view line = lines.substr(begin, end - begin);
        begin = end + 2;
        std::string_view word, value;
        long long number = 0;
        if (splitTwo(line, word, value) && parseNumber(word, number) && number >= 1 &&
            number <= count)
            take(static_cast<std::size_t>(number - 1), value);
    }
}

bool hasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

Status serverError(std::string_view lead, std::string_view reply) {
    return Status::failure(std::string(lead) + " サーバーの応答: " + printableReply(reply));
}

}  // namespace

std::string printableReply(std::string_view reply) {
    constexpr std::size_t kMaxShown = 300;
    std::string text;
    for (char c : reply.substr(0, kMaxShown)) {
        auto u = static_cast<unsigned char>(c);
        text += (u >= 0x20 && u < 0x7F) ? c : '?';
    }
    if (reply.size() > kMaxShown) text += "...";
    return text;
}

std::string_view Pop3Mail::body() const {
    std::string_view all(raw);
    if (headerLength >= all.size()) return {};
    std::string_view rest = all.substr(headerLength);
    // The blank line that ends the header.
    if (rest.starts_with("\r\n")) return rest.substr(2);
    return rest;
}

Status Pop3Client::fail(Status status) {
    broken_ = true;
    return status;
}

Status Pop3Client::checkUsable() const {
    if (!connection_) return Status::failure("POP3サーバーに接続していません");
    if (broken_) return Status::failure("POP3サーバーとの接続は既に切れています");
    return {};
}

void Pop3Client::startDeadline(bool growing) {
    using namespace std::chrono;
    const auto now = NetConnection::Clock::now();
    milliseconds cap = growing ? tuning_.longestAnswer : replyTime_;
    if (endBy_ != NetConnection::Clock::time_point::max())
        cap = std::min(cap, std::max(milliseconds(0), ceil<milliseconds>(endBy_ - now)));
    connection_->setDeadline(now, std::min(replyTime_, cap),
                             growing ? std::max<std::size_t>(tuning_.minimumBytesPerSecond, 1) : 0,
                             cap);
}

Status Pop3Client::send(std::string_view commands) {
    startDeadline(false);
    if (Status s = connection_->write(commands); !s) return fail(s);
    return {};
}

Status Pop3Client::readStatus(bool& ok, std::string& reply) {
    startDeadline(false);
    std::string_view line;
    if (Status s = connection_->readLine(line, kMaxStatusLine); !s) return fail(s);
    reply.assign(line);
    if (line.starts_with("+OK")) {
        ok = true;
    } else if (line.starts_with("-ERR")) {
        ok = false;
    } else {
        return fail(
            Status::failure("POP3サーバーの応答が正しくありません: " + printableReply(line)));
    }
    return {};
}

Status Pop3Client::readMultiline(std::string& out, std::size_t maxTotal, std::size_t maxLine,
                                 std::atomic<std::int64_t>* received) {
    // The time allowed grows with what has come, never with a count or size the server
    // announced: a trickle ends at the minimum rate, a large answer at longestAnswer.
    startDeadline(true);
    for (;;) {
        std::size_t room = maxTotal > out.size() ? maxTotal - out.size() : 0;
        std::string_view line;
        if (Status s = connection_->readLine(line, std::min(maxLine, room + 1)); !s) {
            return fail(s);
        }
        if (line.starts_with('.')) {
            if (line.size() == 1) return {};
            line.remove_prefix(1);
        }
        if (line.size() + 2 > room) {
            return fail(Status::failure("POP3サーバーからの応答が大きすぎます"));
        }
        out.append(line).append("\r\n");
        if (received != nullptr)
            received->store(static_cast<std::int64_t>(out.size()), std::memory_order_relaxed);
    }
}

Status Pop3Client::readCapabilities() {
    capabilities_.clear();
    capaKnown_ = false;
    if (Status s = send("CAPA\r\n"); !s) return s;
    bool ok = false;
    std::string reply;
    if (Status s = readStatus(ok, reply); !s) return s;
    if (!ok) return {};  // an old server without CAPA: one command at a time, no STLS
    std::string lines;
    if (Status s = readMultiline(lines, kMaxCapaBytes, kMaxListingLine); !s) return s;
    std::size_t begin = 0;
    while (begin < lines.size()) {
        std::size_t end = lines.find("\r\n", begin);
        capabilities_.insert(upperFirstWord(std::string_view(lines).substr(begin, end - begin)));
        begin = end + 2;
    }
    capaKnown_ = true;
    return {};
}

Status Pop3Client::startTls(const std::string& host) {
    if (Status s = connection_->startTls(host, tuning_.trustedFingerprint); !s) {
        tlsProblem_ =
            certificateProblem(connection_->certificateCheck(), describeAddress(address_));
        const std::string why = tlsProblem_.kind == NetTlsProblem::Kind::None
                                    ? s.message()
                                    : certificateProblemText(tlsProblem_);
        return fail(Status::failure("POP3サーバー (" + describeAddress(address_) +
                                    ") との暗号化通信を確立できません: " + why));
    }
    return {};
}

Status Pop3Client::connect(const ServerAddress& address, std::chrono::milliseconds timeout) {
    address_ = address;
    replyTime_ = timeout;
    if (Status s = NetConnection::open(address, timeout, connection_, tuning_.interrupt); !s) {
        return fail(Status::failure("POP3サーバーに接続できません: " + s.message()));
    }
    // A TLS handshake from the first byte gets one reply time, like a status line.
    startDeadline(false);
    if (address.implicitTls) {
        if (Status s = startTls(address.host); !s) return s;
    }
    // A port of TLS from the first byte waits for our handshake and never greets in clear:
    // after a short silence a second connection tries a handshake, and one that is answered
    // ends the wait with the hint instead of the whole time-out.
    bool ok = false;
    Status greeted;
    if (!address.implicitTls && timeout > kGreetingBeforeProbe) {
        const auto start = NetConnection::Clock::now();
        replyTime_ = kGreetingBeforeProbe;
        greeted = readStatus(ok, greeting_);
        replyTime_ = timeout;
        if (!greeted && connection_->bufferedBytes() == 0 && !connection_->interrupted() &&
            NetConnection::Clock::now() - start >= kGreetingBeforeProbe) {
            if (NetConnection::answersTls(address, kTlsProbeTime, tuning_.interrupt)) {
                return Status::failure("POP3サーバー (" + describeAddress(address) +
                                       ") は挨拶の代わりに暗号化通信 (TLS) の開始を待っています。"
                                       "最初から暗号化するポートです。サーバー名を「pop3s://" +
                                       describeAddress(address) + "」にしてください。");
            }
            broken_ = false;  // nothing arrived: the wait goes on for the rest of the time
            replyTime_ = std::max(std::chrono::milliseconds(1),
                                  timeout - std::chrono::ceil<std::chrono::milliseconds>(
                                                NetConnection::Clock::now() - start));
            greeted = readStatus(ok, greeting_);
            replyTime_ = timeout;
        }
    } else {
        greeted = readStatus(ok, greeting_);
    }
    if (!greeted) {
        std::string hint;
        if (!address.implicitTls && connection_->bufferedBytes() == 0) {
            hint = "（最初から暗号化するポートなら、サーバー名を「pop3s://" +
                   describeAddress(address) + "」にしてください）";
        }
        return Status::failure("POP3サーバーに接続できません: " + greeted.message() + hint);
    }
    replyTime_ = timeout;
    if (!ok) return fail(serverError("POP3サーバーが接続を断りました。", greeting_));
    if (Status s = readCapabilities(); !s) return s;
    if (!connection_->isTls() && capabilities_.contains("STLS")) {
        if (Status s = send("STLS\r\n"); !s) return s;
        std::string reply;
        if (Status s = readStatus(ok, reply); !s) return s;
        // Refused: the session goes on in clear, where login() sends only what the address
        // allows.
        if (!ok) {
            tlsRefusal_ = reply;
            return {};
        }
        // Anything the server sent before the handshake could be injected by an attacker
        // and later be taken for an answer inside the encrypted session.
        if (connection_->bufferedBytes() != 0) {
            return fail(Status::failure(
                "POP3サーバーが暗号化の開始前に余分なデータを送りました（接続を中止しました）"));
        }
        if (Status s = startTls(address.host); !s) return s;
        if (Status s = readCapabilities(); !s) return s;
    }
    pipelining_ = tuning_.allowPipelining && capabilities_.contains("PIPELINING");
    return {};
}

std::string Pop3Client::withheldLoginText() {
    const std::string where = describeAddress(address_);
    tlsProblem_ = {.kind = NetTlsProblem::Kind::NoTls,
                   .server = where,
                   .plainName = "pop3://" + where,
                   .reason = {},
                   .certificate = {},
                   .changed = false};
    // The user's own port stays; the plain default becomes the TLS default.
    const std::string tlsWhere = address_.port == kPop3Port ? address_.host : where;
    const std::string why =
        tlsRefusal_.empty()
            ? "暗号化通信 (STLS) に対応していない"
            : "暗号化通信 (STLS) を断った（サーバーの応答: " + printableReply(tlsRefusal_) + "）";
    return "POP3サーバー (" + where + ") が" + why +
           "ため、ユーザー名とパスワードを送らずに中止しました。メールはサーバーに残っています。"
           "暗号化せずにログインしてよい場合はサーバー名を「pop3://" +
           where + "」に、最初から暗号化するサーバーなら「pop3s://" + tlsWhere +
           "」にしてください。";
}

Status Pop3Client::loginRefused(std::string_view reply) {
    // Response codes of RFC 2449 and RFC 3206 tell a busy mailbox from a wrong password.
    const std::string_view text = reply.substr(std::min<std::size_t>(5, reply.size()));
    auto hasCode = [&](std::string_view code) {
        return text.size() >= code.size() &&
               std::equal(code.begin(), code.end(), text.begin(), [](char a, char b) {
                   return a == std::toupper(static_cast<unsigned char>(b));
               });
    };
    mailboxBusy_ = hasCode("[IN-USE]") || hasCode("[SYS/TEMP]");
    if (mailboxBusy_) {
        return serverError(
            "POP3サーバーのメールボックスは今使えません（使用中か、サーバーの一時的な問題です）。"
            "しばらくしてからもう一度受信してください。メールはサーバーに残っています。",
            reply);
    }
    if (hasCode("[AUTH]")) {
        return serverError("POP3サーバーにログインできません（ユーザー名かパスワードが違います）。",
                           reply);
    }
    return serverError("POP3サーバーにログインできません。", reply);
}

Status Pop3Client::login(std::string_view user, std::string_view password, bool apop) {
    if (Status s = checkUsable(); !s) return s;
    if (loggedIn_) return Status::failure("POP3サーバーには既にログインしています");
    if (hasLineBreakOrNul(user) || hasLineBreakOrNul(password)) {
        return Status::failure("ユーザー名かパスワードに使えない文字が含まれています");
    }
    // Neither the password nor an APOP digest (open to guessing offline) leaves in clear
    // without the user's word for it.
    tlsProblem_ = {};
    if (!connection_->isTls() && !address_.plainLoginAllowed)
        return Status::failure(withheldLoginText());
    mailboxBusy_ = false;
    bool ok = false;
    std::string reply;
    const bool askUidl = !capaKnown_ || capabilities_.contains("UIDL");
    if (apop) {
        std::string timestamp;
        if (!extractApopTimestamp(greeting_, timestamp)) {
            return Status::failure(
                "POP3サーバーはAPOPに対応していません（挨拶に正しいタイムスタンプがありません）");
        }
        std::string digest = apopDigest(timestamp, password);
        if (digest.empty()) return Status::failure("APOPの計算に失敗しました");
        // With PIPELINING the listing goes out with the login, as for USER and PASS below.
        const std::string listing = pipelining_ ? listingCommands(askUidl) : std::string();
        if (Status s = send("APOP " + std::string(user) + " " + digest + "\r\n" + listing); !s)
            return s;
        if (Status s = readStatus(ok, reply); !s) return s;
        if (!ok) {
            const Status refused = loginRefused(reply);
            if (pipelining_) return skipRefusedReplies(askUidl ? 3 : 2, refused);
            return refused;
        }
        if (pipelining_) {
            loggedIn_ = true;
            return readMailboxListing(askUidl, true);
        }
    } else if (pipelining_) {
        // One round trip for the login and the listing: the server answers in order, and
        // after a refused name or password it refuses the rest as well.
        const std::string commands = "USER " + std::string(user) + "\r\nPASS " +
                                     std::string(password) + "\r\n" + listingCommands(askUidl);
        if (Status s = send(commands); !s) return s;
        const int listing = askUidl ? 3 : 2;
        for (int unanswered : {listing + 1, listing}) {
            if (Status s = readStatus(ok, reply); !s) return s;
            if (!ok) {
                return skipRefusedReplies(unanswered, loginRefused(reply));
            }
        }
        loggedIn_ = true;
        return readMailboxListing(askUidl, true);
    } else {
        if (Status s = send("USER " + std::string(user) + "\r\n"); !s) return s;
        if (Status s = readStatus(ok, reply); !s) return s;
        if (!ok) return loginRefused(reply);
        if (Status s = send("PASS " + std::string(password) + "\r\n"); !s) return s;
        if (Status s = readStatus(ok, reply); !s) return s;
        if (!ok) return loginRefused(reply);
    }
    loggedIn_ = true;
    return readMailboxListing(askUidl);
}

std::string Pop3Client::listingCommands(bool askUidl) const {
    std::string commands = "STAT\r\n";
    if (pipelining_) {
        commands += "LIST\r\n";
        if (askUidl) commands += "UIDL\r\n";
    }
    return commands;
}

Status Pop3Client::skipRefusedReplies(int count, const Status& refused) {
    for (int i = 0; i < count; ++i) {
        bool ok = false;
        std::string reply;
        // Whatever the server does after its refusal (hang up, stray lines), the refusal is
        // what the user needs to read; the session is given up without QUIT.
        if (Status s = readStatus(ok, reply); !s) return fail(refused);
        // A listing answered after all would leave its lines unread: the dialogue is lost.
        if (ok) return fail(refused);
    }
    return refused;
}

Status Pop3Client::readMailboxListing(bool askUidl, bool asked) {
    if (!asked) {
        if (Status s = send(listingCommands(askUidl)); !s) return s;
    }

    bool ok = false;
    std::string reply;
    if (Status s = readStatus(ok, reply); !s) return s;
    long long count = 0;
    std::string_view word, octets;
    std::string_view afterOk =
        std::string_view(reply).substr(std::min<std::size_t>(4, reply.size()));
    if (!ok || !splitTwo(afterOk, word, octets) || !parseNumber(word, count) || count > 1000000) {
        return fail(serverError("POP3サーバーからメールの数を取得できません。", reply));
    }
    count_ = static_cast<int>(count);
    sizes_.assign(count_, -1);
    uidls_.assign(count_, {});
    marked_.assign(count_, false);

    if (!pipelining_) {
        if (Status s = send("LIST\r\n"); !s) return s;
    }
    if (Status s = readStatus(ok, reply); !s) return s;
    if (!ok) return fail(serverError("POP3サーバーからメールの大きさを取得できません。", reply));
    std::string lines;
    if (Status s = readMultiline(lines, kMaxListingBytes, kMaxListingLine); !s) return s;
    forEachListing(lines, count_, [this](std::size_t index, std::string_view octets) {
        long long size = 0;
        if (parseSize(octets, size)) sizes_[index] = size;
    });

    if (!askUidl) return {};
    if (!pipelining_) {
        if (Status s = send("UIDL\r\n"); !s) return s;
    }
    if (Status s = readStatus(ok, reply); !s) return s;
    if (!ok) return {};  // no unique ids on this server
    lines.clear();
    if (Status s = readMultiline(lines, kMaxListingBytes, kMaxListingLine); !s) return s;
    forEachListing(lines, count_, [this](std::size_t index, std::string_view id) {
        uidls_[index] = std::string(id);
    });
    // Ids must be unique; one the server gives to several mails is no id at all, or a caller
    // keeping track of stored ids would take the second mail for the first.
    std::map<std::string, int> uses;
    for (const std::string& id : uidls_)
        if (!id.empty()) ++uses[id];
    for (std::string& id : uidls_)
        if (!id.empty() && uses[id] > 1) id.clear();
    return {};
}

long long Pop3Client::size(int n) const {
    if (n < 1 || n > count_) return -1;
    return sizes_[n - 1] < 0 ? 0 : sizes_[n - 1];
}

std::string Pop3Client::uidl(int n) const {
    if (n < 1 || n > count_) return {};
    return uidls_[n - 1];
}

bool Pop3Client::listedTooLarge(int n) const {
    return sizes_[n - 1] > static_cast<long long>(kMaxMailBytes);
}

std::size_t Pop3Client::mailBound(int n) const {
    long long listed = sizes_[n - 1];
    if (listed < 0 || listedTooLarge(n)) return kMaxMailBytes;
    // Servers count line ends differently; allow for bare LFs becoming CR LF and some slack.
    auto bound = static_cast<unsigned long long>(listed) * 2 + 1024 * 1024;
    return static_cast<std::size_t>(std::min<unsigned long long>(bound, kMaxMailBytes));
}

std::size_t Pop3Client::readAheadCost(int n) const {
    // A mail missing from LIST, or listed as tiny, still counts, so the window stays bounded
    // in commands as well as in bytes.
    constexpr long long kMinimum = 1024;
    constexpr long long kUnknown = 64 * 1024;
    long long listed = sizes_[n - 1];
    if (listed < 0) return kUnknown;
    return static_cast<std::size_t>(
        std::clamp(listed, kMinimum, static_cast<long long>(kMaxMailBytes)));
}

Status Pop3Client::readRetrResponse(int n, Pop3Mail* into, std::string& errorReply) {
    bool ok = false;
    std::string reply;
    if (Status s = readStatus(ok, reply); !s) return s;
    if (!ok) {
        errorReply = reply;
        return {};
    }
    Pop3Mail discard;
    Pop3Mail& mail = into != nullptr ? *into : discard;
    mail.raw.clear();
    DownloadProgress* progress = into != nullptr ? progress_ : nullptr;
    if (progress != nullptr) {
        progress->mailNo.store(0);
        progress->received.store(0);
        progress->listed.store(std::max<long long>(sizes_[n - 1], 0));
        progress->mailNo.store(n);
    }
    struct Ended {
        DownloadProgress* progress;
        ~Ended() {
            if (progress != nullptr) progress->mailNo.store(0);
        }
    } ended{progress};
    // No reserve from the listed size: that number is the server's, the memory ours.
    if (Status s = readMultiline(mail.raw, mailBound(n), kMaxMailBytes,
                                 progress != nullptr ? &progress->received : nullptr);
        !s)
        return s;
    std::size_t blank = mail.raw.starts_with("\r\n") ? 0 : mail.raw.find("\r\n\r\n");
    mail.headerLength = blank == std::string::npos ? mail.raw.size() : (blank == 0 ? 0 : blank + 2);
    return {};
}

Status Pop3Client::drainReadAhead() {
    while (!inFlight_.empty()) {
        int n = inFlight_.front();
        std::string ignored;
        if (Status s = readRetrResponse(n, nullptr, ignored); !s) return s;
        inFlight_.pop_front();
        inFlightBytes_ -= readAheadCost(n);
    }
    return {};
}

Status Pop3Client::fetch(int n, const Pop3Mail*& mail) {
    Status s = fetchMail(n, mail);
    if (!s && broken_)
        return Status::failure("POP3サーバーからメールを取得できません: " + s.message());
    return s;
}

Status Pop3Client::fetchMail(int n, const Pop3Mail*& mail) {
    if (Status s = checkUsable(); !s) return s;
    if (!loggedIn_) return Status::failure("POP3サーバーにログインしていません");
    if (n < 1 || n > count_)
        return Status::failure("メール番号 " + std::to_string(n) + " はありません");
    if (cachedNumber_ == n) {
        mail = &cached_;
        return {};
    }
    cachedNumber_ = 0;
    // Refused before asking: the connection stays usable for the other mails.
    if (listedTooLarge(n)) {
        return Status::failure("メール " + std::to_string(n) + " は大きすぎるため受信しません（" +
                               std::to_string(sizes_[n - 1]) + " バイト）");
    }

    std::string commands;
    if (std::find(inFlight_.begin(), inFlight_.end(), n) == inFlight_.end()) {
        // Asked out of order: finish what is under way and start again from n.
        if (Status s = drainReadAhead(); !s) return s;
        commands += "RETR " + std::to_string(n) + "\r\n";
        inFlight_.push_back(n);
        inFlightBytes_ += readAheadCost(n);
        nextAhead_ = n + 1;
    }
    if (pipelining_) {
        while (nextAhead_ <= count_) {
            if (listedTooLarge(nextAhead_)) {
                ++nextAhead_;  // never asked for, see above
                continue;
            }
            if (inFlightBytes_ + readAheadCost(nextAhead_) > tuning_.readAheadBytes) break;
            commands += "RETR " + std::to_string(nextAhead_) + "\r\n";
            inFlight_.push_back(nextAhead_);
            inFlightBytes_ += readAheadCost(nextAhead_);
            ++nextAhead_;
        }
    } else {
        nextAhead_ = n + 1;
    }
    if (!commands.empty()) {
        if (Status s = send(commands); !s) return s;
    }

    for (;;) {
        int front = inFlight_.front();
        std::string errorReply;
        bool wanted = front == n;
        if (Status s = readRetrResponse(front, wanted ? &cached_ : nullptr, errorReply); !s) {
            return s;
        }
        inFlight_.pop_front();
        inFlightBytes_ -= readAheadCost(front);
        if (!wanted) continue;
        if (!errorReply.empty()) {
            return serverError("POP3サーバーからメールを取得できません。", errorReply);
        }
        cachedNumber_ = n;
        mail = &cached_;
        return {};
    }
}

Status Pop3Client::markDeleted(int n) {
    if (Status s = checkUsable(); !s) return s;
    if (!loggedIn_) return Status::failure("POP3サーバーにログインしていません");
    if (n < 1 || n > count_)
        return Status::failure("メール番号 " + std::to_string(n) + " はありません");
    marked_[n - 1] = true;
    return {};
}

Status Pop3Client::quit() {
    if (Status s = checkUsable(); !s) {
        return Status::failure(s.message() + "（削除の印は反映されません）");
    }
    if (connection_->interrupted()) {
        if (!inFlight_.empty()) {
            return fail(
                Status::failure("受信を中止したため、先に頼んだメールを受け取らずに接続を切りました"
                                "（削除の印は反映されません）"));
        }
        connection_->setInterrupt(nullptr);
        endBy_ = NetConnection::Clock::now() + tuning_.goodbyeAfterStop;
    }
    if (Status s = drainReadAhead(); !s) return s;
    std::vector<std::string> commands;
    for (int n = 1; n <= count_; ++n) {
        if (marked_[n - 1]) commands.push_back("DELE " + std::to_string(n) + "\r\n");
    }
    commands.push_back("QUIT\r\n");

    Status firstProblem;
    auto readReply = [&](const std::string& command) -> Status {
        bool ok = false;
        std::string reply;
        if (Status s = readStatus(ok, reply); !s) return s;
        if (!ok && firstProblem.ok()) {
            std::string name = command.substr(0, command.size() - 2);
            firstProblem = serverError("POP3サーバーが " + name + " を断りました。", reply);
        }
        return {};
    };
    if (pipelining_) {
        std::string all;
        for (const std::string& c : commands) all += c;
        if (Status s = send(all); !s) return s;
        for (const std::string& c : commands) {
            if (Status s = readReply(c); !s) return s;
        }
    } else {
        for (const std::string& c : commands) {
            if (Status s = send(c); !s) return s;
            if (Status s = readReply(c); !s) return s;
        }
    }
    broken_ = true;  // the session is over
    return firstProblem;
}

}  // namespace tsubame
