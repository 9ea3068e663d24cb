#pragma once

#include <QString>
#include <QStringList>

namespace tsubame {

class AppContext;

struct SendOptions {
    QString to;
    QString subject;
    QString bodyFile;  // UTF-8 text
    QStringList attachments;
    bool fortune = false;
};

// tsubame --check: the receive button's check without windows. Prints the new-mail count;
// returns the exit code (0 completed, 1 failed).
int runCheckCommand(AppContext& app);

// tsubame --send: one mail with the compose window's send call and settings. Returns the exit
// code (0 sent, 1 failed, with the library's error text printed).
int runSendCommand(AppContext& app, const SendOptions& options);

}  // namespace tsubame
