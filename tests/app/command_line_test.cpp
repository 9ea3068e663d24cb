#include "app/command_line.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tsubame {
namespace {

using Mode = Command::Mode;
using Args = std::vector<std::string>;

Command parse(Args arguments, const char* env = nullptr) {
    arguments.insert(arguments.begin(), "tsubame");
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    return parseCommandLine(static_cast<int>(argv.size()), argv.data(), env);
}

// Each command line, the mode it asks for and, for a mistake, the message (else the folder).
TEST(CommandLineTest, ModesFoldersAndMistakes) {
    const std::vector<std::tuple<Args, const char*, Mode, std::string>> rows = {
        {{}, nullptr, Mode::Window, ""},
        {{}, "/env/folder", Mode::Window, "/env/folder"},
        {{"--app-folder", "/opt/t"}, "/env/folder", Mode::Window, "/opt/t"},
        {{"--app-folder=/opt/t"}, nullptr, Mode::Window, "/opt/t"},
        {{"-app-folder", "-x"}, nullptr, Mode::Window, "-x"},  // a value may start with a dash
        {{"--check", "--app-folder", "/a"}, nullptr, Mode::Check, "/a"},
        {{"--help"}, nullptr, Mode::Help, ""},
        {{"-h"}, nullptr, Mode::Help, ""},
        {{"--check", "--help"}, nullptr, Mode::Help, ""},
        {{"--version"}, nullptr, Mode::Version, ""},
        {{"--app-folder"}, nullptr, Mode::Error, "Missing value after '--app-folder'."},
        {{"--app-folder="}, nullptr, Mode::Error, "--app-folder needs a folder"},
        {{"--frobnicate"}, nullptr, Mode::Error, "Unknown option 'frobnicate'."},
        {{"--x", "-y", "--check"}, nullptr, Mode::Error, "Unknown options: x, y."},
        {{"--help=1"}, nullptr, Mode::Error, "Unexpected value after '--help'."},
        {{"stray"}, nullptr, Mode::Error, "unexpected argument: stray"},
        {{"--", "--check"}, nullptr, Mode::Error, "unexpected argument: --check"},
        {{"--check", "--send"}, nullptr, Mode::Error, "--check and --send cannot be combined"},
        {{"--to", "x@example.com"},
         nullptr,
         Mode::Error,
         "--to, --subject, --body-file, --attach and --fortune need --send"},
        {{"--send", "--to", "x@example.com", "--body-file", "b"},
         nullptr,
         Mode::Error,
         "--send needs --subject"},
        {{"--send", "--to", "", "--subject", "s", "--body-file", "b"},
         nullptr,
         Mode::Error,
         "--to needs an address"},
        {{"--send", "--to", "x", "--subject", "s", "--body-file="},
         nullptr,
         Mode::Error,
         "--body-file needs a file"},
    };
    for (const auto& [args, env, mode, text] : rows) {
        const Command command = parse(args, env);
        SCOPED_TRACE(args.empty() ? "" : args.front());
        EXPECT_EQ(command.mode, mode);
        EXPECT_EQ(mode == Mode::Error ? command.error : command.appFolder, text);
    }
    EXPECT_NE(commandHelpText().find("--body-file"), std::string_view::npos);
}

TEST(CommandLineTest, SendCollectsItsOptions) {
    const Command command =
        parse({"--send", "--to", "hanako@example.com", "--subject", "こんにちは", "-body-file",
               "body.txt", "--attach", "a.pdf,,b.png", "--attach=c d.txt", "--to=b@example.com",
               "-fortune"});
    ASSERT_EQ(command.mode, Mode::Send) << command.error;
    EXPECT_EQ(command.send.to, (Args{"hanako@example.com", "b@example.com"}));
    EXPECT_EQ(command.send.subject, "こんにちは");
    EXPECT_EQ(command.send.bodyFile, "body.txt");
    EXPECT_EQ(command.send.attachments, (Args{"a.pdf", "b.png", "c d.txt"}));
    EXPECT_TRUE(command.send.fortune);

    const Command plain =
        parse({"--send", "--to", "x@example.com", "--subject", "", "--body-file", "-b"});
    ASSERT_EQ(plain.mode, Mode::Send) << plain.error;
    EXPECT_EQ(plain.send.bodyFile, "-b");
    EXPECT_TRUE(plain.send.subject.empty() && plain.send.attachments.empty());
    EXPECT_FALSE(plain.send.fortune);
}

}  // namespace
}  // namespace tsubame
