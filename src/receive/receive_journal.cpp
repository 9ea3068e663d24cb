#include "receive/receive_journal.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string_view>

#include "core/file_io.h"

namespace tsubame {
namespace {

// Reads a decimal or hex number that fills text exactly.
template <typename Number>
bool parseWhole(std::string_view text, Number& value, int base) {
    if (text.empty()) return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

std::string hex16(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

// "<record number> <checksum> <size> <digest>[ <id>]": the rest of a "P3" or "S3" line.
bool parseEntry(std::string_view rest, std::int64_t& number, std::uint64_t& checksum,
                MailIdentity& mail) {
    std::string_view words[4];
    for (std::string_view& word : words) {
        const std::size_t blank = rest.find(' ');
        word = rest.substr(0, blank);
        rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
        if (blank == std::string_view::npos && &word != &words[3]) return false;
    }
    if (words[1].size() != 16 || words[3].size() != 64 ||
        words[3].find_first_not_of("0123456789abcdef") != std::string_view::npos ||
        !parseWhole(words[0], number, 10) || !parseWhole(words[1], checksum, 16) ||
        !parseWhole(words[2], mail.size, 10))
        return false;
    mail.digest = std::string(words[3]);
    mail.id = std::string(rest);
    return true;
}

// Two ids disagree only when both are known: a server may offer UIDL on one day and not
// on the next, and then size and digest decide alone.
bool sameMail(const MailIdentity& a, const MailIdentity& b) {
    return (a.id.empty() || b.id.empty() || a.id == b.id) && a.size == b.size &&
           !a.digest.empty() && a.digest == b.digest;
}

}  // namespace

std::uint64_t recordChecksum(const ReceivedMailRecord& record) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (char byte : record.bytes) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::string mailDigest(std::string_view header, std::string_view body) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    &EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    bool ok = context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) == 1;
    for (std::string_view part : {header, body}) {
        const std::string size = std::to_string(part.size()) + ":";
        ok = ok && EVP_DigestUpdate(context.get(), size.data(), size.size()) == 1 &&
             EVP_DigestUpdate(context.get(), part.data(), part.size()) == 1;
    }
    ok = ok && EVP_DigestFinal_ex(context.get(), digest, &length) == 1;
    if (!ok) return {};  // no digest: the mail can never be taken for a journaled one
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        text += pair;
    }
    return text;
}

ReceiveJournal::ReceiveJournal(std::filesystem::path path) : path_(std::move(path)) {}

Status ReceiveJournal::load() {
    entries_.clear();
    hasOldLines_ = false;
    UniqueFd fd = openFile(path_, O_RDONLY);
    if (!fd.valid()) {
        if (errno == ENOENT) return {};
        return Status::failure(ioErrorText("受信記録を読めません", path_, errno));
    }
    std::string content;
    char chunk[4096];
    for (std::int64_t offset = 0;;) {
        std::size_t got = 0;
        if (Status st = readAt(fd.get(), chunk, sizeof chunk, offset, &got); !st) return st;
        if (got == 0) break;
        content.append(chunk, got);
        offset += static_cast<std::int64_t>(got);
    }
    // A line cut short by a crash has no line end and is ignored: its step never finished.
    std::istringstream lines(content);
    std::string line;
    while (std::getline(lines, line)) {
        if (lines.eof()) break;
        const std::string_view view(line);
        std::int64_t number = 0;
        Entry entry;
        if (view.starts_with("P3 ") || view.starts_with("S3 ")) {
            if (parseEntry(view.substr(3), number, entry.checksum, entry.mail))
                entries_[number] = std::move(entry);
        } else if (view.starts_with("P ") || view.starts_with("S ") || view.starts_with("P2 ") ||
                   view.starts_with("S2 ")) {
            hasOldLines_ = true;
        }
    }
    return {};
}

bool ReceiveJournal::entryHolds(std::int64_t recordNumber, const Entry& entry,
                                const ReceivedMailStore& store) const {
    if (recordNumber < 1 || recordNumber > store.wholeRecords()) return false;
    ReceivedMailRecord record;
    return store.read(recordNumber, record) && recordChecksum(record) == entry.checksum;
}

bool ReceiveJournal::takeStored(const MailIdentity& mail, const ReceivedMailStore& store) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (sameMail(it->second.mail, mail) && entryHolds(it->first, it->second, store)) {
            entries_.erase(it);
            return true;
        }
    }
    return false;
}

Status ReceiveJournal::notePending(const MailIdentity& mail, std::int64_t recordNumber,
                                   std::uint64_t checksum) {
    return note("P3", mail, recordNumber, checksum);
}

Status ReceiveJournal::noteStored(const MailIdentity& mail, std::int64_t recordNumber,
                                  std::uint64_t checksum) {
    return note("S3", mail, recordNumber, checksum);
}

Status ReceiveJournal::note(const char* kind, const MailIdentity& mail, std::int64_t recordNumber,
                            std::uint64_t checksum) {
    std::string line = std::string(kind) + " " + std::to_string(recordNumber) + " " +
                       hex16(checksum) + " " + std::to_string(mail.size) + " " + mail.digest;
    if (!mail.id.empty()) line += " " + mail.id;
    Status st = appendLine(line + "\n");
    // Only this check's own lines stand for mails it stored; it never takes one of them
    // for a later mail of the same check.
    if (st) entries_.erase(recordNumber);
    return st;
}

Status ReceiveJournal::appendLine(const std::string& line) {
    bool created = false;
    UniqueFd fd = openFile(path_, O_RDWR | O_APPEND);
    if (!fd.valid() && errno == ENOENT) {
        fd = openFile(path_, O_RDWR | O_APPEND | O_CREAT, 0600);
        created = fd.valid();
    }
    if (!fd.valid()) return Status::failure(ioErrorText("受信記録に書き込めません", path_, errno));
    createdUnsynced_ = createdUnsynced_ || created;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        return Status::failure(ioErrorText("受信記録に書き込めません", path_, errno));
    std::string text = line;
    // A line cut short by an earlier failure must not swallow this one.
    char last = '\n';
    std::size_t got = 0;
    if (info.st_size > 0 && readAt(fd.get(), &last, 1, info.st_size - 1, &got) && got == 1 &&
        last != '\n')
        text.insert(text.begin(), '\n');
    // Even a failed write may have left part of the line behind: that part needs the flush too.
    unsynced_ = true;
    if (Status st = writeAt(fd.get(), text.data(), text.size(), info.st_size); !st) return st;
    return fd.close();
}

Status ReceiveJournal::sync() {
    if (unsynced_) {
        UniqueFd fd = openFile(path_, O_RDONLY);
        if (!fd.valid())
            return Status::failure(ioErrorText("受信記録に書き込めません", path_, errno));
        if (Status st = syncFd(fd.get()); !st) return st;
        unsynced_ = false;
    }
    // A new file's name must survive a crash too.
    if (createdUnsynced_) {
        if (Status st = syncFolder(path_.parent_path()); !st) return st;
        createdUnsynced_ = false;
    }
    return {};
}

Status ReceiveJournal::clear() {
    entries_.clear();
    hasOldLines_ = false;
    unsynced_ = false;
    createdUnsynced_ = false;
    std::error_code error;
    std::filesystem::remove(path_, error);
    if (error) return Status::failure(ioErrorText("受信記録を消せません", path_, error.value()));
    return syncFolder(path_.parent_path());
}

}  // namespace tsubame
