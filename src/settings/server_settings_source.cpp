#include "settings/server_settings_source.h"

#include "settings/server_settings.h"
#include "settings/settings_file_read.h"

namespace tsubame {

ServerSettingsSource loadServerSettingsOfRun(const AppPaths& paths, AccountSettings& settings) {
    ServerSettingsSource source;
    const std::filesystem::path own = paths.serverSettingsFile();
    const std::filesystem::path left = paths.serverSettingsFileToRead();
    std::string content;
    bool exists = false;
    bool untrusted = false;
    // The working folder's file is judged on the file opened, which is the file read.
    const Status st = left == own ? readSettingsFile(left, content, exists)
                                  : readOwnSettingsFile(left, content, exists, untrusted);
    if (untrusted) {
        source.notice = "作業フォルダーの「" + left.string() +
                        "」は、持ち主がこのユーザーでないか、ほかのユーザーも書き込めるため、"
                        "サーバー設定として読み込みませんでした。";
        return source;
    }
    if (!st) {
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
