#pragma once

#include <cstddef>
#include <filesystem>
#include <string_view>

#include "core/status.h"

namespace tsubame {

// Bytes a file name may need on top of its own for the temporary file written beside it
// (".XXXXXX"), so that names cut for the file system leave room for it.
constexpr std::size_t kTemporarySuffixBytes = 7;

// Writes a file the user chose (save as, quick save, the new document) so that a failure
// leaves the old file whole: the content goes into a unique temporary file beside the target
// (mkstemp, never a fixed name that might be someone's file), then replaces it by rename.
// An existing file keeps its permission bits (and its group where allowed); a new file gets
// the usual 0666 less the umask. A symbolic link is written through: its target is replaced
// and the link stays. A target that exists but is not a regular file is refused.
Status replaceUserFile(const std::filesystem::path& path, std::string_view content);

// The file a path names after following symbolic links (the path itself when it is none).
std::filesystem::path followSymlinks(const std::filesystem::path& path);

}  // namespace tsubame
