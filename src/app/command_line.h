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

// tsubame --send: one mail with the compose window's send call and settings (account, and the
// login file of paths). Returns the exit code (0 sent, 1 failed, with the library's error text
// printed, 128 + the signal's number when SIGTERM or SIGINT stopped it). It needs no window
// and no AppContext, so that the program sends without loading Qt's GUI libraries.
int runSendCommand(const AppPaths& paths, const AccountSettings& account, MailLibrary& mail,
                   const SendOptions& options, StopSignals* stopSignals = nullptr);

}  // namespace tsubame
