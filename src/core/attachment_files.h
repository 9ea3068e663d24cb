#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/content_sink.h"

namespace tsubame {

// Length of the longest prefix of utf8 not longer than limit that ends on a character.
std::size_t utf8SafeCut(std::string_view utf8, std::size_t limit);

// File names from strangers (attachments, subjects). This makes a name that can only land
// directly in the attachment folder: the last path component only (no "/" or "\"), no control
// characters, no leading dots or blanks (so no ".." and no hidden files), characters that
// Windows forbids replaced, at most kMaxFileNameBytes bytes of UTF-8 with the extension
// kept. Empty when nothing usable remains.
inline constexpr std::size_t kMaxFileNameBytes = 200;
std::string safeFileName(std::string_view utf8Name);

// The temporary name an attachment has while it is written: a hidden name (no attachment
// name starts with a dot) with this program's mark, the process id and a random part. Only
// whole files leave it, so a file of such a name is what a killed check left behind.
inline constexpr const char* kTemporaryAttachmentPrefix = ".tsubame-part-";
inline constexpr const char* kTemporaryAttachmentSuffix = ".tmp";
// A fresh name of that shape for this process: ".tsubame-part-<pid>-<12 hex digits>.tmp".
std::string temporaryAttachmentName();
// The process that made a name of exactly that shape; nothing for any other name (a user's
// ".tsubame-part-notes.tmp" included).
std::optional<pid_t> temporaryAttachmentOwner(std::string_view name);

// Gives the file source a second name in folder: name, or "stem (n).ext" as place() numbers
// them, never over an existing file. source keeps its own name, so that a process killed
// before the new name was recorded leaves a trace of it; where the file system has no hard
// links, source is renamed instead. Empty (error set) on failure.
std::filesystem::path linkUnderFreeName(const std::filesystem::path& folder,
                                        const std::string& name,
                                        const std::filesystem::path& source, std::string& error);

// Saves the attachments of one mail, all or none. Each is written as it comes under a
// temporary name; place() then gives every one its name: the numbering of names
// and the generated names run across the mail. Each goes into the folder under its name, or
// "stem (2).ext" ... "stem (9999).ext" when that exists, and past those "stem (<random>).ext":
// an existing file is never overwritten, and no name ever shows a file half written.
class AttachmentFileSaver {
  public:
    explicit AttachmentFileSaver(std::filesystem::path folder) : folder_(std::move(folder)) {}
    // Removes the temporary files of attachments never named.
    ~AttachmentFileSaver();
    AttachmentFileSaver(const AttachmentFileSaver&) = delete;
    AttachmentFileSaver& operator=(const AttachmentFileSaver&) = delete;
    // Writes one attachment (its content through write) into a new temporary file. On failure
    // every file of the mail written so far is removed again, error tells why, and false
    // comes back.
    // name: the file name wanted (already safe, see safeFileName).
    bool save(std::string name, const ContentWriter& write, std::string& error);
    // Names every saved attachment; on failure removes them all, like save().
    bool place(std::string& error);
    const std::vector<std::filesystem::path>& written() const { return written_; }
    std::vector<std::filesystem::path> takeWritten() { return std::exchange(written_, {}); }

  private:
    struct Pending {
        std::filesystem::path temp;
        std::string name;
    };
    void discard();

    std::filesystem::path folder_;
    std::vector<Pending> pending_;
    std::vector<std::filesystem::path> written_;
    std::map<std::string, int> nextNumber_;
};

}  // namespace tsubame
