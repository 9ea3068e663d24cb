#include "receive/receive_journal.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string_view>

#include "core/file_io.h"

namespace tsubame {
namespace {

constexpr const char* kCannotWrite = "受信記録に書き込めません";

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

// "[<record number> ]<checksum> <size> <digest>[ <id>]": the rest of a "P5"/"S5"/"P4"/"S4"
// line, or with the record number (skipped: it proves nothing) of a "P3"/"S3" line.
bool parseEntry(std::string_view rest, bool numbered, std::uint64_t& checksum, MailIdentity& mail) {
    std::string_view words[4];
    const std::size_t first = numbered ? 0 : 1;
    for (std::size_t i = first; i < 4; ++i) {
        const std::size_t blank = rest.find(' ');
        words[i] = rest.substr(0, blank);
        rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
        if (blank == std::string_view::npos && i != 3) return false;
    }
    std::int64_t number = 0;
    if ((numbered && !parseWhole(words[0], number, 10)) || words[1].size() != 16 ||
        words[3].size() != 64 ||
        words[3].find_first_not_of("0123456789abcdef") != std::string_view::npos ||
        !parseWhole(words[1], checksum, 16) || !parseWhole(words[2], mail.size, 10))
        return false;
    mail.digest = std::string(words[3]);
    mail.id = std::string(rest);
    return true;
}

// The line of a mail with its record's checksum, in the version of the checksum's kind.
std::string entryLine(char kind, const MailIdentity& mail, RecordChecksum checksum) {
    std::string text = std::string(1, kind) + (checksum.legacy ? "4 " : "5 ") +
                       hex16(checksum.value) + " " + std::to_string(mail.size) + " " + mail.digest;
    if (!mail.id.empty()) text += " " + mail.id;
    return text;
}

std::optional<std::string>& bootForTesting() {
    static std::optional<std::string> boot;
    return boot;
}

// Two ids disagree only when both are known: a server may offer UIDL on one day and not
// on the next, and then size and digest decide alone.
bool sameMail(const MailIdentity& a, const MailIdentity& b) {
    return (a.id.empty() || b.id.empty() || a.id == b.id) && a.size == b.size &&
           !a.digest.empty() && a.digest == b.digest;
}

}  // namespace

std::uint64_t recordChecksum(const ReceivedMailRecord& record) {
    // Four independent lanes of multiply-rotate (as in xxHash64), then a final mix: a record
    // is hashed in a few microseconds, where a byte-serial hash takes tens.
    constexpr std::uint64_t k1 = 0x9E3779B185EBCA87ULL, k2 = 0xC2B2AE3D27D4EB4FULL;
    const char* bytes = record.bytes.data();
    const std::size_t size = record.bytes.size();
    std::uint64_t lanes[4] = {k1 + k2, k2, 0, 0 - k1};
    std::size_t i = 0;
    for (; i + 32 <= size; i += 32) {
        for (std::size_t lane = 0; lane < 4; ++lane) {
            std::uint64_t word = 0;
            std::memcpy(&word, bytes + i + 8 * lane, 8);
            lanes[lane] = std::rotl(lanes[lane] + word * k2, 31) * k1;
        }
    }
    std::uint64_t hash = std::rotl(lanes[0], 1) + std::rotl(lanes[1], 7) + std::rotl(lanes[2], 12) +
                         std::rotl(lanes[3], 18) + size;
    for (; i < size; ++i) hash = (hash ^ static_cast<unsigned char>(bytes[i])) * k1;
    hash ^= hash >> 33;
    hash *= k2;
    hash ^= hash >> 29;
    hash *= k1;
    return hash ^ (hash >> 32);
}

std::uint64_t legacyRecordChecksum(const ReceivedMailRecord& record) {
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

std::string ReceiveJournal::currentBoot() {
    if (bootForTesting()) return *bootForTesting();
    std::ifstream in("/proc/sys/kernel/random/boot_id");
    std::string boot;
    std::getline(in, boot);
    return boot;
}

void ReceiveJournal::setBootForTesting(std::optional<std::string> boot) {
    bootForTesting() = std::move(boot);
}

Status ReceiveJournal::load() {
    entries_.clear();
    hasOldLines_ = false;
    staged_.clear();
    storeChecksums_.reset();
    usedRecords_.clear();
    Status why;
    UniqueFd fd = openRegularFile(path_, O_RDONLY, "受信記録を読めません", why);
    if (!fd.valid()) return errno == ENOENT ? Status() : why;
    std::string content;
    char chunk[4096];
    for (std::int64_t offset = 0;;) {
        std::size_t got = 0;
        if (Status st = readAt(fd.get(), chunk, sizeof chunk, offset, &got); !st) return st;
        if (got == 0) break;
        content.append(chunk, got);
        offset += static_cast<std::int64_t>(got);
    }
    const std::string boot = currentBoot();
    bool sameBoot = false;
    std::vector<std::size_t> block;  // the entries of this block's "S4" lines
    std::vector<std::string> files;  // "F" lines waiting for their mail's line
    // A line cut short by a crash has no line end and is ignored: its step never finished.
    std::istringstream lines(content);
    std::string line;
    while (std::getline(lines, line)) {
        if (lines.eof()) break;
        const std::string_view view(line);
        if (view == "C") {
            for (std::size_t i : block) entries_[i].proven = true;
        } else if (view.starts_with("F ")) {
            files.emplace_back(view.substr(2));
            staged_[files.back()];
        } else if (view.starts_with("B ")) {
            sameBoot = !boot.empty() && view.substr(2) == boot;
            block.clear();
            files.clear();
        } else if (view.size() > 3 && (view[0] == 'P' || view[0] == 'S') && view[2] == ' ' &&
                   view[1] >= '3' && view[1] <= '5') {
            Entry entry;
            if (!parseEntry(view.substr(3), view[1] == '3', entry.checksum.value, entry.mail))
                continue;
            entry.checksum.legacy = view[1] != '5';
            // An "S3" line never stood by itself; it counts through its record only.
            const bool stored = view[0] == 'S' && view[1] != '3';
            entry.proven = stored && sameBoot;
            // One entry per mail: the confirmation of an intent adds nothing but its proof.
            auto same = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
                return e.checksum == entry.checksum && e.mail.size == entry.mail.size &&
                       e.mail.digest == entry.mail.digest && e.mail.id == entry.mail.id;
            });
            if (same == entries_.end())
                same = entries_.insert(entries_.end(), std::move(entry));
            else
                same->proven = same->proven || entry.proven;
            for (const std::string& file : files) staged_[file] = *same;
            files.clear();
            if (stored) block.push_back(static_cast<std::size_t>(same - entries_.begin()));
        } else if (view.starts_with("P ") || view.starts_with("S ") || view.starts_with("P2 ") ||
                   view.starts_with("S2 ")) {
            hasOldLines_ = true;
        }
    }
    // What an earlier check wrote may still be only in the kernel's hands.
    unsynced_ = !content.empty();
    return {};
}

