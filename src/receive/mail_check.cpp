#include "receive/mail_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "core/attachment_files.h"
#include "core/cp932.h"
#include "core/data_folder_lock.h"
#include "core/file_io.h"
#include "receive/check_leftovers.h"
#include "receive/decoder_threads.h"
#include "receive/kept_originals.h"
#include "receive/original_mail.h"
#include "receive/receive_journal.h"
#include "receive/scratch_mail_file.h"
#include "settings/server_settings.h"
#include "settings/settings_files.h"
#include "settings/trusted_certificates.h"
#include "store/received_mail_store.h"

namespace tsubame {
namespace {

using namespace mail_check_text;

// Mails from this size on are decoded from a scratch file, smaller ones from memory.
constexpr std::size_t kScratchFileFrom = std::size_t{1} << 20;
// A mail's download is shown in bytes from this size on, at most this often.
constexpr std::int64_t kMegabyte = std::int64_t{1} << 20;
constexpr auto kDownloadShownEvery = std::chrono::milliseconds(100);
// Mails downloaded ahead of the one being stored, when decoders take them.
constexpr std::size_t kDecodedAhead = 4;

std::string libraryText(MailLibrary& mail) {
    std::string buffer;
    int size = MailLibrary::kHeaderBufferSize;
    mail.NMailGetMessage(0, buffer, size);
    return cp932ToUtf8(cutAtNul(buffer));
}

// A decoded text for a fixed field of the store, whose readers stop at the first NUL.
std::string withoutNul(std::string text) {
    std::erase(text, '\0');
    return text;
}

// The record keeps the first bytes of the body after its leading blanks; a body longer than
// that is cut after them (on a character boundary, with one more character where it fits),
// so the record comes out the same and the rest is neither converted nor shown.
void keepWhatTheRecordHolds(std::string& body) {
    const std::size_t blanks = std::min(body.find_first_not_of(' '), body.size());
    const std::size_t needed = blanks + ReceivedMailRecord::kBodyWidth + 1;
    if (body.size() > needed) {
        body.resize(cp932SafeCut(body, needed));
        body.shrink_to_fit();
    }
}

// One mail as the check takes it in: decoded texts (code page 932) and the attachment files
// written for it (in the check's staging folder until the mail is stored).
struct TakenMail {
    std::string subject;
    std::string date;
    std::string from;
    std::string body;
    std::vector<std::filesystem::path> attachments;
    // The texts in UTF-8 as the decoding gave them, and the kept original among the
    // attachments (attachments.size() when none was kept).
    DecodeDetails utf8;
    std::size_t keptAt = 0;
};

enum class Fetch { Ready, Kept, ConnectionLost };

// One mail from its download to its record.
struct MailUnderWay {
    int n = 0;
    MailIdentity identity;
    // The journal proves the downloaded mail already stored (its record's checksum); it is
    // then not decoded.
    std::optional<RecordChecksum> known;
    Fetch fetch = Fetch::Ready;
    TakenMail mail;
    std::string why;  // Kept and ConnectionLost: for the user
    bool partsMissing = false;
    // The decoding ended before a stop was asked for: the mail is stored even after a stop.
    bool decodedBeforeStop = false;
    std::string header;  // the header buffer's text
    // Decoded beside the dialogue: its own copy of the download (the library's view moves on
    // with the next mail), and the decoding's end.
    std::string rawHeader, body;
    std::future<void> decoded;
    // Set by the decoder under the hand-over's lock as its last step: the future is ready only
    // a moment after the waiting thread was woken.
    bool finished = false;
    bool decodedNow() const {
        return !decoded.valid() || finished ||
               decoded.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }
};

void unlinkAll(std::vector<std::filesystem::path>& files) {
    for (const auto& file : files) ::unlink(file.c_str());
    files.clear();
}

// Decodes a downloaded mail into mail (texts in code page 932, attachment files written into
// staging): Ready, or Kept with why. Runs on the dialogue's thread or on a decoder's.
Fetch decodeMail(MailLibrary& library, const std::filesystem::path& folder,
                 const std::filesystem::path& staging, std::string_view rawHeader,
                 std::string_view body, std::string header, TakenMail& mail, std::string& why,
                 bool& partsMissing) {
    // The whole mail goes on with its length: a NUL byte in it must not cut off the rest. It
    // carries the whole header, so that MIME fields beyond the header buffer's limit count.
    std::string decodedBody;
    OriginalMail original{rawHeader, body};
    DecodeDetails& details = mail.utf8;
    int result = 0;
    {
        // Making the scratch file costs about a millisecond (a new file in the folder), more
        // than a small mail's whole check: only a mail whose second copy in memory would
        // weigh goes through one.
        std::optional<ScratchMailFile> scratch;
        if (rawHeader.size() + body.size() >= kScratchFileFrom) {
            scratch.emplace(folder);
            forEachRawMailPiece(rawHeader, body,
                                [&scratch](std::string_view piece) { scratch->append(piece); });
        }
        std::string inMemory;
        std::string_view raw = scratch ? scratch->mapped() : std::string_view();
        if (raw.empty()) {
            inMemory = buildRawMail(rawHeader, body);
            raw = inMemory;
        }
        result = library.NMailAttachmentFileFirstBodyStart(
            mail.subject, mail.date, mail.from, header, decodedBody, staging, raw, mail.attachments,
            ReceivedMailRecord::kBodyWidth + 1, &details);
        library.NMailAttachmentFileClose(0);
    }
    original.lossy = details.lossy;
    if (result == MailLibrary::kAttachmentPartsMissing) {
        // Stored as far as it goes: the missing parts would never come with it.
        partsMissing = true;
    } else if (result < 0) {
        why = libraryText(library);
        if (result == MailLibrary::kAttachmentCannotOpen)
            why = std::string(kAttachmentCannotOpen) + (why.empty() ? "" : "（" + why + "）");
        unlinkAll(mail.attachments);
        return Fetch::Kept;
    }

    // The notice tells of files the mail brought, whatever its parts are called; the kept
    // original added below has a notice of its own. A library with only the text call
    // reports saved files by its result alone.
    const bool filesSaved = result > 0 || !mail.attachments.empty();
    mail.subject = withoutNul(std::move(mail.subject));
    mail.date = withoutNul(std::move(mail.date));
    mail.from = withoutNul(std::move(mail.from));
    mail.body = withoutNul(std::move(decodedBody));
    original.split = result == MailLibrary::kAttachmentPartsMissing;
    const std::size_t reserved = filesSaved ? 2 + utf8ToCp932(kAttachmentNotice).size() : 0;
    // The kept file is named with the subject's own characters, as attachments are.
    const std::string title =
        details.subject.empty() ? cp932ToUtf8(mail.subject) : withoutNul(details.subject);
    mail.keptAt = mail.attachments.size();
    if (!keepOriginalWhenTheRecordCannot(staging, original, title, reserved, mail.body,
                                         mail.attachments, why)) {
        unlinkAll(mail.attachments);
        return Fetch::Kept;
    }
    keepWhatTheRecordHolds(mail.body);
    if (filesSaved) mail.body += "\r\n" + utf8ToCp932(kAttachmentNotice);
    return Fetch::Ready;
}

// The state of one check from the login to the close.
//
// Two stages hand the mails on in the server's order: the dialogue (its own thread, the only
// one that talks to the server while the mails come) downloads each mail and has it decoded,
// beside it by the decoders or, for a large mail or a library that decodes one call at a
// time, where the download lies; the check's own thread stores each mail as soon as it and
// every mail before it are decoded, whatever the download of a later one is doing, and is the
// only one that calls the host (but for stopRequested). The dialogue marks the stored mails
// for removal between its downloads; the check's thread marks the rest once the dialogue has
// ended, before the close.
class CheckSession {
  public:
    CheckSession(MailLibrary& mail, const AppPaths& paths, ReceivedMailRecord& recordBuffer,
                 std::int16_t& currentRecord, MailCheckHost& host, int handle)
        : mail_(mail),
          paths_(paths),
          store_(paths.receivedStore(), paths.receivedTemp()),
          appender_(store_),
          journal_(paths.receiveJournal()),
          recordBuffer_(recordBuffer),
          currentRecord_(currentRecord),
          host_(host),
          handle_(handle) {}
    // The library keeps no pointer to this session's counter once the session is gone, also
    // when a step threw before the close.
    ~CheckSession() { mail_.NMailPop3WatchDownload(handle_, nullptr); }

