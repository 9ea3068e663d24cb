#include "core/attachment_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "core/cp932.h"
#include "core/file_io.h"

namespace tsubame {
namespace {

constexpr std::size_t kMaxExtensionBytes = 16;
constexpr int kMaxNumberedTries = 9999;
// Past "(9999)" a random suffix is tried; with 48 random bits a clash is a rarity, so a few
// tries are plenty.
constexpr int kMaxRandomTries = 64;

std::pair<std::string, std::string> splitExtension(const std::string& name) {
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || name.size() - dot > kMaxExtensionBytes)
        return {name, ""};
    return {name.substr(0, dot), name.substr(dot)};
}

}  // namespace

std::size_t utf8SafeCut(std::string_view utf8, std::size_t limit) {
    if (utf8.size() <= limit) return utf8.size();
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

std::string safeFileName(std::string_view utf8Name) {
    if (!isValidUtf8(utf8Name)) return {};
    // In UTF-8 every byte below 0x80 is a character of its own, so separators and control
    // characters cannot hide inside a multi-byte character.
    std::string name;
    for (char c : utf8Name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\')
            name.clear();  // keep the last path component only
        else if (u < 0x20 || u == 0x7F)
            continue;
        else if (std::strchr("<>:\"|?*", c))
            name.push_back('_');
        else
            name.push_back(c);
    }
    const std::size_t first = name.find_first_not_of(". ");
    if (first == std::string::npos) return {};
    name.erase(0, first);
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    if (name.size() > kMaxFileNameBytes) {
        auto [stem, extension] = splitExtension(name);
        stem.resize(utf8SafeCut(stem, kMaxFileNameBytes - extension.size()));
        name = stem + extension;
    }
    return name;
}

namespace {

std::string randomSuffix() {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    char text[16];
    std::snprintf(text, sizeof text, "%012llx",
                  static_cast<unsigned long long>(generator() & 0xFFFFFFFFFFFFull));
    return text;
}

enum class Attempt { Placed, Taken, Failed };

// Decoded bytes on their way into a file, written in pieces of a bounded size.
class FileSink : public ContentSink {
  public:
    explicit FileSink(int fd) : fd_(fd) {}
    bool put(std::string_view piece) override {
        if (!status_) return false;
        if (buffer_.size() + piece.size() > kBufferBytes && !flush()) return false;
        if (piece.size() >= kBufferBytes) return writeOut(piece);
        buffer_.append(piece);
        return true;
    }
    bool flush() {
        if (buffer_.empty()) return status_.ok();
        const bool written = writeOut(buffer_);
        buffer_.clear();
        return written;
    }
    Status status() const { return status_; }

  private:
    static constexpr std::size_t kBufferBytes = 256 * 1024;
    bool writeOut(std::string_view bytes) {
        status_ = writeAt(fd_, bytes.data(), bytes.size(), offset_);
        offset_ += static_cast<std::int64_t>(bytes.size());
        return status_.ok();
    }
    int fd_;
    std::int64_t offset_ = 0;
    std::string buffer_;
    Status status_;
};

// Writes the content into a new file of a temporary name in folder, whole; empty (error set)
// on failure, when nothing of it is left. Not flushed: a mail may have thousands of parts.
std::filesystem::path writeTemporary(const std::filesystem::path& folder,
                                     const ContentWriter& write, std::string& error) {
    std::filesystem::path path;
    UniqueFd fd;
    for (int tries = 0; tries < kMaxRandomTries && !fd.valid(); ++tries) {
        path = folder / temporaryAttachmentName();
        fd = openFile(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0644);
        if (!fd.valid() && errno != EEXIST) break;
    }
    if (!fd.valid()) {
        error = utf8ToCp932(ioErrorText("添付ファイルを作成できません", path, errno));
        return {};
    }
    FileSink sink(fd.get());
    const bool whole = write(sink) && sink.flush();
    Status status = sink.status();
    if (status && !whole) status = Status::failure("内容を読み出せません");
    if (status) status = fd.close();
    if (!status) {
        ::unlink(path.c_str());
        error = utf8ToCp932("添付ファイルを書き込めません: " + path.string() + " (" +
                            status.message() + ")");
        return {};
    }
    return path;
}

// Gives the whole file temp the name path unless a file of that name exists: the rename
// never replaces one. Where the file system cannot rename that way, a link does the same.
Attempt placeFile(const std::filesystem::path& temp, const std::filesystem::path& path,
                  std::string& error, bool keepSource = false) {
    if (keepSource) {
        if (::link(temp.c_str(), path.c_str()) == 0) return Attempt::Placed;
        if (errno == EEXIST) return Attempt::Taken;
        if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK) {
            error = utf8ToCp932(ioErrorText("添付ファイルを作成できません", path, errno));
            return Attempt::Failed;
        }
    }
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
        return Attempt::Placed;
    if (errno == EINVAL || errno == ENOSYS) {
        if (::link(temp.c_str(), path.c_str()) == 0) {
            ::unlink(temp.c_str());
            return Attempt::Placed;
        }
    }
    if (errno == EEXIST) return Attempt::Taken;
    error = utf8ToCp932(ioErrorText("添付ファイルを作成できません", path, errno));
    return Attempt::Failed;
}

// Tries "name", then "stem (n).ext" from number on up to 9999, then random suffixes. number
// comes back as the one to try next for this name, so that many parts of one name do not
// probe the same taken names again and again.
std::filesystem::path placeUniqueFile(const std::filesystem::path& folder, const std::string& name,
                                      const std::filesystem::path& temp, std::string& error,
                                      int& number, bool keepSource = false) {
    auto [stem, extension] = splitExtension(name);
    for (; number <= kMaxNumberedTries; ++number) {
        const std::filesystem::path path =
            folder / (number == 1 ? name : stem + " (" + std::to_string(number) + ")" + extension);
        const Attempt attempt = placeFile(temp, path, error, keepSource);
        if (attempt == Attempt::Failed) return {};
        if (attempt == Attempt::Placed) {
            ++number;
            return path;
        }
    }
    for (int tries = 0; tries < kMaxRandomTries; ++tries) {
        const std::filesystem::path path =
            folder / (stem + " (" + randomSuffix() + ")" + extension);
        const Attempt attempt = placeFile(temp, path, error, keepSource);
        if (attempt == Attempt::Failed) return {};
        if (attempt == Attempt::Placed) return path;
    }
    error = utf8ToCp932("添付ファイルの名前を決められません: " + (folder / name).string());
    return {};
}

}  // namespace

