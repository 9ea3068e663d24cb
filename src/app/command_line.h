#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tsubame {

// What tsubame --send was given, as written (the texts in UTF-8, the paths as the file system
// names them).
struct SendCommand {
    std::vector<std::string> to;  // every --to, so that a repeated one can be refused
    std::string subject;
    std::string bodyFile;
    std::vector<std::string> attachments;  // the --attach lists split at ","
    bool fortune = false;
};

// What the program was asked to do on its command line, read once by the executable.
struct Command {
    enum class Mode { Window, Help, Version, Check, Send, Error };
    Mode mode = Mode::Window;
    std::string appFolder;  // empty: the executable's folder
    SendCommand send;
    std::string error;  // for Mode::Error: what was wrong, for standard error

    // The run's application folder.
    std::filesystem::path appFolderPath() const;
};

// argv[0] is the program's name. envAppFolder is TSUBAME_APP_FOLDER (null when unset);
// --app-folder wins over it. A single dash works as two ("-fortune" is "--fortune").
Command parseCommandLine(int argc, const char* const* argv, const char* envAppFolder);

// The text of --help.
std::string_view commandHelpText();

}  // namespace tsubame