    // Takes in mails 1 … count; returns false when it had to stop early.
    bool takeAll(int count);
    // Flushes what was stored and closes the connection, which removes the marked mails.
    bool finish(bool loggedIn);

    int taken() const { return taken_; }
    int stored() const { return stored_; }
    bool stopped() const { return stopped_; }
    int kept() const { return static_cast<int>(kept_.size()); }

  private:
    // Kept: this mail stays on the server and the check goes on with the next one.
    enum class Outcome { Stored, Kept, Failed };
    using Mails = std::deque<std::unique_ptr<MailUnderWay>>;
    bool prepareJournal();
    std::filesystem::path attachmentFolder();
    // The dialogue's stage: downloads mails 1 … count, at most ahead of them not yet stored.
    void download(int count, std::size_t ahead);
    void downloadAll(int count, std::size_t ahead);
    // Downloads mail n and starts its decoding (beside the dialogue when the library allows).
    std::unique_ptr<MailUnderWay> start(int n);
    // Sends the removal marks of the mails stored so far; only on the thread that has the
    // connection.
    void markStored();
    // The oldest mail handed over once it is decoded; nothing when the downloads have ended
    // and every mail is taken, or when a stop came (stopNow then tells).
    std::unique_ptr<MailUnderWay> nextDecoded(bool& stopNow);
    // Waits for the mail's decoding and stores it: mails are stored in their order.
    // despiteStop: the mail was decoded before the stop was asked for.
    Outcome store(MailUnderWay& mail, bool despiteStop = false);
    // Links the record in the buffer to the mail's kept original (placed under file), with
    // its texts as the viewer shows them.
    void linkKeptOriginal(const TakenMail& mail, const std::filesystem::path& file);
    // The mail's files take their names: each staged file is linked under its name, noted in
    // the journal first. placed gets the names; false (with why) when one could not be made.
    bool placeFiles(TakenMail& mail, std::vector<std::filesystem::path>& placed, std::string& why);
    // Removes what the decoding of a mail that will not be stored wrote.
    static void discard(MailUnderWay& mail);
    // The host hears done of count_ mails taken in.
    void progress(int done);
    // The bytes of a large mail under way, when they changed enough since last told; only on
    // the check's thread.
    void reportDownload();
    Outcome storeFailed(const std::string& why, TakenMail& mail,
                        std::vector<std::filesystem::path>& placed);
    void noteKept(int n, const std::string& subject, const std::string& why);
    void reportKept();

