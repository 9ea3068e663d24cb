#pragma once

#include <filesystem>

namespace tsubame {

// Removes from the attachment folder what a killed check left there and nothing else: files
// of the attachments' temporary names and scratch files that carry the check's mark. Only
// while the data folder lock is held, so that no running check's files are taken.
void removeCheckLeftovers(const std::filesystem::path& attachmentFolder);

}  // namespace tsubame
