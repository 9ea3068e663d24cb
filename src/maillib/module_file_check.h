#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "core/file_io.h"
#include "core/status.h"

namespace tsubame {

// Opens a module of the program for loading, refusing one that another user could have
// replaced (owned by neither this user nor root, or writable by its group or others) and, when
// expectedDigest (loadedImageDigest) is given, one that is not the file this program was built
// with: a damaged or truncated module, or one of another version. The open descriptor is
// what gets loaded (through /proc/self/fd), so the file checked is the file loaded.
// The SHA-256 (hex) of what the dynamic loader reads of the ELF module open as fd: its
// header, program headers and the segments they name. Empty for a file that is no 64-bit ELF
// module or is cut short.
std::string loadedImageDigest(int fd);

inline constexpr std::string_view kMailModuleName = "メール機能のモジュール";

// what names the module in the messages.
Status openCheckedModule(const std::filesystem::path& module, std::string_view expectedDigest,
                         UniqueFd& fd, std::string_view what = kMailModuleName);

// Checks module (openCheckedModule), loads the file checked and checks the int it exports
// as interfaceSymbol against interfaceVersion. handle: the loaded module, kept for good (the
// descriptor it was loaded through stays open with it); null after a failure, when nothing
// of a module that fails a check has been called.
Status loadCheckedModule(const std::filesystem::path& module, std::string_view expectedDigest,
                         std::string_view what, const char* interfaceSymbol, int interfaceVersion,
                         void*& handle);

}  // namespace tsubame