const std::multimap<RecordChecksum, std::int64_t>& ReceiveJournal::storeChecksums(
    const ReceivedMailStore& store) {
    if (!storeChecksums_) {
        storeChecksums_.emplace();
        // The older kind is taken only when lines of an earlier version ask for it.
        const bool legacy = std::any_of(entries_.begin(), entries_.end(),
                                        [](const Entry& e) { return e.checksum.legacy; });
        ReceivedMailRecord record;
        for (std::int64_t n = 1; store.read(n, record); ++n) {
            storeChecksums_->emplace(recordChecksum(record), n);
            if (legacy)
                storeChecksums_->emplace(RecordChecksum(legacyRecordChecksum(record), true), n);
        }
    }
    return *storeChecksums_;
}

bool ReceiveJournal::inStore(RecordChecksum checksum, const ReceivedMailStore& store) {
    storeChecksums(store);
    auto [first, last] = storeChecksums_->equal_range(checksum);
    for (auto it = first; it != last; ++it) {
        // One record stands for one mail, whichever kind of checksum found it.
        if (!usedRecords_.insert(it->second).second) continue;
        storeChecksums_->erase(it);
        return true;
    }
    return false;
}

bool ReceiveJournal::takeStored(const MailIdentity& mail, const ReceivedMailStore& store,
                                RecordChecksum* checksum) {
    // Entries that stand by themselves first: they cost no look at the store.
    for (bool proven : {true, false}) {
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->proven != proven || !sameMail(it->mail, mail)) continue;
            if (!proven && !inStore(it->checksum, store)) continue;
            if (checksum) *checksum = it->checksum;
            entries_.erase(it);
            return true;
        }
    }
    return false;
}

