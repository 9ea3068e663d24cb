#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "send/send_passes.h"

namespace tsubame {

// A tsubame --send command line that the executable can run without Qt: every argument in one
// of the plain forms (--name value, --name=value), each text valid UTF-8, the body a regular
// file of UTF-8 text, the attachments regular files named by clean paths. Read and checked
// here, the send is then the one the full command line parser and send command would make
// of it, byte for byte. Anything else (another mode, a mistake to report, an odd byte) is not
// a plain send: the window library then parses and runs the command with Qt.
struct PlainSend {
    std::filesystem::path appFolder;
    std::string to;
    OutgoingMessage message;  // subject, body (CR LF lines), attachments and fortune
};

// envAppFolder: TSUBAME_APP_FOLDER, or null when it is not set.
std::optional<PlainSend> plainSend(int argc, char** argv, const char* envAppFolder);

// Whether Qt reads text as UTF-8 without changing a byte: valid UTF-8 (no overlong form, no
// surrogate, nothing above U+10FFFF) that does not start with a byte order mark.
bool isPlainUtf8(std::string_view text);

}  // namespace tsubame
