#include "receive/mail_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <system_error>

#include "core/cp932.h"
#include "core/data_folder_lock.h"
#include "core/file_io.h"
#include "receive/receive_journal.h"
#include "settings/settings_files.h"
#include "store/received_mail_store.h"

namespace tsubame {
namespace {

using namespace mail_check_text;

// A folder of our own for the decoder when the attachment folder is missing, so that mails
// are still decoded and stored; removed with its content when the check ends.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::error_code error;
        std::string pattern =
            (std::filesystem::temp_directory_path(error) / "tsubame-attach-XXXXXX").string();
        if (!error && ::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

std::string libraryText(MailLibrary& mail) {
    std::string buffer;
    int size = MailLibrary::kHeaderBufferSize;
    mail.NMailGetMessage(0, buffer, size);
    return cp932ToUtf8(cutAtNul(buffer));
}

// The state of one check from the login to the close.
class CheckSession {
  public:
    CheckSession(MailLibrary& mail, const AppPaths& paths, ReceivedMailRecord& recordBuffer,
                 std::int16_t& currentRecord, MailCheckHost& host, int handle)
        : mail_(mail),
          paths_(paths),
          store_(paths.receivedStore(), paths.receivedTemp()),
          journal_(paths.receiveJournal()),
          recordBuffer_(recordBuffer),
          currentRecord_(currentRecord),
          host_(host),
          handle_(handle) {}

    // Takes in mails 1 … count; returns false when it had to stop early.
    bool takeAll(int count);
    // Flushes what was stored and closes the connection, which removes the marked mails.
    bool finish(bool loggedIn);

    int taken() const { return taken_; }
    int stored() const { return stored_; }
    bool stopped() const { return stopped_; }

  private:
    enum class Outcome { Stored, Failed };
    void prepareJournal();
    void prepareAttachmentFolder();
    Outcome takeMail(int n);
    Outcome storeFailed(const std::string& why);
    // known: the journal proves the downloaded mail already stored; it is then not decoded.
    bool fetchAndDecode(int n, MailIdentity& identity, bool& known, std::string& subject,
                        std::string& date, std::string& from, std::string& bodyText);

    MailLibrary& mail_;
    const AppPaths& paths_;
    ReceivedMailStore store_;
    ReceiveJournal journal_;
    ReceivedMailRecord& recordBuffer_;
    std::int16_t& currentRecord_;
    MailCheckHost& host_;
    int handle_;
    int taken_ = 0;
    int stored_ = 0;
    int marked_ = 0;  // mails marked for removal at the close
    bool stopped_ = false;
    bool journalWritten_ = false;
    // A mail is in the journal but was not marked (the check stopped on it): the journal must
    // outlive the close, or the next check would store that mail a second time.
    bool journaledButUnmarked_ = false;
    std::filesystem::path attachmentFolder_;
    std::unique_ptr<ScratchFolder> scratchFolder_;
};

void CheckSession::prepareJournal() {
    if (Status st = journal_.load(); !st) host_.notice(st.message(), kErrorTitle);
    if (!journal_.hasEntries()) return;
    // An interrupted check may have left half a record behind its last whole one; the next
    // append must not land behind that rest.
    const std::int64_t whole = store_.wholeRecords();
    const auto length = static_cast<std::int64_t>(whole * ReceivedMailRecord::kSize);
    std::error_code error;
    const auto size = std::filesystem::file_size(store_.path(), error);
    if (!error && static_cast<std::int64_t>(size) > length)
        std::filesystem::resize_file(store_.path(), static_cast<std::uintmax_t>(length), error);
}

void CheckSession::prepareAttachmentFolder() {
    attachmentFolder_ = paths_.attachmentFolder();
    std::error_code error;
    if (std::filesystem::is_directory(attachmentFolder_, error)) return;
    scratchFolder_ = std::make_unique<ScratchFolder>();
    attachmentFolder_ = scratchFolder_->path();
    host_.notice("添付フォルダ「" + paths_.attachmentFolder().string() +
                     "」がありません。メールは受信しますが、添付ファイルは保存されません。",
                 {});
}

bool CheckSession::takeAll(int count) {
    prepareJournal();
    prepareAttachmentFolder();
    host_.progress(0, count);
    for (int n = 1; n <= count; ++n) {
        if (host_.stopRequested()) {
            stopped_ = true;
            return true;
        }
        if (takeMail(n) == Outcome::Failed) return false;
        ++taken_;
        host_.progress(taken_, count);
    }
    return true;
}

bool CheckSession::fetchAndDecode(int n, MailIdentity& identity, bool& known, std::string& subject,
                                  std::string& date, std::string& from, std::string& bodyText) {
    std::string header, body;
    mail_.NMailPop3GetMailStatus(handle_, n, subject, date, from, header, 0);
    // The library sizes the body itself; a buffer made from the server's announced size would
    // let a wrong or hostile size (up to 2 GB) exhaust the memory. It is part of the identity.
    identity.size = mail_.NMailPop3GetMailSize(handle_, n);
    if (mail_.NMailPop3GetMail(handle_, n, subject, date, from, header, body, nullptr, nullptr) < 0)
        return false;
    // Servers reuse ids: only the content proves that a journaled mail is this one.
    identity.digest = mailDigest(header, body);
    known = journal_.takeStored(identity, store_);
    if (known) return true;

    const std::string rawBody(cutAtNul(body));
    const bool mentions = mentionsAttachment(rawBody);
    const std::string raw = buildRawMail(cutAtNul(header), rawBody);

    // The decoder is also given the raw text as a file beside the attachments.
    const std::filesystem::path scratch = attachmentFolder_ / "0.txt";
    if (!attachmentFolder_.empty()) {
        // A scratch file of the decoder: plain writes, no flush needed.
        std::ofstream out(scratch, std::ios::binary | std::ios::trunc);
        out.write(raw.data(), static_cast<std::streamsize>(raw.size()));
    }
    // Like every text given to the library, the paths are code page 932.
    const std::string folder = utf8ToCp932(attachmentFolder_.string() + "/");
    const std::string scratchName = utf8ToCp932(scratch.string());
    const int result = mail_.NMailAttachmentFileFirst(
        0, subject, date, from, header, body, folder.c_str(), scratchName.c_str(), raw.c_str(), 0);
    mail_.NMailAttachmentFileClose(0);
    if (result == MailLibrary::kAttachmentCannotOpen) host_.notice(kAttachmentCannotOpen, {});
    if (result == MailLibrary::kAttachmentPartsMissing) host_.notice(kAttachmentPartsMissing, {});
    std::error_code ignored;
    std::filesystem::remove(scratch, ignored);

    bodyText = cutAtNul(body);
    if (mentions) bodyText += "\r\n" + utf8ToCp932(kAttachmentNotice);
    return true;
}

CheckSession::Outcome CheckSession::takeMail(int n) {
    MailIdentity identity;
    identity.id = mail_.NMailPop3GetUidl(handle_, n);
    std::string subject, date, from, body;
    bool known = false;
    if (!fetchAndDecode(n, identity, known, subject, date, from, body)) {
        host_.notice(libraryText(mail_), kErrorTitle);
        return Outcome::Failed;
    }
    if (known) {
        // Stored by a check that was interrupted before the server removed it.
        mail_.NMailPop3DeleteMail(handle_, n);
        ++marked_;
        return Outcome::Stored;
    }
    subject = std::string(cutAtNul(subject));
    date = std::string(cutAtNul(date));
    from = std::string(cutAtNul(from));
    host_.stage({cp932ToUtf8(subject), cp932ToUtf8(from), cp932ToUtf8(date), cp932ToUtf8(body)});

    // No flush per mail: the writes land in this order, which a killed process cannot undo,
    // and finish() flushes the store and the journal once, before the server removes anything.
    recordBuffer_.fill(subject, date, from, body);
    const std::uint64_t checksum = recordChecksum(recordBuffer_);
    {
        Status st = journal_.notePending(identity, store_.count() + 1, checksum);
        journalWritten_ = true;
        if (!st) return storeFailed(st.message());
        journaledButUnmarked_ = true;
    }
    std::int64_t number = 0;
    if (Status st = store_.append(recordBuffer_, &number); !st) return storeFailed(st.message());
    currentRecord_ = static_cast<std::int16_t>(number);
    ++stored_;
    if (Status st = journal_.noteStored(identity, number, checksum); !st)
        return storeFailed(st.message());
    mail_.NMailPop3DeleteMail(handle_, n);
    ++marked_;
    journaledButUnmarked_ = false;
    return Outcome::Stored;
}

CheckSession::Outcome CheckSession::storeFailed(const std::string& why) {
    host_.notice(
        "受信したメールを保存できませんでした。このメールと、これより後のメールは"
        "サーバーに残してあります。\n" +
            why,
        kErrorTitle);
    return Outcome::Failed;
}

bool CheckSession::finish(bool loggedIn) {
    // The server removes the marked mails at the close: their records (also those an
    // interrupted check wrote and this one only marked) and the journal must be on the disk
    // first. Without both flushes the server keeps every mail: no close, no removal.
    Status st;
    if (stored_ > 0 || marked_ > 0) st = store_.sync();
    if (st) st = journal_.sync();
    if (!st) {
        // No QUIT, so the server removes nothing; the connection is not left open either.
        mail_.NMailPop3Abort(handle_);
        host_.notice(
            "受信したメールをディスクに書き込めませんでした。メールはサーバーに"
            "残してあります。\n" +
                st.message(),
            kErrorTitle);
        return false;
    }
    if (mail_.NMailPop3Close(handle_) < 0) {
        if (loggedIn && taken_ > 0) {
            host_.notice(libraryText(mail_), kErrorTitle);
            return false;
        }
        return true;
    }
    if (loggedIn && !journaledButUnmarked_ && (journalWritten_ || journal_.hasEntries()))
        journal_.clear();
    return true;
}

}  // namespace

MailCheck::MailCheck(MailLibrary& mail, const AppPaths& paths, AccountSettings& account,
                     ReceivedMailRecord& recordBuffer, std::int16_t& currentRecord,
                     MailCheckHost& host)
    : mail_(mail),
      paths_(paths),
      account_(account),
      recordBuffer_(recordBuffer),
      currentRecord_(currentRecord),
      host_(host) {}

MailCheckResult MailCheck::run() {
    MailCheckResult result;
    if (account_.Pop3Server.empty()) {
        result.completed = false;
        return result;
    }
    // The whole check, from the first look at the journal to the server's removal at the
    // close, is one operation on the store: no deletion and no second check in between.
    const DataFolderLock lock =
        DataFolderLock::acquire(paths_.dataFolderLock(), DataFolderLock::configuredWait());
    if (!lock) {
        host_.notice("メールを受信しませんでした。メールはサーバーに残っています。\n" +
                         lock.status().message(),
                     kErrorTitle);
        result.completed = false;
        result.busy = lock.busy();
        return result;
    }
    const int handle = mail_.NMailPop3Connect(utf8ToCp932(account_.Pop3Server).c_str());
    host_.checkStarted();
    if (handle == -1) {
        result.completed = false;
        return result;
    }

    // The login is read from the settings file at every check; the file wins over values
    // typed into the account dialog without saving.
    SettingsFiles settings(paths_);
    account_.UserId = settings.readLogin("NAME");
    account_.Password = settings.readLogin("NAME2");
    host_.loginRead(account_.UserId, account_.Password);

    CheckSession session(mail_, paths_, recordBuffer_, currentRecord_, host_, handle);
    if (account_.UserId.empty() || account_.Password.empty()) {
        host_.loginMissing();
        session.finish(false);
        result.completed = false;
        return result;
    }

    const int count = mail_.NMailPop3Authenticate(handle, utf8ToCp932(account_.UserId).c_str(),
                                                  utf8ToCp932(account_.Password).c_str(),
                                                  account_.UseApop != 0 ? -1 : 0);
    result.count = count;
    if (count < 0) {
        host_.notice(libraryText(mail_), kErrorTitle);
        session.finish(false);
        result.completed = false;
        return result;
    }
    const bool tookAll = count == 0 || session.takeAll(count);
    const bool closed = session.finish(true);
    result.stored = session.stored();
    result.completed = tookAll && closed;
    result.stopped = session.stopped();
    if (!tookAll || result.stopped) result.count = session.taken();
    return result;
}

std::string buildRawMail(std::string_view header, std::string_view body) {
    std::string raw;
    raw.reserve(header.size() + body.size() + 8);
    auto addLine = [&raw](std::string_view line) {
        for (std::size_t i = 0; i < line.size(); ++i) {
            raw += line[i];
            if (line[i] == '\r' && (i + 1 >= line.size() || line[i + 1] != '\n')) raw += '\n';
        }
        raw += "\r\n";
    };
    addLine(header);
    addLine(body);
    return raw;
}

bool mentionsAttachment(std::string_view body) {
    return body.find("attachment") != std::string_view::npos;
}

}  // namespace tsubame
