#include "support/temp_app_folder.h"

#include <fstream>
#include <sstream>

namespace tsubame::testing {

TempAppFolder::TempAppFolder()
    : folder_(root_.path() / "app"),
      workDir_(root_.path() / "work"),
      previousDir_(std::filesystem::current_path()) {
    for (const char* name : {"★MailData", "添付フォルダ", "■TextQuickSave", "Flash"})
        std::filesystem::create_directories(folder_ / name);
    std::filesystem::create_directories(workDir_);
    std::filesystem::current_path(workDir_);
}

TempAppFolder::~TempAppFolder() {
    std::error_code ignored;
    std::filesystem::current_path(previousDir_, ignored);
}

void TempAppFolder::write(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string TempAppFolder::read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace tsubame::testing
