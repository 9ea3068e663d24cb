#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace tsubame {

// Whether the mail a staged file ("<staging folder>/<file>") was linked for is stored; nothing
// when this application folder's journal does not know the file.
using StagedFileStored = std::function<std::optional<bool>(const std::string& stagedFile)>;

// Removes from the attachment folder what a killed check left there and nothing else: files
// and staging folders of the temporary names whose process is gone (another application
// folder may share the attachment folder, and its running check keeps its own), and scratch
// files that carry the check's mark. A staged file that already has its attachment name too
// goes with that name when its mail was not stored (the mail is still on the server and
// brings it again), alone when it was; a staging folder with a file the journal does not
// know belongs to another application folder's check and stays for that one's next check.
// Only while the data folder lock is held.
void removeCheckLeftovers(const std::filesystem::path& attachmentFolder,
                          const StagedFileStored& stored);

}  // namespace tsubame
