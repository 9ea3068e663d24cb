#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/app_paths.h"
#include "maillib/mail_library.h"
#include "settings/account_settings.h"
#include "store/received_mail_record.h"

namespace tsubame {

// One fetched and decoded mail as its record holds it (code page 932). Only the last one of a
// check reaches the viewer's boxes, so it is converted for them only then.
struct StagedMail {
    std::string subject;
    std::string from;
    std::string date;
    std::string body;
};

// What the check needs from the windows around it. Every text but the staged mail's is UTF-8.
// Every call comes from the thread that runs the check, but for stopRequested.
class MailCheckHost {
  public:
    virtual ~MailCheckHost() = default;
    // The check has begun talking to the server (the main window's help line).
    virtual void checkStarted() = 0;
    // The login saved in the settings file; the account dialog's boxes take it.
    virtual void loginRead(const std::string& id, const std::string& password) = 0;
    // The saved login is incomplete: the user has to enter it.
    virtual void loginMissing() = 0;
    // A message box with an OK button; an empty title shows the application's title.
    virtual void notice(const std::string& text, const std::string& title) = 0;
    // A TLS problem the user may settle: text says what failed, advice what setting to
    // change. The windows ask (and settle it on Yes); by default it is told like a notice.
    virtual void tlsProblem(const MailLibrary::TlsProblem& problem, const std::string& text,
                            const std::string& advice);
    // The mail about to be stored (the viewer's staging area).
    virtual void stage(const StagedMail& mail) = 0;
    // done of total mails are taken in (0 of total when the fetching begins).
    virtual void progress(int /*done*/, int /*total*/) {}
    // Inside the download of a mail over a megabyte: received of its listed bytes (listed 0:
    // not known) have come, done of total mails are taken in. The next progress() ends it.
    virtual void downloading(int /*done*/, int /*total*/, std::int64_t /*received*/,
                             std::int64_t /*listed*/) {}
    // Asked before each mail, after each decoding and while the stages wait for each other
    // (also on the dialogue's and the decoders' threads: it must answer on any thread) and
    // after a failed wait for the server: true ends the check
    // (the owner also interrupts the library's waits); the mails taken in are removed from
    // the server at the close or by the next check, the others stay there.
    virtual bool stopRequested() { return false; }
};

struct MailCheckResult {
    // The new-mail count: the login result (negative when the login was refused), or the
    // number of mails taken in when the check stopped early.
    int count = 0;
    // False when the check could not do its work: no server, no connection, no login,
    // refused login, a mail left on the server, a store that could not take a mail, a
    // failed close.
    bool completed = true;
    int stored = 0;        // records appended by this check
    bool stopped = false;  // the user stopped the check before its last mail
    // Another writer kept the data folder locked (the check did nothing, not even connect),
    // or the server's mailbox was in use: a later check may succeed.
    bool busy = false;
    int kept = 0;  // mails left on the server because they could not be fetched or saved
    int left = 0;  // stopped: the mails of the login's count not taken in (still on the server)
};

// The texts of the check that the user sees.
namespace mail_check_text {
inline constexpr const char* kChecking = "メールのチェックをしています。";
inline constexpr const char* kErrorTitle = "エラー";
inline constexpr const char* kAttachmentCannotOpen = "添付ファイルをオープンできません";
inline constexpr const char* kAttachmentPartsMissing = "分割されたメールが全て揃っていません";
inline constexpr const char* kAttachmentNotice =
    "♪♪♪　添付ファイルがありましので、添付フォルダに展開しました。♪♪♪";
}  // namespace mail_check_text

// Downloads every waiting mail into the received store and removes it from the server.
// A mail is stored as soon as it and every mail before it are decoded, while later ones still
// download. A mail is marked for removal only after its record is written and every
// attachment of it is saved (its files take their names only with its record); a mail that cannot
// be fetched, decoded or saved stays on the server, the check goes on with the next one and tells
// at the end which stayed and why. Only a broken connection or a store that cannot take a record
// ends the check early. The store (and, for servers with unique ids, the receive journal) is
// flushed before the connection is closed, which is when the server removes the marked mails.
class MailCheck {
  public:
    MailCheck(MailLibrary& mail, const AppPaths& paths, AccountSettings& account,
              ReceivedMailRecord& recordBuffer, std::int16_t& currentRecord, MailCheckHost& host);

    MailCheckResult run();

  private:
    // Tells the library's TLS problem of the last failure, if any, with why; false: none.
    bool tellTlsProblem(const std::string& why);

    MailLibrary& mail_;
    const AppPaths& paths_;
    AccountSettings& account_;
    ReceivedMailRecord& recordBuffer_;
    std::int16_t& currentRecord_;
    MailCheckHost& host_;
};

// The raw mail text given to the decoder: the header and the body as two lines, each ended by
// CR LF, where a lone CR also ends a line (so it becomes CR LF) and a lone LF stays. Every
// byte is kept, NUL included.
std::string buildRawMail(std::string_view header, std::string_view body);
// The same text handed to take piece by piece, for writing it out without holding it whole.
void forEachRawMailPiece(std::string_view header, std::string_view body,
                         const std::function<void(std::string_view)>& take);

}  // namespace tsubame
