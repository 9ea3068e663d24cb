#include "context/tls_choice.h"

#include "context/app_context.h"
#include "settings/server_settings.h"
#include "settings/trusted_certificates.h"
#include "ui/dialogs.h"

namespace tsubame {

std::map<std::string, std::string> trustedCertificatesOf(const AppContext& app) {
    return readTrustedCertificates(app.paths().trustedCertificates());
}

bool askAboutTlsProblem(AppContext& app, QWidget* parent, const MailLibrary::TlsProblem& problem,
                        const std::string& what) {
    using Kind = MailLibrary::TlsProblem::Kind;
    if (problem.kind == Kind::None) return false;
    const QString text = QString::fromStdString(what + "\n\n" + tlsProblemQuestion(problem));
    if (app.dialogs().messageBox(parent, text, QStringLiteral("確認"), BoxButtons::YesNoDefaultNo,
                                 BoxIcon::Question) != BoxAnswer::Yes)
        return false;
    Status saved;
    if (problem.kind == Kind::NoTls) {
        AccountSettings& account = app.account;
        (problem.plainName.starts_with("smtp://") ? account.SmtpServer : account.Pop3Server) =
            problem.plainName;
        saved = saveServerSettings(app.paths().serverSettingsFile(), account);
    } else {
        saved = trustCertificate(app.paths().trustedCertificates(), problem.server,
                                 problem.fingerprint);
    }
    if (!saved) {
        app.dialogs().notice(parent, QStringLiteral("設定を保存できませんでした。\n") +
                                         QString::fromStdString(saved.message()));
        return false;
    }
    app.dialogs().notice(parent, QStringLiteral("設定を保存しました。もう一度お試しください。"));
    return true;
}

}  // namespace tsubame
