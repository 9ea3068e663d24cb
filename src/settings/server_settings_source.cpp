#include "settings/server_settings_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include "settings/server_settings.h"
#include "settings/settings_file_read.h"

namespace tsubame {

ServerSettingsSource loadServerSettingsOfRun(const AppPaths& paths, AccountSettings& settings) {
    ServerSettingsSource source;
    const std::filesystem::path own = paths.serverSettingsFile();
    const std::filesystem::path left = paths.serverSettingsFileToRead();
    struct stat info {};
    if (left != own && ::stat(left.c_str(), &info) == 0 &&
        (info.st_uid != ::geteuid() || (info.st_mode & S_IWOTH) != 0)) {
        source.notice = "作業フォルダーの「" + left.string() +
                        "」は、持ち主がこのユーザーでないか、ほかのユーザーも書き込めるため、"
                        "サーバー設定として読み込みませんでした。";
        return source;
    }
    std::string content;
    bool exists = false;
    if (Status st = readSettingsFile(left, content, exists); !st) {
        source.unreadable = true;
        source.notice =
            st.message() + "（サーバー設定は空のまま始めます。このファイルは上書きしません）";
        return source;
    }
    if (!exists) return source;
    parseServerSettings(content, settings);
    source.file = left;
    if (left != own) {
        source.notice = "サーバー設定を作業フォルダーの「" + left.string() +
                        "」から読み込みました。保存するとアプリケーションフォルダーの「" +
                        own.string() + "」に書きます。";
    }
    return source;
}

}  // namespace tsubame
