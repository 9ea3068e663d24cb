#include "app/cli_options.h"

#include <gtest/gtest.h>

namespace tsubame {
namespace {

using Mode = CliOptions::Mode;

CliOptions parse(QStringList arguments, const QString& env = {}) {
    arguments.prepend("tsubame");
    return parseCliOptions(arguments, env);
}

TEST(CliOptionsTest, NoOptionsOpensTheWindowsInTheDefaultFolder) {
    const CliOptions options = parse({});
    EXPECT_EQ(options.mode, Mode::Window);
    EXPECT_TRUE(options.appFolder.isEmpty());
}

TEST(CliOptionsTest, AppFolderOptionWinsOverTheEnvironment) {
    EXPECT_EQ(parse({}, "/env/folder").appFolder, "/env/folder");
    EXPECT_EQ(parse({"--app-folder", "/opt/t"}, "/env/folder").appFolder, "/opt/t");
    EXPECT_EQ(parse({"--app-folder=/opt/t"}).appFolder, "/opt/t");
    EXPECT_EQ(parse({"--app-folder"}).mode, Mode::Error);
    EXPECT_EQ(parse({"--app-folder="}).mode, Mode::Error);
}

TEST(CliOptionsTest, HelpVersionAndCheck) {
    EXPECT_EQ(parse({"--help"}).mode, Mode::Help);
    EXPECT_EQ(parse({"-h"}).mode, Mode::Help);
    EXPECT_EQ(parse({"--version"}).mode, Mode::Version);
    const CliOptions check = parse({"--check", "--app-folder", "/a"});
    EXPECT_EQ(check.mode, Mode::Check);
    EXPECT_EQ(check.appFolder, "/a");
    EXPECT_TRUE(cliHelpText().contains("--body-file"));
}

TEST(CliOptionsTest, SendCollectsItsOptions) {
    const CliOptions options =
        parse({"--send", "--to", "hanako@example.com", "--subject", "こんにちは", "--body-file",
               "body.txt", "--attach", "a.pdf,b.png", "--attach", "c d.txt", "--fortune"});
    ASSERT_EQ(options.mode, Mode::Send) << options.error.toStdString();
    EXPECT_EQ(options.send.to, "hanako@example.com");
    EXPECT_EQ(options.send.subject, "こんにちは");
    EXPECT_EQ(options.send.bodyFile, "body.txt");
    EXPECT_EQ(options.send.attachments, (QStringList{"a.pdf", "b.png", "c d.txt"}));
    EXPECT_TRUE(options.send.fortune);

    const CliOptions plain =
        parse({"--send", "--to", "x@example.com", "--subject", "", "--body-file", "b"});
    ASSERT_EQ(plain.mode, Mode::Send) << plain.error.toStdString();
    EXPECT_TRUE(plain.send.subject.isEmpty());
    EXPECT_TRUE(plain.send.attachments.isEmpty());
    EXPECT_FALSE(plain.send.fortune);
}

TEST(CliOptionsTest, IncompleteOrContradictoryCommandsAreRefused) {
    const CliOptions noSubject = parse({"--send", "--to", "x@example.com", "--body-file", "b"});
    EXPECT_EQ(noSubject.mode, Mode::Error);
    EXPECT_TRUE(noSubject.error.contains("--subject"));
    EXPECT_EQ(parse({"--send", "--to", "", "--subject", "s", "--body-file", "b"}).mode,
              Mode::Error);
    EXPECT_EQ(parse({"--to", "x@example.com"}).mode, Mode::Error);
    EXPECT_EQ(parse({"--check", "--send"}).mode, Mode::Error);
    EXPECT_EQ(parse({"--frobnicate"}).mode, Mode::Error);
    EXPECT_EQ(parse({"stray"}).mode, Mode::Error);
}

}  // namespace
}  // namespace tsubame
