#include "receive/receive_journal.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
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

// "<record number> <checksum> <id>": the rest of a "P2" or "S2" line.
bool parseChecksummedEntry(std::string_view rest, std::string& id, std::int64_t& number,
                           std::uint64_t& checksum) {
    const std::size_t first = rest.find(' ');
    if (first == std::string_view::npos) return false;
    const std::size_t second = rest.find(' ', first + 1);
    if (second == std::string_view::npos || second + 1 >= rest.size()) return false;
    const std::string_view sum = rest.substr(first + 1, second - first - 1);
    if (sum.size() != 16 || !parseWhole(rest.substr(0, first), number, 10) ||
        !parseWhole(sum, checksum, 16))
        return false;
    id = std::string(rest.substr(second + 1));
    return true;
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

ReceiveJournal::ReceiveJournal(std::filesystem::path path) : path_(std::move(path)) {}

Status ReceiveJournal::load() {
    stored_.clear();
    pending_.clear();
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
        std::string id;
        std::int64_t number = 0;
        std::uint64_t checksum = 0;
        if (view.starts_with("P2 ") || view.starts_with("S2 ")) {
            if (!parseChecksummedEntry(view.substr(3), id, number, checksum)) continue;
            (view[0] == 'P' ? pending_ : stored_)[id] = Entry{number, checksum};
        } else if (view.starts_with("S ") && view.size() > 2) {
            stored_[line.substr(2)] = Entry{};
        } else if (view.starts_with("P ")) {
            const std::size_t blank = view.find(' ', 2);
            if (blank == std::string_view::npos || blank + 1 >= view.size()) continue;
            if (!parseWhole(view.substr(2, blank - 2), number, 10)) continue;
            pending_[line.substr(blank + 1)] = Entry{number, std::nullopt};
        }
    }
    return {};
}

bool ReceiveJournal::entryHolds(const Entry& entry, const ReceivedMailStore& store) const {
    if (!entry.recordNumber) return true;  // an old "S" line: the record was flushed
    const std::int64_t n = *entry.recordNumber;
    if (n < 1 || n > store.wholeRecords()) return false;
    if (!entry.checksum) return true;  // an old "P" line: its record was flushed
    ReceivedMailRecord record;
    return store.read(n, record) && recordChecksum(record) == *entry.checksum;
}

bool ReceiveJournal::alreadyStored(const std::string& id, const ReceivedMailStore& store) const {
    if (id.empty()) return false;
    for (const auto* entries : {&stored_, &pending_}) {
        auto it = entries->find(id);
        if (it != entries->end() && entryHolds(it->second, store)) return true;
    }
    return false;
}

Status ReceiveJournal::notePending(const std::string& id, std::int64_t recordNumber,
                                   std::uint64_t checksum) {
    Status st =
        appendLine("P2 " + std::to_string(recordNumber) + " " + hex16(checksum) + " " + id + "\n");
    if (st) pending_[id] = Entry{recordNumber, checksum};
    return st;
}

Status ReceiveJournal::noteStored(const std::string& id, std::int64_t recordNumber,
                                  std::uint64_t checksum) {
    Status st =
        appendLine("S2 " + std::to_string(recordNumber) + " " + hex16(checksum) + " " + id + "\n");
    if (st) stored_[id] = Entry{recordNumber, checksum};
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
    stored_.clear();
    pending_.clear();
    unsynced_ = false;
    createdUnsynced_ = false;
    std::error_code error;
    std::filesystem::remove(path_, error);
    if (error) return Status::failure(ioErrorText("受信記録を消せません", path_, error.value()));
    return syncFolder(path_.parent_path());
}

}  // namespace tsubame
