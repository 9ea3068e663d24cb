#pragma once

#include <filesystem>
#include <string_view>

#include "core/file_io.h"
#include "core/status.h"

namespace tsubame {

// Opens the mail library module for loading, refusing one that another user could have
// replaced (owned by neither this user nor root, or writable by others) and, when
// expectedDigest (hex SHA-256) is given, one that is not the file this program was built
// with: a damaged or truncated module, or one of another version. The open descriptor is
// what gets loaded (through /proc/self/fd), so the file checked is the file loaded.
Status openCheckedModule(const std::filesystem::path& module, std::string_view expectedDigest,
                         UniqueFd& fd);

}  // namespace tsubame
