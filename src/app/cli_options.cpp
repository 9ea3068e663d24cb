#include "app/cli_options.h"

#include <QCommandLineParser>
#include <QFile>

#include "core/app_paths.h"

namespace tsubame {
namespace {

CliOptions failure(const QString& message) {
    CliOptions options;
    options.mode = CliOptions::Mode::Error;
    options.error = message;
    return options;
}

QStringList splitAttachments(const QStringList& values) {
    QStringList paths;
    for (const QString& value : values)
        for (const QString& path : value.split(',', Qt::SkipEmptyParts)) paths << path;
    return paths;
}

}  // namespace

std::filesystem::path appFolderPath(const CliOptions& options) {
    if (options.appFolder.isEmpty()) return executableFolder();
    return std::filesystem::path(QFile::encodeName(options.appFolder).toStdString());
}

QString cliHelpText() {
    return QStringLiteral(
        "Usage: tsubame [--app-folder DIR] [--check | --send OPTIONS | --help | --version]\n"
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
        "working directory is read when the application folder has none).\n");
}

CliOptions parseCliOptions(const QStringList& arguments, const QString& envAppFolder) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"help", "h"}, {});
    const QCommandLineOption version("version", {});
    const QCommandLineOption appFolder("app-folder", {}, "DIR");
    const QCommandLineOption check("check", {});
    const QCommandLineOption send("send", {});
    const QCommandLineOption to("to", {}, "ADDRESS");
    const QCommandLineOption subject("subject", {}, "TEXT");
    const QCommandLineOption bodyFile("body-file", {}, "FILE");
    const QCommandLineOption attach("attach", {}, "PATHS");
    const QCommandLineOption fortune("fortune", {});
    parser.addOptions(
        {help, version, appFolder, check, send, to, subject, bodyFile, attach, fortune});
    if (!parser.parse(arguments)) return failure(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return failure("unexpected argument: " + parser.positionalArguments().first());

    CliOptions options;
    options.appFolder = parser.isSet(appFolder) ? parser.value(appFolder) : envAppFolder;
    if (parser.isSet(appFolder) && options.appFolder.isEmpty())
        return failure("--app-folder needs a folder");
    if (parser.isSet(help)) {
        options.mode = CliOptions::Mode::Help;
        return options;
    }
    if (parser.isSet(version)) {
        options.mode = CliOptions::Mode::Version;
        return options;
    }
    const bool sendOptionGiven = parser.isSet(to) || parser.isSet(subject) ||
                                 parser.isSet(bodyFile) || parser.isSet(attach) ||
                                 parser.isSet(fortune);
    if (parser.isSet(check) && parser.isSet(send))
        return failure("--check and --send cannot be combined");
    if (!parser.isSet(send) && sendOptionGiven)
        return failure("--to, --subject, --body-file, --attach and --fortune need --send");
    if (parser.isSet(check)) {
        options.mode = CliOptions::Mode::Check;
        return options;
    }
    if (parser.isSet(send)) {
        for (const QCommandLineOption* required : {&to, &subject, &bodyFile})
            if (!parser.isSet(*required))
                return failure("--send needs --" + required->names().first());
        if (parser.value(to).isEmpty()) return failure("--to needs an address");
        if (parser.value(bodyFile).isEmpty()) return failure("--body-file needs a file");
        options.mode = CliOptions::Mode::Send;
        options.send.to = parser.value(to);
        options.send.subject = parser.value(subject);
        options.send.bodyFile = parser.value(bodyFile);
        options.send.attachments = splitAttachments(parser.values(attach));
        options.send.fortune = parser.isSet(fortune);
    }
    return options;
}

}  // namespace tsubame
