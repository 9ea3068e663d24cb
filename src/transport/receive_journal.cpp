#include "transport/receive_journal.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <sstream>

#include "core/file_io.h"

namespace tsubame {

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
        if (line.rfind("S ", 0) == 0 && line.size() > 2) {
            stored_.insert(line.substr(2));
        } else if (line.rfind("P ", 0) == 0) {
            const std::size_t blank = line.find(' ', 2);
            if (blank == std::string::npos || blank + 1 >= line.size()) continue;
            std::int64_t number = 0;
            auto [end, error] = std::from_chars(line.data() + 2, line.data() + blank, number);
            if (error != std::errc() || end != line.data() + blank) continue;
            pending_[line.substr(blank + 1)] = number;
        }
    }
    return {};
}

bool ReceiveJournal::alreadyStored(const std::string& id, std::int64_t wholeRecords) const {
    if (id.empty()) return false;
    if (stored_.count(id)) return true;
    auto it = pending_.find(id);
    return it != pending_.end() && it->second >= 1 && it->second <= wholeRecords;
}

Status ReceiveJournal::notePending(const std::string& id, std::int64_t recordNumber) {
    Status st = appendLine("P " + std::to_string(recordNumber) + " " + id + "\n");
    if (st) pending_[id] = recordNumber;
    return st;
}

Status ReceiveJournal::noteStored(const std::string& id) {
    Status st = appendLine("S " + id + "\n");
    if (st) stored_.insert(id);
    return st;
}

Status ReceiveJournal::appendLine(const std::string& line) {
    bool created = false;
    UniqueFd fd = openFile(path_, O_RDWR | O_APPEND);
    if (!fd.valid() && errno == ENOENT) {
        fd = openFile(path_, O_RDWR | O_APPEND | O_CREAT, 0600);
        created = true;
    }
    if (!fd.valid()) return Status::failure(ioErrorText("受信記録に書き込めません", path_, errno));
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
    if (Status st = writeAt(fd.get(), text.data(), text.size(), info.st_size); !st) return st;
    if (Status st = syncFd(fd.get()); !st) return st;
    if (Status st = fd.close(); !st) return st;
    // A new file's name must survive a crash too.
    if (created) return syncFolder(path_.parent_path());
    return {};
}

Status ReceiveJournal::clear() {
    stored_.clear();
    pending_.clear();
    std::error_code error;
    std::filesystem::remove(path_, error);
    if (error) return Status::failure(ioErrorText("受信記録を消せません", path_, error.value()));
    return syncFolder(path_.parent_path());
}

}  // namespace tsubame
