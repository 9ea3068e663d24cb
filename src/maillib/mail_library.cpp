#include "maillib/mail_library.h"

#include "core/cp932.h"

namespace tsubame {

int MailLibrary::giveMessage(std::string_view message, std::string& buffer, int& size) {
    const std::size_t limit = size > 0 ? static_cast<std::size_t>(size - 1) : 0;
    buffer = std::string(message.substr(0, cp932SafeCut(message, limit)));
    size = static_cast<int>(buffer.size());
    return 1;
}

std::string tlsProblemAdvice(const MailLibrary::TlsProblem& problem,
                             const std::filesystem::path& settingsFile,
                             const std::filesystem::path& trustFile) {
    using Kind = MailLibrary::TlsProblem::Kind;
    if (problem.kind == Kind::NoTls) {
        return "暗号化せずにログインしてよい場合は、「" + settingsFile.string() +
               "」のサーバー名を「" + problem.plainName +
               "」にしてください（初期設定の画面でも変えられます）。";
    }
    if (problem.kind == Kind::UntrustedCertificate) {
        return "この証明書を信頼してよい場合は、ウィンドウから受信・送信して確かめるか、「" +
               trustFile.string() + "」に次の 1 行を書き加えてください:\n" + problem.server + " " +
               problem.fingerprint;
    }
    return {};
}

std::string tlsProblemQuestion(const MailLibrary::TlsProblem& problem) {
    using Kind = MailLibrary::TlsProblem::Kind;
    if (problem.kind == Kind::NoTls) {
        return "サーバー " + problem.server +
               " は暗号化通信に対応していません。\nユーザー名とパスワードを暗号化せずに送ってもよい"
               "ですか？"
               "（「はい」でサーバー名を「" +
               problem.plainName + "」に変えて保存します。次からは確かめません）";
    }
    if (problem.kind == Kind::UntrustedCertificate) {
        return std::string(problem.changed
                               ? "サーバー " + problem.server +
                                     " の証明書が、以前に信頼したものから変わりました。\n"
                               : "サーバー " + problem.server + " の証明書を確認できません。\n") +
               problem.reason + "\n\nSHA-256 指紋: " + problem.fingerprint +
               "\n発行先: " + problem.subject + "\n発行者: " + problem.issuer +
               "\n有効期間: " + problem.notBefore + " 〜 " + problem.notAfter +
               "\n\nこのサーバーについて、この証明書を信頼しますか？";
    }
    return {};
}

}  // namespace tsubame
