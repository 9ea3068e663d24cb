#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "support/built_program.h"
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
    'bcc': msg['bcc'],
    'body': body.get_content().replace('\r\n', '\n') if body else None,
    'attachments': [{'name': p.get_filename(), 'type': p.get_content_type(),
                     'charset': p.get_content_charset(),
                     'data': base64.b64encode(p.get_payload(decode=True)).decode()}
                    for p in msg.iter_attachments()],
}))
)";

// A FIFO whose writer writes content once a reader opens it, as from a shell's process
// substitution; a writer still waiting at the end is let go.
struct FifoWriter {
    FifoWriter(const fs::path& path, const std::string& content) : path(path) {
        ::mkfifo(path.c_str(), 0600);
        writer = std::thread([=] { std::ofstream(path, std::ios::binary) << content; });
    }
    ~FifoWriter() {
        const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
        writer.join();
        ::close(reader);
    }
    fs::path path;
    std::thread writer;
};

// Runs "tsubame --send" against server with the given texts and attachments, and reads the
// stored mail back with Python's parser. throughFifo: the body comes from a FIFO. peakKib: the
// program's peak memory, taken by a small parent (a child's peak counts its starter's memory).
QJsonObject sendAndReadBack(const SmtpTestServer& server, const TempFolder& folder,
                            const QString& subject, const std::string& body,
                            const QStringList& attachments, bool throughFifo = false,
                            long* peakKib = nullptr) {
    fs::create_directory(folder / "★MailData");
    fs::create_directory(folder / "work");
    writeFileBytes(
        folder / "work" / "korumi.ini",
        "SMTP=" + server.serverName() + "\r\nPOP3=\r\nMAIL=sender@example.com\r\nAPOP=0\r\n");
    const fs::path bodyFile = folder / "body.txt";
    std::optional<FifoWriter> writer;
    if (throughFifo)
        writer.emplace(bodyFile, body);
    else
        writeFileBytes(bodyFile, body);
    QProcess tsubame;
    tsubame.setWorkingDirectory(QString::fromStdString((folder / "work").string()));
    tsubame.start("/usr/bin/python3",
                  {"-c",
                   "import resource, subprocess, sys\n"
                   "code = subprocess.run(sys.argv[1:]).returncode\n"
                   "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n"
                   "sys.exit(code)\n",
                   QString::fromStdString(builtProgram().string()), "--app-folder",
                   QString::fromStdString(folder.path().string()), "--send", "--to",
                   "recipient@example.com", "--subject", subject, "--body-file",
                   QString::fromStdString(bodyFile.string()), "--attach", attachments.join(',')});
    EXPECT_TRUE(tsubame.waitForFinished(60000));
    writer.reset();
    EXPECT_EQ(tsubame.exitCode(), 0) << tsubame.readAllStandardError().toStdString() << "\n"
                                     << server.log();
    if (peakKib) *peakKib = tsubame.readAllStandardOutput().trimmed().toLong();
    const fs::path stored = firstMaildirMessage(server.maildir());
    if (stored.empty()) return {};
    QProcess parser;
    parser.start("/usr/bin/python3", {"-c", kParser, QString::fromStdString(stored.string())});
    EXPECT_TRUE(parser.waitForFinished(30000));
    EXPECT_EQ(parser.exitCode(), 0) << parser.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(parser.readAllStandardOutput()).object();
}

