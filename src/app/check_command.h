#pragma once

#include <filesystem>

namespace tsubame {

class AppPaths;
class MailLibrary;
class StopSignals;

// What the check tells when the saved login is incomplete (UTF-8).
inline constexpr const char* kLoginMissingNotice =
    "ID またはパスワードが保存されていません。「初期設定」の「ID/PASS」で保存してください。";

// tsubame --check: the receive button's check without windows, and without Qt. Its message
// boxes go to standard error as "title: text"; it prints the new-mail count. Returns the exit
// code (0 completed, 1 failed, 75 data folder busy, 128 + the signal's number when SIGTERM
// or SIGINT stopped it).
int runCheckCommand(const AppPaths& paths, MailLibrary& mail, StopSignals* stopSignals = nullptr);

// The whole --check run for the application folder: the stop signals, the user's locale and
// the program's mail library around runCheckCommand.
int runCheckProgram(const std::filesystem::path& appFolder);

}  // namespace tsubame
