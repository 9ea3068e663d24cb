#include "core/system_error_text.h"

#include <cerrno>
#include <cstring>

namespace tsubame {

std::string systemErrorText(int code) {
    struct Entry {
        int code;
        const char* words;
    };
    static constexpr Entry kWords[] = {
        {ENOSPC, "ディスクの空きがありません"},
        {EDQUOT, "ディスクの使用量が上限に達しています"},
        {EACCES, "アクセスが許可されていません"},
        {EPERM, "この操作は許可されていません"},
        {EROFS, "書き込みできないファイルシステムです"},
        {ENOENT, "ファイルまたはフォルダがありません"},
        {EEXIST, "同じ名前のファイルが既にあります"},
        {ENOTDIR, "途中の名前がフォルダではありません"},
        {EISDIR, "フォルダです"},
        {ENAMETOOLONG, "名前が長すぎます"},
        {EFBIG, "ファイルが大きすぎます"},
        {EIO, "読み書きの途中で装置のエラーが起きました"},
        {EMFILE, "開いているファイルが多すぎます"},
        {ENFILE, "システム全体で開いているファイルが多すぎます"},
        {ENOMEM, "メモリが足りません"},
        {EBUSY, "使用中です"},
        {ELOOP, "シンボリックリンクが多すぎるか、リンクは使えません"},
        {ECONNREFUSED, "接続を拒否されました（サーバーが動いていないか、ポート番号が違います）"},
        {ETIMEDOUT, "接続が時間切れになりました"},
        {ECONNRESET, "接続が相手から切られました"},
        {EPIPE, "接続が既に切れています"},
        {EHOSTUNREACH, "サーバーまでの経路がありません"},
        {ENETUNREACH, "ネットワークに到達できません"},
        {ENETDOWN, "ネットワークが使えません"},
        {EADDRNOTAVAIL, "そのアドレスは使えません"},
        {EAFNOSUPPORT, "このアドレスの種類には対応していません"},
    };
    const char* original = std::strerror(code);
    for (const Entry& entry : kWords) {
        if (entry.code == code) return std::string(entry.words) + " (" + original + ")";
    }
    return "システムエラー " + std::to_string(code) + " (" + original + ")";
}

}  // namespace tsubame
