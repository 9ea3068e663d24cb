#pragma once

#include <QString>
#include <QStringList>

namespace tsubame {

class AppPaths;
class MailLibrary;
class StopSignals;
struct AccountSettings;

struct SendOptions {
    QString to;
    QString subject;
    QString bodyFile;  // UTF-8 text
    QStringList attachments;
    bool fortune = false;
};

// tsubame --send as Qt reads its command line (a plain one the executable sends itself,
// app/plain_send.h): the options checked, the body read, then sendCommandMail with the account
// and the login file of paths. Returns the exit code (0 sent, 1 failed or refused, with a
// message, 128 + the signal's number when SIGTERM or SIGINT stopped it).
int runSendCommand(const AppPaths& paths, const AccountSettings& account, MailLibrary& mail,
                   const SendOptions& options, StopSignals* stopSignals = nullptr);

}  // namespace tsubame
