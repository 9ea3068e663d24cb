#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <filesystem>

#include "support/mail_servers.h"
#include "support/temp_folder.h"

namespace tsubame::testing {
namespace {

namespace fs = std::filesystem;

// Reads a stored mail with Python's own MIME parser, which shares nothing with ours, and
// prints subject, plain-text body and attachments as JSON.
constexpr const char* kParser = R"(
import base64, email, json, sys
from email import policy
with open(sys.argv[1], 'rb') as f:
    msg = email.message_from_binary_file(f, policy=policy.default)
body = msg.get_body(preferencelist=('plain',))
print(json.dumps({
    'subject': str(msg['subject']),
    'to': str(msg['to']),
    'from': str(msg['from']),
    'body': body.get_content().replace('\r\n', '\n') if body else None,
    'attachments': [{'name': p.get_filename(),
                     'data': base64.b64encode(p.get_payload(decode=True)).decode()}
                    for p in msg.iter_attachments()],
}))
)";

fs::path onlyMail(const fs::path& maildir) {
    for (const char* sub : {"new", "cur"}) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(maildir / sub, error)) return entry.path();
    }
    return {};
}

TEST(SendCommandRealServerTest, JapaneseMailWithTwoAttachmentsArrivesIntact) {
    // The test runs from <build>/tests; TSUBAME_BUILD_DIR names the build folder when set.
    QString buildDir = qEnvironmentVariable("TSUBAME_BUILD_DIR");
    if (buildDir.isEmpty()) buildDir = QCoreApplication::applicationDirPath() + "/..";
    const fs::path program = fs::path(buildDir.toStdString()) / "src" / "app" / "tsubame";
    if (!fs::exists(program)) GTEST_SKIP() << "no executable at " << program;
    if (!fs::exists("/usr/bin/python3")) GTEST_SKIP() << "no /usr/bin/python3";
    SmtpTestServer server;
    if (!server.ok()) GTEST_SKIP() << "SMTP test server did not start: " << server.log();

    TempFolder folder;
    fs::create_directory(folder / "★MailData");
    fs::create_directory(folder / "work");
    writeFileBytes(
        folder / "work" / "korumi.ini",
        "SMTP=" + server.serverName() + "\r\nPOP3=\r\nMAIL=sender@example.com\r\nAPOP=0\r\n");
    const std::string body =
        "山田様\nいつもお世話になっております。\n資料を二つ添付いたします。\n"
        "ご確認のほど、よろしくお願い申し上げます。\n";
    writeFileBytes(folder / "body.txt", body);
    std::string binary;
    for (int i = 0; i < 3000; ++i) binary.push_back(static_cast<char>((i * 37) & 0xFF));
    const std::string text = "表計算の数字: 1,234\n二行目\n";
    writeFileBytes(folder / "data.bin", binary);
    writeFileBytes(folder / "メモ.txt", text);
    const QString subject = QStringLiteral("【ご案内】来週の打ち合わせについて");

    QProcess tsubame;
    tsubame.setWorkingDirectory(QString::fromStdString((folder / "work").string()));
    tsubame.start(QString::fromStdString(program.string()),
                  {"--app-folder", QString::fromStdString(folder.path().string()), "--send", "--to",
                   "recipient@example.com", "--subject", subject, "--body-file",
                   QString::fromStdString((folder / "body.txt").string()), "--attach",
                   QString::fromStdString((folder / "data.bin").string() + "," +
                                          (folder / "メモ.txt").string())});
    ASSERT_TRUE(tsubame.waitForFinished(60000));
    ASSERT_EQ(tsubame.exitCode(), 0) << tsubame.readAllStandardError().toStdString() << "\n"
                                     << server.log();

    const fs::path stored = onlyMail(server.maildir());
    ASSERT_FALSE(stored.empty()) << server.log();
    QProcess parser;
    parser.start("/usr/bin/python3", {"-c", kParser, QString::fromStdString(stored.string())});
    ASSERT_TRUE(parser.waitForFinished(30000));
    ASSERT_EQ(parser.exitCode(), 0) << parser.readAllStandardError().toStdString();
    const QJsonObject mail = QJsonDocument::fromJson(parser.readAllStandardOutput()).object();

    EXPECT_EQ(mail["subject"].toString(), subject);
    EXPECT_EQ(mail["to"].toString(), "recipient@example.com");
    EXPECT_EQ(mail["from"].toString(), "sender@example.com");
    // The transfer may end the body with one more line break; the text itself is unchanged.
    QString received = mail["body"].toString();
    while (received.endsWith('\n')) received.chop(1);
    EXPECT_EQ(received, QString::fromUtf8(body).chopped(1));
    const QJsonArray attachments = mail["attachments"].toArray();
    ASSERT_EQ(attachments.size(), 2);
    EXPECT_EQ(attachments[0].toObject()["name"].toString(), "data.bin");
    EXPECT_EQ(QByteArray::fromBase64(attachments[0].toObject()["data"].toString().toLatin1()),
              QByteArray::fromStdString(binary));
    EXPECT_EQ(attachments[1].toObject()["name"].toString(), QStringLiteral("メモ.txt"));
    EXPECT_EQ(QByteArray::fromBase64(attachments[1].toObject()["data"].toString().toLatin1()),
              QByteArray::fromStdString(text));
}

}  // namespace
}  // namespace tsubame::testing
