#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "core/file_io.h"

namespace tsubame {

// The temporary file "0.txt" in the attachment folder that holds the raw mail during its
// attachment step. It is created fresh and private: never through a link and never over a
// file that is already there (a user's own "0.txt" is left alone, and a file of another name
// is used instead). Removed when this object goes, and only if this object created it.
//
// The mail is written into it piece by piece and then read back through a read-only mapping,
// so that the decoder never needs another copy of the mail in memory. A mark before the mail
// tells the file from a user's own "0.txt" when a killed check left it behind.
class ScratchMailFile {
  public:
    explicit ScratchMailFile(const std::filesystem::path& folder);
    ~ScratchMailFile();
    ScratchMailFile(const ScratchMailFile&) = delete;
    ScratchMailFile& operator=(const ScratchMailFile&) = delete;

    // Adds bytes at the end; a failed write spoils the file for mapped().
    void append(std::string_view bytes);
    // Everything appended, read-only, valid while this object lives. Empty when the file
    // could not be made, written or mapped (the caller then gives the mail from memory).
    std::string_view mapped();

    // Empty when no file could be made.
    const std::filesystem::path& path() const { return path_; }

    // True for a scratch file a killed check left: its name and its first bytes say so.
    static bool isLeftover(const std::filesystem::path& file);

  private:
    bool flush();
    std::filesystem::path path_;
    UniqueFd fd_;
    bool spoiled_ = false;
    std::string buffer_;
    std::size_t size_ = 0;
    void* mapping_ = nullptr;
};

}  // namespace tsubame