// Texts outside code page 932 arrive whole, from a folder whose name has them too; a text
// attachment says its charset (or goes as plain bytes); hostile file names stay names.
TEST(SendCommandRealServerTest, TextsNamesAndCharsetsArriveAsWritten) {
    TSUBAME_NEED_SERVER(fs::exists(builtProgram()), "no executable");
    TSUBAME_NEED_SERVER(fs::exists("/usr/bin/python3"), "no /usr/bin/python3");
    SmtpTestServer server;
    TSUBAME_NEED_SERVER(server.ok(), "SMTP test server did not start: " << server.log());
    TempFolder folder;
    const QString subject = QStringLiteral("絵文字😀 한국어 é ü ą 简体中文");
    const std::string body = "本文😀\n안녕하세요 Grüße ą 简体中文\n";
    struct File {
        QString name;
        std::string content;
        QString type;
        QString charset;
    };
    const std::vector<File> files = {
        {QStringLiteral("한국어 é ü ą 简体😀.txt"), "Grüße 😀 안녕\n", "text/plain", "utf-8"},
        {QStringLiteral("sjis.txt"), "\x93\xfa\x96\x7b\x8c\xea\r\n", "application/octet-stream",
         ""},
        {QStringLiteral("a\r\nBcc: evil@example.com.txt"), "x", "text/plain", "utf-8"},
        {QStringLiteral("=?UTF-8?B?ZXZpbC5leGU=?=.txt"), "y", "text/plain", "utf-8"},
    };
    fs::create_directory(folder / "😀フォルダ");
    QStringList paths;
    for (const File& file : files) {
        const fs::path path = folder / "😀フォルダ" / file.name.toStdString();
        writeFileBytes(path, file.content);
        paths << QString::fromStdString(path.string());
    }
    const QJsonObject mail = sendAndReadBack(server, folder, subject, body, paths);

    EXPECT_EQ(mail["subject"].toString(), subject);
    EXPECT_EQ(mail["body"].toString().trimmed(), QString::fromStdString(body).trimmed());
    EXPECT_TRUE(mail["bcc"].isNull()) << mail["bcc"].toString().toStdString();
    const QJsonArray attachments = mail["attachments"].toArray();
    ASSERT_EQ(attachments.size(), static_cast<int>(files.size()));
    for (std::size_t i = 0; i < files.size(); ++i) {
        const QJsonObject got = attachments[static_cast<int>(i)].toObject();
        SCOPED_TRACE(files[i].name.toStdString());
        EXPECT_EQ(got["name"].toString(), files[i].name);
        EXPECT_EQ(got["type"].toString(), files[i].type);
        EXPECT_EQ(got["charset"].toString(), files[i].charset);
        EXPECT_EQ(QByteArray::fromBase64(got["data"].toString().toLatin1()),
                  QByteArray::fromStdString(files[i].content));
    }
}

TEST(SendCommandRealServerTest, JapaneseMailWithTwoAttachmentsArrivesIntact) {
    const fs::path program = builtProgram();
    TSUBAME_NEED_SERVER(fs::exists(program), "no executable at " << program);
    TSUBAME_NEED_SERVER(fs::exists("/usr/bin/python3"), "no /usr/bin/python3");
    SmtpTestServer server;
    TSUBAME_NEED_SERVER(server.ok(), "SMTP test server did not start: " << server.log());

    TempFolder folder;
    const std::string body =
        "山田様\nいつもお世話になっております。\n資料を二つ添付いたします。\n"
        "ご確認のほど、よろしくお願い申し上げます。\n";
    std::string binary;
    for (int i = 0; i < 3000; ++i) binary.push_back(static_cast<char>((i * 37) & 0xFF));
    const std::string text = "表計算の数字: 1,234\n二行目\n";
    const FifoWriter binaryWriter(folder / "data.bin", binary);  // read once, as the body
    writeFileBytes(folder / "メモ.txt", text);
    const QString subject = QStringLiteral("【ご案内】来週の打ち合わせについて");
    const QJsonObject mail =
        sendAndReadBack(server, folder, subject, body,
                        {QString::fromStdString((folder / "data.bin").string()),
                         QString::fromStdString((folder / "メモ.txt").string())},
                        true);

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

// A large body is not copied on its way to the server: the program's peak stays within three
// times the body and what a one-line send needs.
TEST(SendCommandRealServerTest, ALargeBodyIsNotCopiedOnItsWay) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's own memory would be counted";
#endif
    TSUBAME_NEED_SERVER(fs::exists(builtProgram()), "no executable");
    TSUBAME_NEED_SERVER(fs::exists("/usr/bin/python3"), "no /usr/bin/python3");
    SmtpTestServer server;
    TSUBAME_NEED_SERVER(server.ok(), "SMTP test server did not start: " << server.log());
    TempFolder folder;
    std::string body;
    while (body.size() < 20'000'000) body += "山田様 いつもお世話になっております。line\n";
    long peakKib = 0;
    const QJsonObject mail = sendAndReadBack(server, folder, "s", body, {}, false, &peakKib);
    EXPECT_TRUE(mail["body"].toString() == QString::fromStdString(body));
    EXPECT_GT(peakKib, 0);
    EXPECT_LE(peakKib * 1024L, 3L * static_cast<long>(body.size()) + 20'000'000L);
}

}  // namespace
}  // namespace tsubame::testing
