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

}  // namespace tsubame