    MailLibrary& mail_;
    const AppPaths& paths_;
    ReceivedMailStore store_;
    // The records go through one open descriptor: the data folder's lock keeps a compaction
    // from putting a new file in the store's place during the check.
    ReceivedMailAppender appender_;
    ReceiveJournal journal_;
    // The journal and the store: the dialogue asks them about interrupted checks while the
    // check's thread writes.
    std::mutex journalMutex_;
    ReceivedMailRecord& recordBuffer_;
    std::int16_t& currentRecord_;
    MailCheckHost& host_;
    int handle_;
    int taken_ = 0;
    int stored_ = 0;
    int marked_ = 0;  // mails marked for removal at the close
    bool stopped_ = false;
    bool journalWritten_ = false;
    // Mails this check put in the journal: when not all of them were marked (the check
    // stopped on one), the journal must outlive the close, or the next check would store such
    // a mail a second time.
    int journaled_ = 0;
    std::vector<std::string> kept_;           // one line per mail left on the server, for the user
    std::optional<DecoderThreads> decoders_;  // when the library decodes beside the dialogue
    // Where the decoders write a mail's files until its record is stored (empty: straight into
    // the attachment folder, when it could not be made).
    std::filesystem::path staging_;

    // The dialogue's download under way, as the library tells it, and what the host last
    // heard of it.
    DownloadProgress download_;
    int count_ = 0;
    int done_ = 0;
    int shownMail_ = 0;
    std::int64_t shownTenths_ = -1;
    std::chrono::steady_clock::time_point shownAt_;

