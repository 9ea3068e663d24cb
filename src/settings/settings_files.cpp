#include "settings/settings_files.h"

#include "core/cp932.h"
#include "settings/settings_file_read.h"

namespace tsubame {

namespace {
constexpr const char* kSection = "EXEINI";
}

int SettingsFiles::readWindowOption(const std::string& key) const {
    return windowOptions().readInt(kSection, key, 0);
}

Status SettingsFiles::writeWindowOption(const std::string& key, int value) const {
    return windowOptions().writeString(kSection, key, std::to_string(value));
}

std::string SettingsFiles::readLogin(const std::string& key) const {
    return cp932ToUtf8(login().readString(kSection, key));
}

std::string SettingsFiles::readLoginAsStored(const std::string& key) const {
    return login().readString(kSection, key);
}

Status SettingsFiles::loginFileReadable() const {
    std::string content;
    bool exists = false;
    return readSettingsFile(paths_.loginFile(), content, exists);
}

Status SettingsFiles::writeLogin(const std::string& key, const std::string& value) const {
    return writeLoginAsStored(key, utf8ToCp932(value));
}

Status SettingsFiles::writeLoginAsStored(const std::string& key, const std::string& cp932) const {
    return login().writeString(kSection, key, cp932);
}

}  // namespace tsubame
