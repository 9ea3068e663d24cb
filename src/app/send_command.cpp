#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "app/command_line.h"
#include "app/send_command_mail.h"

namespace tsubame {
namespace {

void printError(const QString& text) { std::fprintf(stderr, "%s\n", text.toUtf8().constData()); }

// Lone LF and lone CR become CR LF, the line break the send call expects.
std::string withCrLf(const QString& text) {
    QString normalised = text;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normalised.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    normalised.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return normalised.toStdString();
}

// The attachment list as the send call takes it; nullopt (after a message) on a bad path.
std::optional<std::string> attachmentList(const QStringList& paths) {
    QStringList full;
    for (const QString& path : paths) {
        if (path.isEmpty()) continue;
        QFileInfo info(path);
        if (!info.isFile()) {
            printError(QStringLiteral("添付ファイルが見つかりません: %1").arg(path));
            return std::nullopt;
        }
        QString absolute = info.absoluteFilePath();
        // The list is comma separated, so a comma inside a path would split it.
        if (absolute.contains(QLatin1Char(','))) {
            printError(QStringLiteral("「,」を含むパスは添付できません: %1").arg(absolute));
            return std::nullopt;
        }
        full << absolute;
    }
    return QFile::encodeName(full.join(QLatin1Char(','))).toStdString();
}

// --to names one recipient: a comma or a line break would add others behind the user's back.
bool isSingleRecipient(const QString& to) {
    return !to.contains(QLatin1Char(',')) && !to.contains(QLatin1Char('\n')) &&
           !to.contains(QLatin1Char('\r'));
}

}  // namespace

// The caller has loaded the server settings and started the mail library, as for the
// main window.
int runSendCommand(const AppPaths& paths, const AccountSettings& account, MailLibrary& mail,
                   const SendOptions& options, StopSignals* stopSignals) {
    if (!isSingleRecipient(options.to)) {
        printError(
            QStringLiteral("--to には宛先を 1 つだけ指定してください (「,」や改行は使えません): %1")
                .arg(options.to));
        return 1;
    }
    QFile bodyFile(options.bodyFile);
    if (!bodyFile.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("本文ファイルを開けません: %1").arg(options.bodyFile));
        return 1;
    }
    const QString body = QString::fromUtf8(bodyFile.readAll());
    std::optional<std::string> attachments = attachmentList(options.attachments);
    if (!attachments) return 1;

    OutgoingMessage message;
    message.subject = options.subject.toStdString();
    message.body = withCrLf(body);
    message.attachments = *attachments;
    message.fortune = options.fortune;
    return sendCommandMail(paths, account, mail, options.to.toStdString(), std::move(message),
                           stopSignals);
}

}  // namespace tsubame
