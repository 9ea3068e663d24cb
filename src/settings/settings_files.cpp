#include "settings/settings_files.h"

#include "core/cp932.h"

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

Status SettingsFiles::writeLogin(const std::string& key, const std::string& value) const {
    return login().writeString(kSection, key, utf8ToCp932(value));
}

}  // namespace tsubame