std::optional<bool> ReceiveJournal::stagedFileStored(const std::string& stagedFile,
                                                     const ReceivedMailStore& store) {
    const auto it = staged_.find(stagedFile);
    if (it == staged_.end()) return std::nullopt;
    const std::optional<Entry>& entry = it->second;
    if (!entry) return false;
    // A later line of the same mail may have proved it since the "F" line's copy was taken.
    const auto current = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return e.checksum == entry->checksum && e.mail.digest == entry->mail.digest &&
               e.mail.size == entry->mail.size && e.mail.id == entry->mail.id;
    });
    const bool proven = current != entries_.end() ? current->proven : entry->proven;
    return proven || storeChecksums(store).contains(entry->checksum);
}

Status ReceiveJournal::noteFile(const std::string& stagedFile) { return note("F " + stagedFile); }

Status ReceiveJournal::notePending(const MailIdentity& mail, RecordChecksum checksum) {
    return note(entryLine('P', mail, checksum));
}

Status ReceiveJournal::noteStored(const MailIdentity& mail, RecordChecksum checksum) {
    return note(entryLine('S', mail, checksum));
}

Status ReceiveJournal::noteStoreFlushed() { return blockStarted_ ? appendLine("C\n") : Status(); }

Status ReceiveJournal::note(const std::string& line) {
    // Only this check's own lines stand for mails it stored: they are not read back into the
    // entries, so it never takes one of them for a later mail of the same check.
    if (!blockStarted_) {
        const std::string boot = currentBoot();
        if (Status st = appendLine("B " + (boot.empty() ? std::string("-") : boot) + "\n"); !st)
            return st;
        blockStarted_ = true;
    }
    return appendLine(line + "\n");
}

Status ReceiveJournal::appendLine(const std::string& line) {
    if (!fd_.valid()) {
        bool created = false;
        Status why;
        UniqueFd fd = openRegularFile(path_, O_RDWR | O_APPEND, kCannotWrite, why);
        if (!fd.valid() && errno == ENOENT) {
            fd = openRegularFile(path_, O_RDWR | O_APPEND | O_CREAT, kCannotWrite, why, 0600);
            created = fd.valid();
        }
        if (!fd.valid()) return why;
        createdUnsynced_ = createdUnsynced_ || created;
        struct stat info {};
        if (::fstat(fd.get(), &info) != 0)
            return Status::failure(ioErrorText(kCannotWrite, path_, errno));
        char last = '\n';
        std::size_t got = 0;
        if (info.st_size > 0 && readAt(fd.get(), &last, 1, info.st_size - 1, &got) && got == 1)
            endsLine_ = last == '\n';
        else
            endsLine_ = true;
        size_ = info.st_size;
        fd_ = std::move(fd);
    }
    // A line cut short by an earlier failure must not swallow this one.
    const std::string text = endsLine_ ? line : "\n" + line;
    // Even a failed write may have left part of the line behind: that part needs the flush too.
    unsynced_ = true;
    if (Status st = writeAt(fd_.get(), text.data(), text.size(), size_); !st) {
        // What is in the file now is only known after opening it again.
        fd_ = UniqueFd();
        return st;
    }
    size_ += static_cast<std::int64_t>(text.size());
    endsLine_ = true;
    return {};
}

Status ReceiveJournal::sync() {
    if (unsynced_) {
        Status why;
        UniqueFd opened;
        if (!fd_.valid()) opened = openRegularFile(path_, O_RDONLY, kCannotWrite, why);
        const int fd = fd_.valid() ? fd_.get() : opened.get();
        if (fd < 0) return why;
        if (Status st = syncFd(fd); !st) return st;
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
    fd_ = UniqueFd();
    entries_.clear();
    hasOldLines_ = false;
    staged_.clear();
    blockStarted_ = false;
    unsynced_ = false;
    createdUnsynced_ = false;
    std::error_code error;
    std::filesystem::remove(path_, error);
    if (error) return Status::failure(ioErrorText("受信記録を消せません", path_, error.value()));
    return syncFolder(path_.parent_path());
}

}  // namespace tsubame
