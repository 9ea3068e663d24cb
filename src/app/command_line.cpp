#include "app/command_line.h"

#include <algorithm>
#include <array>
#include <optional>

#include "core/app_paths.h"

namespace tsubame {
namespace {

enum class Name { Help, Version, AppFolder, Check, Send, To, Subject, BodyFile, Attach, Fortune };

struct Option {
    std::string_view name;
    Name id;
    bool takesValue;
};

constexpr std::array kOptions = {
    Option{"help", Name::Help, false},
    Option{"h", Name::Help, false},
    Option{"version", Name::Version, false},
    Option{"app-folder", Name::AppFolder, true},
    Option{"check", Name::Check, false},
    Option{"send", Name::Send, false},
    Option{"to", Name::To, true},
    Option{"subject", Name::Subject, true},
    Option{"body-file", Name::BodyFile, true},
    Option{"attach", Name::Attach, true},
    Option{"fortune", Name::Fortune, false},
};

const Option* findOption(std::string_view name) {
    const auto found = std::find_if(kOptions.begin(), kOptions.end(),
                                    [name](const Option& option) { return option.name == name; });
    return found == kOptions.end() ? nullptr : &*found;
}

Command failure(std::string message) {
    Command command;
    command.mode = Command::Mode::Error;
    command.error = std::move(message);
    return command;
}

void splitAttachments(std::string_view value, std::vector<std::string>& paths) {
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find(',', start);
        if (end == std::string_view::npos) end = value.size();
        if (end > start) paths.emplace_back(value.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace

std::filesystem::path Command::appFolderPath() const {
    return appFolder.empty() ? executableFolder() : std::filesystem::path(appFolder);
}

std::string_view commandHelpText() {
    return "Usage: tsubame [--app-folder DIR] [--check | --send OPTIONS | --help | --version]\n"
           "\n"
           "Without options the main window opens.\n"
           "\n"
           "  --app-folder DIR   application folder holding \"★MailData\" and \"添付フォルダ\"\n"
           "                     (default: $TSUBAME_APP_FOLDER, else the program's folder)\n"
           "  --check            receive new mail without windows and print the new-mail count\n"
           "  --send             send one mail without windows:\n"
           "      --to ADDRESS         recipient\n"
           "      --subject TEXT       subject\n"
           "      --body-file FILE     body, UTF-8 text\n"
           "      --attach PATH,PATH   attachments (optional)\n"
           "      --fortune            append a fortune to the body (optional)\n"
           "  --help             show this text\n"
           "  --version          show the version\n"
           "\n"
           "Server settings are kept in \"korumi.ini\" in the application folder (one in the\n"
           "working directory is read when the application folder has none).\n";
}

Command parseCommandLine(int argc, const char* const* argv, const char* envAppFolder) {
    std::vector<Name> given;
    std::optional<std::string> appFolder;
    SendCommand send;
    std::vector<std::string> unknown;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") {
            positional.insert(positional.end(), argv + i + 1, argv + argc);
            break;
        }
        if (argument.size() < 2 || argument[0] != '-') {
            positional.emplace_back(argument);
            continue;
        }
        const std::string_view word = argument.substr(argument.starts_with("--") ? 2 : 1);
        const std::size_t equals = word.find('=');
        const std::string_view name = word.substr(0, equals);
        const Option* option = findOption(name);
        if (option == nullptr) {
            unknown.emplace_back(name);
            continue;
        }
        std::string_view value;
        if (!option->takesValue) {
            if (equals != std::string_view::npos)
                return failure("Unexpected value after '" +
                               std::string(argument.substr(0, argument.find('='))) + "'.");
        } else if (equals != std::string_view::npos) {
            value = word.substr(equals + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            return failure("Missing value after '" + std::string(argument) + "'.");
        }
        given.push_back(option->id);
        switch (option->id) {
            case Name::AppFolder:
                appFolder = value;
                break;
            case Name::To:
                send.to.emplace_back(value);
                break;
            case Name::Subject:
                send.subject = value;
                break;
            case Name::BodyFile:
                send.bodyFile = value;
                break;
            case Name::Attach:
                splitAttachments(value, send.attachments);
                break;
            case Name::Fortune:
                send.fortune = true;
                break;
            default:
                break;
        }
    }
    if (unknown.size() == 1) return failure("Unknown option '" + unknown.front() + "'.");
    if (!unknown.empty()) {
        std::string list;
        for (const std::string& name : unknown) list += (list.empty() ? "" : ", ") + name;
        return failure("Unknown options: " + list + ".");
    }
    if (!positional.empty()) return failure("unexpected argument: " + positional.front());

    const auto isSet = [&given](Name name) {
        return std::find(given.begin(), given.end(), name) != given.end();
    };
    Command command;
    command.appFolder = appFolder ? *appFolder : envAppFolder ? envAppFolder : "";
    if (appFolder && appFolder->empty()) return failure("--app-folder needs a folder");
    if (isSet(Name::Help)) {
        command.mode = Command::Mode::Help;
        return command;
    }
    if (isSet(Name::Version)) {
        command.mode = Command::Mode::Version;
        return command;
    }
    const bool sendOptionGiven = isSet(Name::To) || isSet(Name::Subject) || isSet(Name::BodyFile) ||
                                 isSet(Name::Attach) || isSet(Name::Fortune);
    if (isSet(Name::Check) && isSet(Name::Send))
        return failure("--check and --send cannot be combined");
    if (!isSet(Name::Send) && sendOptionGiven)
        return failure("--to, --subject, --body-file, --attach and --fortune need --send");
    if (isSet(Name::Check)) {
        command.mode = Command::Mode::Check;
        return command;
    }
    if (isSet(Name::Send)) {
        for (const auto& [name, required] :
             {std::pair{"to", Name::To}, {"subject", Name::Subject}, {"body-file", Name::BodyFile}})
            if (!isSet(required)) return failure(std::string("--send needs --") + name);
        if (std::find(send.to.begin(), send.to.end(), "") != send.to.end())
            return failure("--to needs an address");
        if (send.bodyFile.empty()) return failure("--body-file needs a file");
        command.mode = Command::Mode::Send;
        command.send = std::move(send);
    }
    return command;
}

}  // namespace tsubame
