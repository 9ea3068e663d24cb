#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "core/cp932.h"
#include "mime/mime_decode.h"
#include "smtp/smtp_header_encode.h"
#include "smtp/smtp_send.h"
#include "support/mail_servers.h"
#include "support/mail_servers_process.h"
#include "support/mime_test_folder.h"
#include "support/pop3_test_helpers.h"

namespace tsubame {
namespace {

using mime_test::readAll;
using mime_test::TempFolder;

using testing::ScopedEnv;

std::string hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (char c : bytes) {
        out.push_back(kDigits[static_cast<unsigned char>(c) >> 4]);
        out.push_back(kDigits[static_cast<unsigned char>(c) & 15]);
    }
    return out;
}

// Reads a delivered mail with Python's email package, an independent MIME parser: subject,
// text body and attachments, each as hex so that no byte gets lost on the way.
std::map<std::string, std::string> readWithPython(const std::filesystem::path& file) {
    const std::string script =
        "import sys, email, email.policy\n"
        "m = email.message_from_binary_file(open(sys.argv[1], 'rb'), policy=email.policy.default)\n"
        "fix = lambda s: s.replace('\\u301c', '\\uff5e')\n"  // JIS 0x2141 as code page 932 reads it
        "print('subject', fix(str(m['subject'])).encode().hex())\n"
        "print('body', fix(m.get_body(('plain',)).get_content()).encode().hex())\n"
        "for part in m.iter_attachments():\n"
        "    print('file:' + part.get_filename().encode().hex(), "
        "part.get_payload(decode=True).hex())\n";
    const std::filesystem::path scriptFile = file.parent_path().parent_path() / "read_mail.py";
    std::ofstream(scriptFile) << script;
    std::map<std::string, std::string> fields;
    FILE* pipe =
        ::popen(("/usr/bin/python3 " + scriptFile.string() + " " + file.string()).c_str(), "r");
    if (!pipe) return fields;
    std::string output;  // lines of any length: an attachment's hex is one line
    char chunk[1 << 16];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        output.append(chunk, n);
    ::pclose(pipe);
    std::istringstream lines(output);
    for (std::string text; std::getline(lines, text);) {
        if (!text.empty() && text.back() == '\r') text.pop_back();
        const std::size_t blank = text.find(' ');
        if (blank != std::string::npos) fields[text.substr(0, blank)] = text.substr(blank + 1);
    }
    return fields;
}

class SmtpRealServer : public ::testing::Test {
  protected:
    static testing::SmtpTestServer::Options starttlsOptions() {
        testing::SmtpTestServer::Options options;
        options.starttls = true;
        return options;
    }

    OutgoingMail japaneseMail(const std::string& server) {
        OutgoingMail mail;
        mail.server = server;
        mail.from = "sender@example.jp";
        mail.to = "tester@example.jp";
        mail.subject = utf8ToCp932("会議資料の送付～ご確認ください（第二版）");
        mail.body = utf8ToCp932("山田様\r\n\r\n資料を送ります。\r\n.先頭のドット\r\n以上～\r\n");
        return mail;
    }

    std::string binaryContent() {
        std::string bytes;
        for (int i = 0; i < 70000; ++i) bytes.push_back(static_cast<char>(i * 7 % 256));
        // The end-of-data mark inside the data; longer than the pieces an attachment is sent in.
        return bytes + "\r\n.\r\n" + bytes;
    }

