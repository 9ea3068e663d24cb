#pragma once

#include <filesystem>
#include <string_view>

namespace tsubame {

// The temporary file "0.txt" in the attachment folder that holds the raw mail during its
// attachment step. It is created fresh and private: never through a link and never over a
// file that is already there (a user's own "0.txt" is left alone, and a file of another name
// is used instead). Removed when this object goes, and only if this object created it.
class ScratchMailFile {
  public:
    ScratchMailFile(const std::filesystem::path& folder, std::string_view rawMail);
    ~ScratchMailFile();
    ScratchMailFile(const ScratchMailFile&) = delete;
    ScratchMailFile& operator=(const ScratchMailFile&) = delete;

    // Empty when no file could be made (the decoder is given the mail in memory anyway).
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace tsubame
