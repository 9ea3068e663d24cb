#pragma once

#include <filesystem>
#include <set>
#include <string>

#include "support/temp_folder.h"

namespace tsubame::mime_test {

// A fresh folder with an "inbox" folder in it, removed with everything in it at the end.
class TempFolder {
  public:
    explicit TempFolder(const std::string& /*name*/) {
        std::filesystem::create_directories(inbox());
    }
    const std::filesystem::path& root() const { return folder_.path(); }
    std::filesystem::path inbox() const { return folder_ / "inbox"; }

  private:
    testing::TempFolder folder_;
};

inline std::string readAll(const std::filesystem::path& path) {
    return testing::readFileBytes(path);
}

// Every regular file below folder, as paths relative to it.
inline std::set<std::string> filesBelow(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (!entry.is_directory()) names.insert(entry.path().lexically_relative(folder).string());
    return names;
}

}  // namespace tsubame::mime_test
