#pragma once

#include <filesystem>
#include <string>

#include "core/status.h"

namespace tsubame {

// Reads a whole settings file. Only a regular file (or a link to one) is read: a folder, a
// FIFO or a device of that name is refused without being opened for reading, so that it can
// neither hang the program nor feed it endless data. exists is false for a missing file,
// which is no error.
Status readSettingsFile(const std::filesystem::path& path, std::string& content, bool& exists);

// The same for a file from a folder others may write: the file opened is read only when it
// belongs to this user and neither its group nor others may write it (checked on the open
// file, so that a file swapped in after a check by name is never read). untrusted comes back
// true (and nothing is read, no error) when it does not.
Status readOwnSettingsFile(const std::filesystem::path& path, std::string& content, bool& exists,
                           bool& untrusted);

}  // namespace tsubame
