#pragma once

#include <filesystem>
#include <functional>

#include "core/status.h"

namespace tsubame {

// Runs write under the lock of lockFile (see DataFolderLock), beside the GUI thread, so that
// neither a wait for another writer nor a long write freezes the windows. When the lock is
// not free at once, waiting runs on the GUI thread first, so that the window can say why
// nothing happens yet. A writer that keeps the lock too long makes it fail without a change.
Status writeUnderLock(const std::filesystem::path& lockFile, const std::function<Status()>& write,
                      const std::function<void()>& waiting = {});

}  // namespace tsubame