    // The hand-over between the stages.
    std::mutex handOver_;
    std::condition_variable changed_;
    Mails ready_;               // downloaded, in order, not yet taken by the store
    std::size_t unstored_ = 0;  // handed over and not yet through the store
    std::vector<int> toMark_;   // stored and not yet marked
    bool downloadsEnded_ = false;
    bool storeEnded_ = false;     // the dialogue downloads no more
    std::exception_ptr failure_;  // what the dialogue threw
};

// How often a wait between the stages looks at the stop (the owner ends the library's waits
// at once; these are the check's own).
constexpr auto kStopPoll = std::chrono::milliseconds(10);

bool CheckSession::prepareJournal() {
    // Without a store to take the mails, or without the journal's word on what an interrupted
    // check stored (any mail could then be stored twice), nothing is taken in.
    Status st = store_.createIfMissing();
    if (st) st = journal_.load();
    if (!st) {
        host_.notice(
            "メールを受信しませんでした。メールはサーバーに残っています。\n" + st.message(),
            kErrorTitle);
        return false;
    }
    if (!journal_.hasEntries()) return true;
    // An interrupted check may have left half a record behind its last whole one; the next
    // append must not land behind that rest.
    const std::int64_t whole = store_.wholeRecords();
    const auto length = static_cast<std::int64_t>(whole * ReceivedMailRecord::kSize);
    std::error_code error;
    const auto size = std::filesystem::file_size(store_.path(), error);
    if (!error && static_cast<std::int64_t>(size) > length)
        std::filesystem::resize_file(store_.path(), static_cast<std::uintmax_t>(length), error);
    return true;
}

std::filesystem::path CheckSession::attachmentFolder() {
    // A folder removed (or never made) is made again here, so that the attachments always
    // land in the application folder. Failing that, a mail with attachments stays on the
    // server with the decoder's reason.
    const std::filesystem::path folder = paths_.attachmentFolder();
    std::error_code ignored;
    if (!std::filesystem::is_directory(folder, ignored))
        std::filesystem::create_directory(folder, ignored);
    if (!staging_.empty() && !std::filesystem::is_directory(staging_, ignored))
        ::mkdir(staging_.c_str(), 0700);
    return folder;
}

bool CheckSession::takeAll(int count) {
    if (!prepareJournal()) return false;
    count_ = count;
    progress(0);
    mail_.NMailPop3WatchDownload(handle_, &download_);
    // A decoded mail's files wait under a name of this process until its record is stored:
    // a killed check leaves nothing that the next one would save a second time.
    staging_ = paths_.attachmentFolder() / temporaryAttachmentName();
    attachmentFolder();
    if (!std::filesystem::is_directory(staging_)) staging_.clear();
    // With decoders, the next mails download while the first ones decode; without, each mail
    // is stored and marked before the next one is asked for.
    if (count > 1 && mail_.decodesBesideOtherCalls())
        decoders_.emplace(DecoderThreads::usefulCount());
    const std::size_t ahead = decoders_ ? kDecodedAhead : 1;
    // Mails downloaded but not stored stay on the server, without their files; their decoders
    // are waited for also when a step throws, since they write into these mails.
    struct DiscardLeftOver {
        CheckSession& session;
        ~DiscardLeftOver() {
            for (const auto& mail : session.ready_) discard(*mail);
            session.ready_.clear();
            if (!session.staging_.empty()) ::rmdir(session.staging_.c_str());
        }
    } leftOver{*this};
    // The dialogue ends before anything else goes, also when a step throws.
    struct Dialogue {
        CheckSession& session;
        std::thread thread;
        ~Dialogue() {
            {
                std::lock_guard lock(session.handOver_);
                session.storeEnded_ = true;
            }
            session.changed_.notify_all();
            if (thread.joinable()) thread.join();
        }
    } dialogue{*this, {}};
    try {
        dialogue.thread = std::thread([this, count, ahead] { download(count, ahead); });
    } catch (const std::system_error& error) {
        host_.notice("メールを受信しませんでした。メールはサーバーに残っています。\n" +
                         std::string(error.what()),
                     kErrorTitle);
        return false;
    }

    bool whole = true;
    for (bool stopNow = false; whole && !stopNow;) {
        const std::unique_ptr<MailUnderWay> mail = nextDecoded(stopNow);
        if (stopNow) {
            // What was decoded before the stop is stored (the next check removes it from the
            // server); the rest stays there.
            stopped_ = true;
            std::unique_lock lock(handOver_);
            while (whole && !ready_.empty() && ready_.front()->decodedNow() &&
                   ready_.front()->decodedBeforeStop) {
                const std::unique_ptr<MailUnderWay> before = std::move(ready_.front());
                ready_.pop_front();
                lock.unlock();
                const Outcome outcome = store(*before, true);
                if (outcome == Outcome::Stored) ++taken_;
                whole = outcome != Outcome::Failed;
                progress(before->n);
                lock.lock();
                if (outcome == Outcome::Stored) toMark_.push_back(before->n);
            }
            break;
        }
        if (!mail) break;
        const Outcome outcome = store(*mail);
        if (outcome == Outcome::Stored) ++taken_;
        whole = outcome != Outcome::Failed;
        // A stop ends the wait for the server at once: the mail under way is dropped.
        if (!whole && host_.stopRequested()) stopped_ = true;
        progress(mail->n);
        {
            std::lock_guard lock(handOver_);
            --unstored_;
            if (outcome == Outcome::Stored) toMark_.push_back(mail->n);
        }
        changed_.notify_all();
    }
    {
        std::lock_guard lock(handOver_);
        storeEnded_ = true;
    }
    changed_.notify_all();
    if (dialogue.thread.joinable()) dialogue.thread.join();
    // The connection is this thread's again: the last marks go out before the close.
    markStored();
    reportKept();
    return whole;
}

void CheckSession::download(int count, std::size_t ahead) {
    try {
        downloadAll(count, ahead);
    } catch (...) {
        // Rethrown on the check's thread, as when the steps ran there.
        std::lock_guard lock(handOver_);
        failure_ = std::current_exception();
    }
    {
        std::lock_guard lock(handOver_);
        downloadsEnded_ = true;
    }
    changed_.notify_all();
}

void CheckSession::downloadAll(int count, std::size_t ahead) {
    for (int next = 1; next <= count; ++next) {
        {
            std::unique_lock lock(handOver_);
            while (!storeEnded_ && unstored_ >= ahead && !host_.stopRequested())
                changed_.wait_for(lock, kStopPoll);
            if (storeEnded_ || host_.stopRequested()) break;
        }
        markStored();
        std::unique_ptr<MailUnderWay> mail = start(next);
        // Nothing more comes over a lost connection (told by the download itself, before any
        // decoder has the mail).
        const bool lost = !mail->decoded.valid() && mail->fetch == Fetch::ConnectionLost;
        {
            std::lock_guard lock(handOver_);
            ready_.push_back(std::move(mail));
            ++unstored_;
        }
        changed_.notify_all();
        if (lost) break;
    }
}

void CheckSession::progress(int done) {
    done_ = done;
    shownMail_ = 0;  // a mail still under way is told again at once
    host_.progress(done, count_);
}

void CheckSession::reportDownload() {
    const int n = download_.mailNo.load();
    if (n == 0) return;
    const std::int64_t listed = download_.listed.load();
    const std::int64_t received = download_.received.load();
    if (download_.mailNo.load() != n || std::max(listed, received) <= kMegabyte) return;
    const auto now = std::chrono::steady_clock::now();
    const std::int64_t tenths = received * 10 / kMegabyte;
    if (n == shownMail_ && (tenths == shownTenths_ || now - shownAt_ < kDownloadShownEvery)) return;
    shownMail_ = n;
    shownTenths_ = tenths;
    shownAt_ = now;
    host_.downloading(done_, count_, received, listed);
}

void CheckSession::markStored() {
    std::vector<int> stored;
    {
        std::lock_guard lock(handOver_);
        stored.swap(toMark_);
    }
    for (int n : stored) {
        mail_.NMailPop3DeleteMail(handle_, n);
        ++marked_;
    }
}

std::unique_ptr<MailUnderWay> CheckSession::nextDecoded(bool& stopNow) {
    std::unique_lock lock(handOver_);
    for (;;) {
        if (host_.stopRequested()) {
            stopNow = true;
            return nullptr;
        }
        if (!ready_.empty() && ready_.front()->decodedNow()) {
            std::unique_ptr<MailUnderWay> mail = std::move(ready_.front());
            ready_.pop_front();
            return mail;
        }
        if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
        if (ready_.empty() && downloadsEnded_) return nullptr;
        changed_.wait_for(lock, kStopPoll);
        // Told outside the lock; the conditions are looked at again after it.
        lock.unlock();
        reportDownload();
        lock.lock();
    }
}

std::unique_ptr<MailUnderWay> CheckSession::start(int n) {
    auto under = std::make_unique<MailUnderWay>();
    MailUnderWay& m = *under;
    m.n = n;
    m.identity.id = mail_.NMailPop3GetUidl(handle_, n);
    // No status call first: the view call downloads the mail and fills the header, and the
    // decoding fills subject, date and sender; decoding them twice cost a tenth of a small
    // mail's time.
    // The library sizes the body itself; a buffer made from the server's announced size would
    // let a wrong or hostile size (up to 2 GB) exhaust the memory. It is part of the identity.
    m.identity.size = mail_.NMailPop3GetMailSize(handle_, n);
    // The downloaded mail is only looked at, not copied, unless a decoder takes it: it can be
    // as large as the server allows, and every copy would add its size to the memory.
    std::string_view rawHeader, body;
    const int fetched = mail_.NMailPop3GetMailView(handle_, n, m.mail.subject, m.mail.date,
                                                   m.mail.from, m.header, rawHeader, body);
    if (fetched == MailLibrary::kConnectionLost) {
        m.why = libraryText(mail_);
        m.fetch = Fetch::ConnectionLost;
        return under;
    }
    if (fetched < 0) {
        m.why = libraryText(mail_);
        m.fetch = Fetch::Kept;
        return under;
    }
    // Servers reuse ids: only the content proves that a journaled mail is this one.
    const std::filesystem::path folder = attachmentFolder();
    const std::filesystem::path staging = staging_.empty() ? folder : staging_;
    const bool decodeHere = !decoders_ || rawHeader.size() + body.size() >= kScratchFileFrom;
    // Without an interrupted check's entries no mail is known: the digest (for this check's
    // lines) is then taken by the decoder.
    bool interrupted = false;
    {
        std::lock_guard lock(journalMutex_);
        interrupted = journal_.hasEntries();
    }
    if (decodeHere || interrupted) {
        m.identity.digest = mailDigest(m.header, body);
        std::lock_guard lock(journalMutex_);
        if (RecordChecksum checksum; journal_.takeStored(m.identity, store_, &checksum)) {
            m.known = checksum;
            return under;
        }
    }
    if (decodeHere) {
        m.fetch = decodeMail(mail_, folder, staging, rawHeader, body, m.header, m.mail, m.why,
                             m.partsMissing);
        m.decodedBeforeStop = !host_.stopRequested();
        return under;
    }
    m.rawHeader.assign(rawHeader);
    m.body.assign(body);
    m.decoded = decoders_->run([this, &m, folder, staging] {
        if (m.identity.digest.empty()) m.identity.digest = mailDigest(m.header, m.body);
        m.fetch = decodeMail(mail_, folder, staging, m.rawHeader, m.body, m.header, m.mail, m.why,
                             m.partsMissing);
        m.decodedBeforeStop = !host_.stopRequested();
        {
            std::lock_guard lock(handOver_);
            m.finished = true;
        }
        changed_.notify_all();
    });
    return under;
}

void CheckSession::discard(MailUnderWay& mail) {
    if (mail.decoded.valid()) mail.decoded.wait();
    unlinkAll(mail.mail.attachments);
}

bool CheckSession::placeFiles(TakenMail& mail, std::vector<std::filesystem::path>& placed,
                              std::string& why) {
    if (staging_.empty() || mail.attachments.empty()) {
        placed = std::exchange(mail.attachments, {});
        return true;
    }
    // Noted before the names are made: a check killed in between leaves the journal's word
    // on them, and the next one removes the names again when the record never came.
    for (const auto& file : mail.attachments) {
        if (Status st =
                journal_.noteFile(staging_.filename().string() + "/" + file.filename().string());
            !st) {
            why = st.message();
            return false;
        }
    }
    journalWritten_ = true;
    const std::filesystem::path folder = paths_.attachmentFolder();
    for (const auto& file : mail.attachments) {
        std::string error;
        const std::filesystem::path name =
            linkUnderFreeName(folder, file.filename().string(), file, error);
        if (name.empty()) {
            why = cp932ToUtf8(error);
            return false;
        }
        // A file of that name came first: the kept mail's notice names the one it got.
        if (name.filename() != file.filename())
            renameOriginalMailInBody(mail.body, file.filename().string(), name.filename().string());
        placed.push_back(name);
    }
    return true;
}

CheckSession::Outcome CheckSession::store(MailUnderWay& under, bool despiteStop) {
    if (under.decoded.valid()) under.decoded.get();
    const MailIdentity& identity = under.identity;
    const std::optional<RecordChecksum>& known = under.known;
    TakenMail& mail = under.mail;
    switch (under.fetch) {
        case Fetch::ConnectionLost:
            if (!host_.stopRequested()) host_.notice(under.why, kErrorTitle);
            return Outcome::Failed;
        case Fetch::Kept:
            noteKept(under.n, mail.subject, under.why);
            return Outcome::Kept;
        case Fetch::Ready:
            break;
    }
    if (under.partsMissing) host_.notice(kAttachmentPartsMissing, {});
    // A stop that came while the mail was decoded keeps it on the server, with nothing of it
    // left in the attachment folder: the user asked for no more mail.
    if (!despiteStop && host_.stopRequested()) {
        unlinkAll(mail.attachments);
        stopped_ = true;
        return Outcome::Failed;
    }
    std::lock_guard lock(journalMutex_);
    if (known) {
        // Stored by a check that was interrupted before the server removed it. Noted again in
        // this check's lines, which the store's flush confirms before the close.
        journal_.noteStored(identity, *known);
        journalWritten_ = true;
        ++journaled_;
        return Outcome::Stored;
    }
    std::vector<std::filesystem::path> placed;
    if (std::string why; !placeFiles(mail, placed, why)) return storeFailed(why, mail, placed);
    const std::string& subject = mail.subject;
    const std::string& date = mail.date;
    const std::string& from = mail.from;
    const std::string& body = mail.body;
    host_.stage({subject, from, date, body});

    // No flush per mail: the writes land in this order, which a killed process cannot undo,
    // and finish() flushes the store and the journal once, before the server removes anything.
    recordBuffer_.fill(subject, date, from, body);
    const std::uint64_t checksum = recordChecksum(recordBuffer_);
    if (mail.keptAt < placed.size()) linkKeptOriginal(mail, placed[mail.keptAt]);
    {
        Status st = journal_.notePending(identity, checksum);
        journalWritten_ = true;
        if (!st) return storeFailed(st.message(), mail, placed);
        ++journaled_;
    }
    std::int64_t number = 0;
    if (Status st = appender_.append(recordBuffer_, &number); !st)
        return storeFailed(st.message(), mail, placed);
    currentRecord_ = static_cast<std::int16_t>(number);
    ++stored_;
    // The record stands: the files keep their names whatever comes after.
    unlinkAll(mail.attachments);
    placed.clear();
    if (Status st = journal_.noteStored(identity, checksum); !st)
        return storeFailed(st.message(), mail, placed);
    return Outcome::Stored;
}

void CheckSession::linkKeptOriginal(const TakenMail& mail, const std::filesystem::path& file) {
    const ReceivedMailRecord& record = recordBuffer_;
    const DecodeDetails& utf8 = mail.utf8;
    KeptOriginal kept{file.filename().string(),
                      restoreLostCharacters(record.subject(), withoutNul(utf8.subject)),
                      restoreLostCharacters(record.from(), withoutNul(utf8.from)),
                      restoreLostCharacters(record.date(), withoutNul(utf8.date)),
                      restoreLostCharacters(record.body(), utf8.body)};
    // The notice names the file with the characters code page 932 lacks.
    const std::string notice = originalMailNotice(kept.file);
    const std::string recorded = cp932ToUtf8(utf8ToCp932(notice));
    if (const std::size_t at = kept.body.rfind(recorded); at != std::string::npos)
        kept.body.replace(at, recorded.size(), notice);
    // Before the record, so that no record is without it; one that stays without its record
    // is never found. A failure leaves the record shown as it is, which says all the record
    // holds: the mail is stored all the same.
    writeKeptOriginal(paths_.keptOriginals(), record, kept);
}

void CheckSession::noteKept(int n, const std::string& subject, const std::string& why) {
    const std::string name(cutAtNul(subject));
    std::string line = "メール " + std::to_string(n);
    if (!name.empty()) line += "「" + cp932ToUtf8(name) + "」";
    line += ": " + (why.empty() ? std::string("原因は分かりません") : why);
    std::replace(line.begin(), line.end(), '\n', ' ');
    kept_.push_back(std::move(line));
}

void CheckSession::reportKept() {
    if (kept_.empty()) return;
    constexpr std::size_t kShown = 20;
    std::string text = std::to_string(kept_.size()) +
                       " 通のメールは受信できなかったため、サーバーに残してあります。";
    for (std::size_t i = 0; i < kept_.size() && i < kShown; ++i) text += "\n" + kept_[i];
    if (kept_.size() > kShown) text += "\nほか " + std::to_string(kept_.size() - kShown) + " 通";
    host_.notice(text, kErrorTitle);
}

CheckSession::Outcome CheckSession::storeFailed(const std::string& why, TakenMail& mail,
                                                std::vector<std::filesystem::path>& placed) {
    // The mail stays on the server and comes again with its attachments.
    unlinkAll(placed);
    unlinkAll(mail.attachments);
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
    if (stored_ > 0 || marked_ > 0) st = appender_.sync();
    if (st) st = journal_.noteStoreFlushed();
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
        // After a stop (also one that came at the close) the close may end the session
        // without QUIT: the journal keeps what was stored, and the next check removes it from
        // the server without storing it again.
        if (loggedIn && taken_ > 0 && !stopped_ && !host_.stopRequested()) {
            host_.notice(libraryText(mail_), kErrorTitle);
            return false;
        }
        return true;
    }
    if (loggedIn && journaled_ == marked_ && (journalWritten_ || journal_.hasEntries()))
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

void MailCheckHost::tlsProblem(const MailLibrary::TlsProblem&, const std::string& text,
                               const std::string& advice) {
    notice(text + "\n" + advice, kErrorTitle);
}

bool MailCheck::tellTlsProblem(const std::string& why) {
    const MailLibrary::TlsProblem problem = mail_.NMailLastTlsProblem();
    if (problem.kind == MailLibrary::TlsProblem::Kind::None) return false;
    host_.tlsProblem(
        problem, why,
        tlsProblemAdvice(problem, paths_.serverSettingsFile(), paths_.trustedCertificates()));
    return true;
}

MailCheckResult MailCheck::run() {
    MailCheckResult result;
    if (account_.Pop3Server.empty()) {
        // Said, not passed over: a check without a server is no empty mailbox.
        AccountSettings fromFile;
        const Status st = loadServerSettings(paths_.serverSettingsFileToRead(), fromFile);
        host_.notice(
            std::string("POP3サーバーが設定されていません。") + (st ? "" : "\n" + st.message()),
            kErrorTitle);
        result.completed = false;
        return result;
    }
    // The whole check, from the first look at the journal to the server's removal at the
    // close, is one operation on the store: no deletion and no second check in between.
    // A stop ends the wait for another writer at once.
    const DataFolderLock lock =
        DataFolderLock::acquire(paths_.dataFolderLock(), DataFolderLock::configuredWait(),
                                [this] { return host_.stopRequested(); });
    if (!lock && lock.busy() && host_.stopRequested()) {
        result.stopped = true;
        result.completed = false;
        return result;
    }
    if (!lock) {
        host_.notice("メールを受信しませんでした。メールはサーバーに残っています。\n" +
                         lock.status().message(),
                     kErrorTitle);
        result.completed = false;
        result.busy = lock.busy();
        return result;
    }
    {
        // The journal tells what became of the files a killed check had staged.
        ReceiveJournal journal(paths_.receiveJournal());
        const ReceivedMailStore store(paths_.receivedStore(), paths_.receivedTemp());
        const bool read = journal.load().ok();
        removeCheckLeftovers(paths_.attachmentFolder(), [&](const std::string& staged) {
            return read ? journal.stagedFileStored(staged, store) : std::nullopt;
        });
    }
    mail_.NMailSetTrustedCertificates(readTrustedCertificates(paths_.trustedCertificates()));
    const int handle = mail_.NMailPop3Connect(utf8ToCp932(account_.Pop3Server).c_str());
    host_.checkStarted();
    if (handle == -1 && host_.stopRequested()) {
        result.stopped = true;
        result.completed = false;
        return result;
    }
    if (handle == -1) {
        // Refused, unknown or malformed name, untrusted certificate, no or a refusing
        // greeting: the library says which.
        const std::string why = libraryText(mail_);
        if (!tellTlsProblem(why))
            host_.notice(why.empty() ? "POP3サーバーに接続できません。" : why, kErrorTitle);
        result.completed = false;
        return result;
    }

    // The login is read from the settings file at every check; the file wins over values
    // typed into the account dialog without saving.
    // The library gets the bytes as stored: a round trip through UTF-8 would change a byte
    // that is no code page 932 character.
    SettingsFiles settings(paths_);
    const std::string storedId = settings.readLoginAsStored("NAME");
    const std::string storedPassword = settings.readLoginAsStored("NAME2");
    account_.UserId = cp932ToUtf8(storedId);
    account_.Password = cp932ToUtf8(storedPassword);
    host_.loginRead(account_.UserId, account_.Password);

    CheckSession session(mail_, paths_, recordBuffer_, currentRecord_, host_, handle);
    if (account_.UserId.empty() || account_.Password.empty()) {
        if (Status st = settings.loginFileReadable(); !st) host_.notice(st.message(), kErrorTitle);
        host_.loginMissing();
        session.finish(false);
        result.completed = false;
        return result;
    }

    const int count = mail_.NMailPop3Authenticate(handle, storedId.c_str(), storedPassword.c_str(),
                                                  account_.UseApop != 0 ? -1 : 0);
    result.count = count;
    if (count < 0 && host_.stopRequested()) {
        session.finish(false);
        result.count = 0;
        result.stopped = true;
        result.completed = false;
        return result;
    }
    if (count < 0) {
        result.busy = count == MailLibrary::kMailboxBusy;
        if (const std::string why = libraryText(mail_); !tellTlsProblem(why))
            host_.notice(why, kErrorTitle);
        session.finish(false);
        result.completed = false;
        return result;
    }
    const bool tookAll = count == 0 || session.takeAll(count);
    const bool closed = session.finish(true);
    result.stored = session.stored();
    result.kept = session.kept();
    result.stopped = session.stopped();
    if (result.stopped) result.left = count - session.taken();
    result.completed = tookAll && closed && result.kept == 0;
    if (!tookAll || result.stopped || result.kept > 0) result.count = session.taken();
    return result;
}

void forEachRawMailPiece(std::string_view header, std::string_view body,
                         const std::function<void(std::string_view)>& take) {
    auto addLine = [&take](std::string_view line) {
        std::size_t from = 0;
        for (std::size_t cr = line.find('\r'); cr != std::string_view::npos;
             cr = line.find('\r', cr + 1)) {
            if (cr + 1 < line.size() && line[cr + 1] == '\n') continue;
            take(line.substr(from, cr + 1 - from));
            take("\n");
            from = cr + 1;
        }
        take(line.substr(from));
        take("\r\n");
    };
    addLine(header);
    addLine(body);
}

std::string buildRawMail(std::string_view header, std::string_view body) {
    std::string raw;
    raw.reserve(header.size() + body.size() + 8);
    forEachRawMailPiece(header, body, [&raw](std::string_view piece) { raw.append(piece); });
    return raw;
}

}  // namespace tsubame