    TempFolder files_{"smtp_files"};
};

TEST_F(SmtpRealServer, JapaneseMailWithTwoAttachmentsRoundTripsOverStarttls) {
    testing::SmtpTestServer server(starttlsOptions());
    TSUBAME_NEED_SERVER(server.ok(), "aiosmtpd not available: " << server.log());
    ScopedEnv ca("TSUBAME_CA_FILE", server.caFile().string());

    const std::string binary = binaryContent();
    const std::string memo = utf8ToCp932("メモ：①と㈱も入っています\r\n");
    std::ofstream(files_.inbox() / "見積書 第1版.bin", std::ios::binary) << binary;
    std::ofstream(files_.inbox() / "説明メモ①.txt", std::ios::binary) << memo;
    OutgoingMail mail = japaneseMail(server.serverName());
    mail.attachments = {utf8ToCp932((files_.inbox() / "見積書 第1版.bin").string()),
                        utf8ToCp932((files_.inbox() / "説明メモ①.txt").string())};
    std::string error;
    ASSERT_EQ(sendMail(mail, error), 0) << cp932ToUtf8(error) << "\n" << server.log();
    ASSERT_EQ(server.messageCount(), 1);

    // Read back with this library's own decoder.
    const std::string delivered = readAll(testing::firstMaildirMessage(server.maildir()));
    TempFolder received("smtp_received");
    DecodedMail decoded;
    ASSERT_EQ(decodeMailAndSaveAttachments(delivered, received.inbox(), decoded, error), 1);
    EXPECT_EQ(cp932ToUtf8(decoded.headers.subject), cp932ToUtf8(mail.subject));
    EXPECT_EQ(cp932ToUtf8(decoded.body), cp932ToUtf8(mail.body));
    EXPECT_EQ(cp932ToUtf8(decoded.headers.from), "sender@example.jp");
    EXPECT_EQ(readAll(received.inbox() / "見積書 第1版.bin"), binary);
    EXPECT_EQ(readAll(received.inbox() / "説明メモ①.txt"), memo);

    // And with Python's email package.
    std::filesystem::path deliveredFile;
    for (const auto& entry : std::filesystem::directory_iterator(server.maildir() / "new"))
        deliveredFile = entry.path();
    const auto python = readWithPython(deliveredFile);
    EXPECT_EQ(python.count("subject"), 1u) << "python3 could not read the mail";
    EXPECT_EQ(python.at("subject"), hex(cp932ToUtf8(mail.subject)));
    // Python's text ends each line with LF.
    std::string bodyLf = cp932ToUtf8(mail.body);
    for (std::size_t p; (p = bodyLf.find("\r\n")) != std::string::npos;) bodyLf.replace(p, 2, "\n");
    EXPECT_EQ(python.at("body"), hex(bodyLf));
    EXPECT_EQ(python.at("file:" + hex("見積書 第1版.bin")), hex(binary));
    EXPECT_EQ(python.at("file:" + hex("説明メモ①.txt")), hex(memo));
}

TEST_F(SmtpRealServer, LogsInWhenTheServerOffersAuth) {
    testing::SmtpTestServer::Options options = starttlsOptions();
    options.authUser = "smtpuser";
    options.authPassword = "pa55";
    testing::SmtpTestServer server(options);
    TSUBAME_NEED_SERVER(server.ok(), "aiosmtpd not available: " << server.log());
    ScopedEnv ca("TSUBAME_CA_FILE", server.caFile().string());
    OutgoingMail mail = japaneseMail(server.serverName());
    mail.userId = "smtpuser";
    mail.password = "wrong";
    std::string error;
    EXPECT_LT(sendMail(mail, error), 0);
    EXPECT_NE(cp932ToUtf8(error).find("ログイン"), std::string::npos) << cp932ToUtf8(error);
    EXPECT_EQ(server.messageCount(), 0);
    mail.password = "pa55";
    EXPECT_EQ(sendMail(mail, error), 0) << cp932ToUtf8(error);
    EXPECT_EQ(server.messageCount(), 1);
}

// A server that offers AUTH without STARTTLS never sees the login unless the name says smtp://:
// it gets the mail without one, or, when it insists on a login, nothing at all and the user is
// told why. A refusal reaches the user in the server's words, with the address.
TEST_F(SmtpRealServer, LoginNeverTravelsInClearTextAndRefusalsAreTold) {
    struct Case {
        std::string serverArg;  // "--require-auth", or a "VERB=reply" for --reply
        const char* scheme;     // "smtp://" lets the login go in clear
        bool sent;
        std::vector<std::string> told;  // in the error text; empty: no error
    };
    const std::string tooLarge = "552 5.3.4 Message size exceeds fixed limit";
    const std::string unknown = "550 5.1.1 <tester@example.jp>: Recipient address rejected";
    const std::string authNeeded = "550 5.7.0 Authentication required";
    const Case cases[] = {
        {"--require-auth", "", false, {"暗号化", "530 5.7.0", "smtp://"}},
        {"", "", true, {}},
        {"", "smtp://", false, {"535"}},
        {"MAIL=" + tooLarge, "", false, {tooLarge, "tester@example.jp", "MAIL FROM"}},
        {"RCPT=" + unknown, "", false, {unknown, "宛先 tester@example.jp"}},
        {"RCPT=" + authNeeded, "", false, {authNeeded, "送らずに", "tester@example.jp"}},
        {"END=" + tooLarge, "", true, {tooLarge, "本文の送信"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serverArg + c.scheme);
        const std::filesystem::path log = files_.root() / "clear_server.log";
        std::filesystem::remove(log);
        const int port = testing::findFreePort();
        testing::ServerProcess process;
        std::vector<std::string> argv{"/usr/bin/python3",
                                      TSUBAME_SOURCE_DIR "/tests/smtp/smtp_auth_in_clear_server.py",
                                      "--port",
                                      std::to_string(port),
                                      "--log",
                                      log.string()};
        if (c.serverArg.starts_with("--")) argv.push_back(c.serverArg);
        if (c.serverArg.find('=') != std::string::npos)
            argv.insert(argv.end(), {"--reply", c.serverArg});
        ASSERT_TRUE(process.start(argv, files_.root() / "clear_server.out"));
        TSUBAME_NEED_SERVER(process.awaitListening({port}, std::chrono::seconds(15)),
                            "scripted server did not start: " << testing::readFileBytes(log));

        OutgoingMail mail =
            japaneseMail(c.scheme + std::string("127.0.0.1:") + std::to_string(port));
        mail.userId = "popuser";
        mail.password = "Secret-Pa55";
        std::string error;
        const int result = sendMail(mail, error);
        const std::string seen = readAll(log);
        const bool loginSeen = *c.scheme != '\0';
        EXPECT_EQ(seen.find("AUTH") != std::string::npos, loginSeen) << seen;
        for (const std::string& secret :
             {std::string("Secret-Pa55"), encodeBase64("Secret-Pa55"),
              encodeBase64(std::string("\0popuser\0Secret-Pa55", 20)), encodeBase64("popuser")})
            EXPECT_TRUE(loginSeen || seen.find(secret) == std::string::npos) << secret;
        EXPECT_EQ(seen.find("DATA") != std::string::npos, c.sent) << seen;
        const std::string text = cp932ToUtf8(error);
        EXPECT_EQ(result, c.told.empty() ? 0 : -1) << text;
        for (const std::string& part : c.told)
            EXPECT_NE(text.find(part), std::string::npos) << text;
        EXPECT_EQ(text.find("メールを送信できません: メールを送信できません"), std::string::npos);
        EXPECT_EQ(text.find("ログインは送っていません"), std::string::npos) << text;
    }
}

TEST_F(SmtpRealServer, MissingAttachmentSendsNothing) {
    testing::SmtpTestServer server;
    TSUBAME_NEED_SERVER(server.ok(), "aiosmtpd not available: " << server.log());
    OutgoingMail mail = japaneseMail(server.serverName());
    std::ofstream(files_.inbox() / "ok.txt") << "ok";
    mail.attachments = {(files_.inbox() / "ok.txt").string(),
                        (files_.inbox() / "gone.txt").string()};
    std::string error;
    EXPECT_LT(sendMail(mail, error), 0);
    EXPECT_NE(error.find("gone.txt"), std::string::npos);
    EXPECT_EQ(server.messageCount(), 0);
}

TEST_F(SmtpRealServer, UntrustedCertificateIsRefused) {
    testing::SmtpTestServer server(starttlsOptions());
    TSUBAME_NEED_SERVER(server.ok(), "aiosmtpd not available: " << server.log());
    std::string error;
    EXPECT_LT(sendMail(japaneseMail(server.serverName()), error), 0);
    EXPECT_NE(cp932ToUtf8(error).find("証明書"), std::string::npos) << cp932ToUtf8(error);
    EXPECT_EQ(server.messageCount(), 0);
}

TEST_F(SmtpRealServer, SmtpsSpeaksTlsFromTheFirstByte) {
    testing::SmtpTestServer::Options options;
    options.implicitTls = true;
    testing::SmtpTestServer server(options);
    TSUBAME_NEED_SERVER(server.ok(), "implicit TLS server did not start: " << server.log());

    ScopedEnv ca("TSUBAME_CA_FILE", server.caFile().string());
    std::string error;
    ASSERT_EQ(sendMail(japaneseMail("smtps://" + server.serverName()), error), 0)
        << cp932ToUtf8(error);
    EXPECT_EQ(server.messageCount(), 1);
    // The same server named plain never greets: told within seconds, the port kept.
    ScopedEnv timeout("TSUBAME_NET_TIMEOUT_MS", "30000");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_LT(sendMail(japaneseMail(server.serverName()), error), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(cp932ToUtf8(error).find("smtps://" + server.serverName()), std::string::npos);
    EXPECT_EQ(server.messageCount(), 1);
}

TEST_F(SmtpRealServer, UnreachableServerFailsWithItsName) {
    ScopedEnv timeout("TSUBAME_NET_TIMEOUT_MS", "2000");
    std::string error;
    EXPECT_LT(sendMail(japaneseMail("127.0.0.1:1"), error), 0);
    EXPECT_NE(cp932ToUtf8(error).find("127.0.0.1:1"), std::string::npos) << cp932ToUtf8(error);
    EXPECT_LT(sendMail(japaneseMail("smtp server"), error), 0);
}

}  // namespace
}  // namespace tsubame
