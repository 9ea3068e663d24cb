#include "settings/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <optional>
#include <vector>

#include "core/cp932.h"
#include "core/file_io.h"
#include "settings/settings_file_read.h"

namespace tsubame {
namespace {

std::string_view trimSpace(std::string_view s) {
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    std::size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Splits content into lines without their CR LF / LF terminators.
std::vector<std::string_view> splitLines(std::string_view content) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        std::size_t next = end == std::string_view::npos ? content.size() : end + 1;
        if (end == std::string_view::npos) end = content.size();
        std::string_view line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = next;
    }
    return lines;
}

// The section name of a "[name]" line, or nullopt for other lines.
bool sectionName(std::string_view line, std::string_view* name) {
    std::string_view t = trimSpace(line);
    if (t.size() < 2 || t.front() != '[') return false;
    std::size_t close = t.find(']');
    if (close == std::string_view::npos) return false;
    *name = trimSpace(t.substr(1, close - 1));
    return true;
}

bool keyLine(std::string_view line, std::string_view* key, std::string_view* value) {
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    *key = trimSpace(line.substr(0, eq));
    *value = trimSpace(line.substr(eq + 1));
    return true;
}

// The whole file. A missing file is empty; a file that exists but cannot be read (or is
// no regular file) is an error, so that a write never replaces settings it could not see.
Status readWhole(const std::filesystem::path& path, std::string* content, bool* exists) {
    return readSettingsFile(path, *content, *exists);
}

// The value of a key lookup, or nullopt when the file or the key is missing (or unreadable:
// a reader falls back to the default then, as the Windows functions do).
std::optional<std::string> lookupInFile(const std::filesystem::path& path, std::string_view section,
                                        std::string_view key) {
    std::string content;
    bool exists = false;
    if (!readWhole(path, &content, &exists) || !exists) return std::nullopt;
    bool found = false;
    std::string value = profileLookup(content, section, key, &found);
    if (!found) return std::nullopt;
    return value;
}

}  // namespace

std::string profileLookup(std::string_view content, std::string_view section, std::string_view key,
                          bool* found) {
    *found = false;
    bool inSection = false;
    for (std::string_view line : splitLines(content)) {
        std::string_view name;
        if (sectionName(line, &name)) {
            inSection = sameName(name, section);
            continue;
        }
        std::string_view k, v;
        if (inSection && keyLine(line, &k, &v) && sameName(k, key)) {
            // Windows strips one pair of surrounding quotes.
            if (v.size() >= 2 &&
                ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\'')))
                v = v.substr(1, v.size() - 2);
            *found = true;
            return std::string(v);
        }
    }
    return {};
}

std::string profileSet(std::string_view content, std::string_view section, std::string_view key,
                       std::string_view value) {
    std::vector<std::string_view> lines = splitLines(content);
    // A value is one line: a line break inside it would smuggle in other keys.
    value = value.substr(0, std::min(value.find_first_of("\r\n"), value.size()));
    const std::string newLine = std::string(key) + "=" + std::string(value);
    std::vector<std::string> out;
    out.reserve(lines.size() + 2);
    bool inSection = false, sectionSeen = false, done = false;
    std::size_t lastKeyOfSection = 0;  // index in out after which to insert a new key
    for (std::string_view line : lines) {
        std::string_view name;
        if (sectionName(line, &name)) {
            if (inSection && !done) {
                out.insert(out.begin() + static_cast<std::ptrdiff_t>(lastKeyOfSection), newLine);
                done = true;
            }
            inSection = !done && sameName(name, section);
            if (inSection) sectionSeen = true;
            out.emplace_back(line);
            if (inSection) lastKeyOfSection = out.size();
            continue;
        }
        std::string_view k, v;
        if (inSection && !done && keyLine(line, &k, &v) && sameName(k, key)) {
            out.push_back(newLine);
            done = true;
            continue;
        }
        out.emplace_back(line);
        if (inSection && !trimSpace(line).empty()) lastKeyOfSection = out.size();
    }
    if (inSection && !done) {
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(lastKeyOfSection), newLine);
        done = true;
    }
    if (!sectionSeen) {
        // Built piece by piece: "[" + std::string(...) trips GCC 12's -Wrestrict in Release.
        std::string header(1, '[');
        header.append(section);
        header.push_back(']');
        out.push_back(std::move(header));
        out.push_back(newLine);
    }
    std::string result;
    for (const std::string& line : out) {
        result += line;
        result += "\r\n";
    }
    return result;
}

std::string ProfileFile::readString(std::string_view section, std::string_view key,
                                    std::string_view fallback) const {
    std::string value = lookupInFile(path_, section, key).value_or(std::string(fallback));
    value.resize(cp932SafeCut(value, kMaxValue));
    return value;
}

int ProfileFile::readInt(std::string_view section, std::string_view key, int fallback) const {
    std::optional<std::string> value = lookupInFile(path_, section, key);
    if (!value) return fallback;
    // The leading decimal digits; a value that starts otherwise (a sign included) reads as 0.
    long long n = 0;
    for (std::size_t i = 0; i < value->size() && (*value)[i] >= '0' && (*value)[i] <= '9'; ++i)
        n = std::min<long long>(n * 10 + ((*value)[i] - '0'), std::numeric_limits<int>::max());
    return static_cast<int>(n);
}

Status ProfileFile::writeString(std::string_view section, std::string_view key,
                                std::string_view value) const {
    std::string content;
    bool exists = false;
    if (Status st = readWhole(path_, &content, &exists); !st) return st;
    int mode = createMode_;
    struct stat st {};
    const bool existing = exists && ::stat(path_.c_str(), &st) == 0;
    if (existing) {
        mode = static_cast<int>(st.st_mode & 07777);
        // A file meant for its owner only never keeps bits for others, however it was made.
        if ((createMode_ & 077) == 0) mode &= 07700;
    }
    std::string updated = profileSet(content, section, key, value);
    // A file that holds the value already stays as it is: a rewrite would change no byte and
    // only wait for the disk (the window options are saved at every close).
    if (existing && updated == content && mode == static_cast<int>(st.st_mode & 07777)) return {};
    return writeFileAtomically(path_, updated, mode);
}

}  // namespace tsubame
