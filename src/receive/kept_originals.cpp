#include "receive/kept_originals.h"

#include <fcntl.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

#include "core/cp932.h"
#include "core/file_io.h"
#include "receive/receive_journal.h"

namespace tsubame {
namespace {

constexpr std::string_view kMagic = "tsubame kept original 1\n";

std::filesystem::path entryPath(const std::filesystem::path& folder, std::uint64_t checksum) {
    char name[17];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(checksum));
    return folder / name;
}

std::string_view headOf(const ReceivedMailRecord& record) {
    return {record.bytes.data(), ReceivedMailHeads::kHeadSize};
}

std::string listKey(const ReceivedMailListEntry& listed) {
    std::string key = listed.subject;
    for (const std::string* cell : {&listed.from, &listed.date}) key += '\0' + *cell;
    return key;
}

// Fields as "<length>\n<bytes>\n": any byte may stand in them.
void putField(std::string& out, std::string_view field) {
    out += std::to_string(field.size());
    out += '\n';
    out += field;
    out += '\n';
}

bool takeField(std::string_view& in, std::string& field) {
    const std::size_t end = in.find('\n');
    if (end == std::string_view::npos || end == 0 || end > 10) return false;
    std::size_t size = 0;
    for (char c : in.substr(0, end)) {
        if (c < '0' || c > '9') return false;
        size = size * 10 + static_cast<std::size_t>(c - '0');
    }
    in.remove_prefix(end + 1);
    if (in.size() < size + 1 || in[size] != '\n') return false;
    field.assign(in.substr(0, size));
    in.remove_prefix(size + 1);
    return true;
}

struct ReadEntry {
    std::string head;
    KeptOriginal kept;
};

// The texts before the body are a few hundred bytes: the list reads no more.
constexpr std::size_t kBeforeTheBody = 16384;

std::optional<ReadEntry> readEntry(const std::filesystem::path& path, bool withBody) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    std::string text;
    if (withBody) {
        text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    } else {
        text.resize(kBeforeTheBody);
        file.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(file.gcount()));
    }
    std::string_view in = text;
    if (!in.starts_with(kMagic)) return std::nullopt;
    in.remove_prefix(kMagic.size());
    ReadEntry entry;
    KeptOriginal& kept = entry.kept;
    for (std::string* field : {&entry.head, &kept.file, &kept.subject, &kept.from, &kept.date}) {
        if (!takeField(in, *field)) return std::nullopt;
    }
    if (withBody && !takeField(in, kept.body)) return std::nullopt;
    if (entry.head.size() != ReceivedMailHeads::kHeadSize) return std::nullopt;
    return entry;
}

std::size_t sequenceLength(std::string_view text, std::size_t at) {
    const auto c = static_cast<unsigned char>(text[at]);
    const std::size_t n = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    return std::min(n, text.size() - at);
}

}  // namespace

Status writeKeptOriginal(const std::filesystem::path& folder, const ReceivedMailRecord& record,
                         const KeptOriginal& kept) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::string text(kMagic);
    for (std::string_view field :
         {headOf(record), std::string_view(kept.file), std::string_view(kept.subject),
          std::string_view(kept.from), std::string_view(kept.date), std::string_view(kept.body)})
        putField(text, field);
    // Not flushed: an entry lost to a crash leaves the record shown as it is.
    const std::filesystem::path path = entryPath(folder, recordChecksum(record));
    std::filesystem::path temp = path;
    temp += ".tmp";
    UniqueFd fd = openFile(temp, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!fd.valid()) return Status::failure(ioErrorText("書き込めません", temp, errno));
    Status st = writeAt(fd.get(), text.data(), text.size(), 0);
    if (st) st = fd.close();
    if (st) st = renameFile(temp, path);
    if (!st) std::filesystem::remove(temp, error);
    return st;
}

std::optional<KeptOriginal> readKeptOriginal(const std::filesystem::path& folder,
                                             const ReceivedMailRecord& record) {
    std::optional<ReadEntry> entry = readEntry(entryPath(folder, recordChecksum(record)), true);
    if (!entry || entry->head != headOf(record)) return std::nullopt;
    return std::move(entry->kept);
}

void forgetKeptOriginal(const std::filesystem::path& folder, const ReceivedMailRecord& record) {
    if (!readKeptOriginal(folder, record)) return;
    std::error_code error;
    std::filesystem::remove(entryPath(folder, recordChecksum(record)), error);
}

void forgetKeptOriginals(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::remove_all(folder, error);
}

KeptOriginalIndex KeptOriginalIndex::read(const std::filesystem::path& folder) {
    KeptOriginalIndex index;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() != 16 || name.find_first_not_of("0123456789abcdef") != std::string::npos)
            continue;
        std::optional<ReadEntry> entry = readEntry(it->path(), false);
        if (!entry) continue;
        Entry indexed{std::stoull(name, nullptr, 16), std::move(entry->kept)};
        index.entries_.emplace(listKey(ReceivedMailHeads::entryOfHead(entry->head.data())),
                               std::move(indexed));
    }
    return index;
}

bool KeptOriginalIndex::mayHave(const ReceivedMailListEntry& listed) const {
    return entries_.contains(listKey(listed));
}

const KeptOriginal* KeptOriginalIndex::find(const ReceivedMailRecord& record) const {
    const auto [first, last] =
        entries_.equal_range(listKey(ReceivedMailHeads::entryOfHead(record.bytes.data())));
    if (first == last) return nullptr;
    const std::uint64_t checksum = recordChecksum(record);
    for (auto it = first; it != last; ++it)
        if (it->second.checksum == checksum) return &it->second.kept;
    return nullptr;
}

std::string restoreLostCharacters(std::string_view cp932, std::string_view original) {
    std::string shown = cp932ToUtf8(cp932);
    // The record holds the text without its leading blanks.
    original.remove_prefix(std::min(original.find_first_not_of(' '), original.size()));
    if (original.empty()) return shown;
    std::string out;
    out.reserve(shown.size() + shown.size() / 8);
    std::size_t o = 0;
    for (std::size_t i = 0; i < shown.size();) {
        const std::string_view c = std::string_view(shown).substr(i, sequenceLength(shown, i));
        i += c.size();
        if (o < original.size()) {
            const std::string_view d = original.substr(o, sequenceLength(original, o));
            // The same character of code page 932 (the geta mark for every one it lacks).
            if (c == d || ((c.size() > 1 || d.size() > 1) && utf8ToCp932(c) == utf8ToCp932(d))) {
                out += d;
                o += d.size();
                continue;
            }
            o = original.size();  // parted for good
        }
        out += c;
    }
    return out;
}

}  // namespace tsubame
