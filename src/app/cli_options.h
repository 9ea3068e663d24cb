#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>

#include "app/command_line.h"

namespace tsubame {

// What the program was asked to do on its command line.
struct CliOptions {
    enum class Mode { Window, Help, Version, Check, Send, Error };
    Mode mode = Mode::Window;
    QString appFolder;  // empty: the environment's, else the executable's folder
    SendOptions send;
    QString error;  // for Mode::Error: what was wrong, for standard error
};

// Parses the arguments (the first one is the program name). envAppFolder is the value of
// TSUBAME_APP_FOLDER; --app-folder wins over it.
CliOptions parseCliOptions(const QStringList& arguments, const QString& envAppFolder);

// The run's application folder: options.appFolder's bytes as the system names them (not
// necessarily UTF-8), else the executable's folder.
std::filesystem::path appFolderPath(const CliOptions& options);

// The text of --help.
QString cliHelpText();

}  // namespace tsubame
