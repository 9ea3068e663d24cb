#pragma once

#include <filesystem>
#include <string>

#include "core/app_paths.h"
#include "support/temp_folder.h"

namespace tsubame::testing {

// A fresh application folder with the installed folders ("★MailData", "添付フォルダ",
// "■TextQuickSave", "Flash"), and a fresh working directory (the process's, for the lifetime
// of the object). The previous working directory comes back at destruction.
class TempAppFolder {
  public:
    TempAppFolder();
    ~TempAppFolder();
    TempAppFolder(const TempAppFolder&) = delete;
    TempAppFolder& operator=(const TempAppFolder&) = delete;

    const std::filesystem::path& folder() const { return folder_; }
    std::filesystem::path workDir() const { return workDir_; }
    AppPaths paths() const { return AppPaths(folder_); }
    std::filesystem::path dataFile(const std::string& name) const {
        return folder_ / "★MailData" / name;
    }
    // The server settings of the application folder, and one left in the working directory.
    std::filesystem::path korumiIni() const { return folder_ / "korumi.ini"; }
    std::filesystem::path workDirKorumiIni() const { return workDir_ / "korumi.ini"; }

    // Whole-file helpers for setting up and checking files (bytes as stored).
    static void write(const std::filesystem::path& path, const std::string& bytes);
    static std::string read(const std::filesystem::path& path);

  private:
    TempFolder root_;
    std::filesystem::path folder_;
    std::filesystem::path workDir_;
    std::filesystem::path previousDir_;
};

}  // namespace tsubame::testing
