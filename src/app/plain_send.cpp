#include "app/plain_send.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <string_view>
#include <vector>

#include "core/app_paths.h"

namespace tsubame {
namespace {

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The whole of a regular file, or nullopt (a FIFO or a terminal would be read only once, and
// the full send command must be able to read it after us).
std::optional<std::string> regularFileBytes(const std::string& path) {
    // Not blocking on a FIFO without a writer: it is left to the full send command.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> bytes;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        bytes.emplace();
        char buffer[64 * 1024];
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                bytes.reset();
                break;
            }
            if (got == 0) break;
            bytes->append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    return bytes;
}

// Lone LF and lone CR become CR LF, the line break the send call expects.
std::string withCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            out += "\r\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A path that absolute making changes only by putting the working directory in front: no
// empty, "." or ".." part, no slash at the end.
bool isCleanPath(std::string_view path) {
    if (path.empty() || path.back() == '/') return false;
    std::size_t start = path.front() == '/' ? 1 : 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

// The attachment list as the send call takes it, or nullopt when a path is not plain.
std::optional<std::string> plainAttachmentList(const std::vector<std::string>& values) {
    std::string cwd;
    std::string list;
    for (const std::string& value : values) {
        std::size_t start = 0;
        while (start <= value.size()) {
            std::size_t end = value.find(',', start);
            if (end == std::string::npos) end = value.size();
            const std::string path = value.substr(start, end - start);
            start = end + 1;
            if (path.empty()) continue;
            if (!isCleanPath(path) || !isRegularFile(path)) return std::nullopt;
            std::string absolute = path;
            if (path.front() != '/') {
                if (cwd.empty()) {
                    std::error_code error;
                    cwd = std::filesystem::current_path(error).string();
                    if (error || !isPlainUtf8(cwd) || cwd.find(',') != std::string::npos ||
                        !isCleanPath(cwd == "/" ? "/x" : cwd))
                        return std::nullopt;
                }
                absolute = (cwd == "/" ? "" : cwd) + "/" + path;
            }
            if (!list.empty()) list += ',';
            list += absolute;
        }
    }
    return list;
}

}  // namespace

bool isPlainUtf8(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") return false;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t code = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (text.size() - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
            (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::optional<PlainSend> plainSend(int argc, char** argv, const char* envAppFolder) {
    bool send = false;
    bool fortune = false;
    std::map<std::string, std::string, std::less<>> values;  // to, subject, body-file, app-folder
    std::vector<std::string> attachments;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (!argument.starts_with("--") || !isPlainUtf8(argument)) return std::nullopt;
        const std::size_t equals = argument.find('=');
        const std::string_view name =
            argument.substr(2, equals == argument.npos ? argument.npos : equals - 2);
        if (name == "send" || name == "fortune") {
            bool& flag = name == "send" ? send : fortune;
            if (equals != argument.npos || flag) return std::nullopt;
            flag = true;
            continue;
        }
        if (name != "to" && name != "subject" && name != "body-file" && name != "app-folder" &&
            name != "attach")
            return std::nullopt;
        std::string value;
        if (equals != argument.npos) {
            value = argument.substr(equals + 1);
        } else {
            if (i + 1 >= argc) return std::nullopt;
            value = argv[++i];
            if (value.starts_with('-') || !isPlainUtf8(value)) return std::nullopt;
        }
        if (name == "attach") {
            attachments.push_back(std::move(value));
        } else if (!values.emplace(name, std::move(value)).second) {
            return std::nullopt;
        }
    }
    const auto value = [&values](std::string_view name) -> const std::string* {
        const auto found = values.find(name);
        return found == values.end() ? nullptr : &found->second;
    };
    const std::string* to = value("to");
    const std::string* subject = value("subject");
    const std::string* bodyFile = value("body-file");
    const std::string* appFolder = value("app-folder");
    if (!send || !to || !subject || !bodyFile || to->empty() || bodyFile->empty() ||
        (appFolder && appFolder->empty()) ||
        to->find_first_of(",\r\n") != std::string::npos)  // one recipient only
        return std::nullopt;
    std::string folder = appFolder ? *appFolder : envAppFolder ? envAppFolder : "";
    if (!isPlainUtf8(folder)) return std::nullopt;

    std::optional<std::string> body = regularFileBytes(*bodyFile);
    if (!body || !isPlainUtf8(*body)) return std::nullopt;
    std::optional<std::string> list = plainAttachmentList(attachments);
    if (!list) return std::nullopt;

    PlainSend plain;
    plain.appFolder = folder.empty() ? executableFolder() : std::filesystem::path(folder);
    plain.to = *to;
    plain.message.subject = *subject;
    plain.message.body = withCrLf(*body);
    plain.message.attachments = std::move(*list);
    plain.message.fortune = fortune;
    return plain;
}

}  // namespace tsubame
