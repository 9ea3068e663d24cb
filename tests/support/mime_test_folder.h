#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace tsubame::mime_test {

// A fresh folder under the temporary directory, removed with everything in it at the end.
class TempFolder {
  public:
    explicit TempFolder(const std::string& name) {
        path_ = std::filesystem::temp_directory_path() /
                ("tsubame_mime_" + name + "_" + std::to_string(::getpid()));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_ / "inbox");
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& root() const { return path_; }
    std::filesystem::path inbox() const { return path_ / "inbox"; }

  private:
    std::filesystem::path path_;
};

inline std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every regular file below folder, as paths relative to it.
inline std::set<std::string> filesBelow(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (!entry.is_directory()) names.insert(entry.path().lexically_relative(folder).string());
    return names;
}

}  // namespace tsubame::mime_test