std::string temporaryAttachmentName() {
    return std::string(kTemporaryAttachmentPrefix) + std::to_string(::getpid()) + "-" +
           randomSuffix() + kTemporaryAttachmentSuffix;
}

std::optional<pid_t> temporaryAttachmentOwner(std::string_view name) {
    constexpr std::size_t kRandomDigits = 12;
    const std::string_view prefix = kTemporaryAttachmentPrefix;
    const std::string_view suffix = kTemporaryAttachmentSuffix;
    if (!name.starts_with(prefix) || !name.ends_with(suffix)) return std::nullopt;
    name = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    const std::size_t dash = name.find('-');
    if (dash == std::string_view::npos || name.size() - dash - 1 != kRandomDigits ||
        name.substr(dash + 1).find_first_not_of("0123456789abcdef") != std::string_view::npos)
        return std::nullopt;
    const std::string_view digits = name.substr(0, dash);
    if (digits.empty() || digits.size() > 9 || digits[0] == '0' ||
        digits.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    return static_cast<pid_t>(std::stol(std::string(digits)));
}

std::filesystem::path linkUnderFreeName(const std::filesystem::path& folder,
                                        const std::string& name,
                                        const std::filesystem::path& source, std::string& error) {
    int number = 1;
    return placeUniqueFile(folder, name, source, error, number, true);
}

AttachmentFileSaver::~AttachmentFileSaver() {
    for (const auto& part : pending_)
        if (!part.temp.empty()) ::unlink(part.temp.c_str());
}

void AttachmentFileSaver::discard() {
    for (const auto& file : written_) ::unlink(file.c_str());
    written_.clear();
    for (const auto& part : pending_) ::unlink(part.temp.c_str());
    pending_.clear();
}

bool AttachmentFileSaver::save(std::string name, const ContentWriter& write, std::string& error) {
    std::filesystem::path temp = writeTemporary(folder_, write, error);
    if (temp.empty()) {
        // All of a mail or none of it: the mail stays on the server and comes again, so
        // what was written of it now would only be a stray copy.
        discard();
        return false;
    }
    pending_.push_back({std::move(temp), std::move(name)});
    return true;
}

bool AttachmentFileSaver::place(std::string& error) {
    for (auto& part : pending_) {
        int& next = nextNumber_.try_emplace(part.name, 1).first->second;
        std::filesystem::path path = placeUniqueFile(folder_, part.name, part.temp, error, next);
        if (path.empty()) {
            discard();
            return false;
        }
        part.temp.clear();  // it has its name now
        written_.push_back(std::move(path));
    }
    pending_.clear();
    return true;
}

}  // namespace tsubame
