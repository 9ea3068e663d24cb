// Server names as the settings hold them, and the APOP digest.
#include <gtest/gtest.h>

#include "net/net_server_name.h"
#include "pop3/pop3_apop.h"

namespace tsubame {
namespace {

ServerAddress parsePop3(const std::string& name) {
    ServerAddress address;
    EXPECT_TRUE(parseServerName(name, "pop3", "pop3s", 110, 995, address).ok()) << name;
    return address;
}

TEST(Pop3ServerNameTest, DefaultsAndExplicitPortsAndSchemes) {
    ServerAddress a = parsePop3("mail.example.jp");
    EXPECT_EQ(a.host, "mail.example.jp");
    EXPECT_EQ(a.port, 110);
    EXPECT_FALSE(a.implicitTls);

    a = parsePop3(" mail.example.jp:1110 ");
    EXPECT_EQ(a.host, "mail.example.jp");
    EXPECT_EQ(a.port, 1110);

    a = parsePop3("POP3S://mail.example.jp");
    EXPECT_TRUE(a.implicitTls);
    EXPECT_EQ(a.port, 995);

    a = parsePop3("pop3s://127.0.0.1:9950/");
    EXPECT_EQ(a.host, "127.0.0.1");
    EXPECT_EQ(a.port, 9950);
    EXPECT_TRUE(a.implicitTls);

    a = parsePop3("pop3://[::1]:2110");
    EXPECT_EQ(a.host, "::1");
    EXPECT_EQ(a.port, 2110);
    EXPECT_FALSE(a.implicitTls);
    EXPECT_EQ(describeAddress(a), "[::1]:2110");

    EXPECT_EQ(parsePop3("::1").port, 110) << "a bare IPv6 address has no port";
}

TEST(Pop3ServerNameTest, MalformedNamesAreRefused) {
    for (const char* bad : {"", "   ", "host:", "host:0", "host:65536", "host:12a", "ho st",
                            "host\r\nUSER x", "[::1", "[::1]x", "pop3s://"}) {
        ServerAddress address;
        EXPECT_FALSE(parseServerName(bad, "pop3", "pop3s", 110, 995, address).ok()) << bad;
    }
}

TEST(Pop3ApopTest, DigestOfTheStandardExample) {
    std::string timestamp;
    ASSERT_TRUE(
        extractApopTimestamp("+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>", timestamp));
    EXPECT_EQ(timestamp, "<1896.697170952@dbc.mtview.ca.us>");
    EXPECT_EQ(apopDigest(timestamp, "tanstaaf"), "c4c9334bac560ecc979e58001b3e22fb");
}

TEST(Pop3ApopTest, MalformedTimestampsAreRefused) {
    std::string timestamp;
    for (const char* greeting : {"+OK ready", "+OK ready <no-at>", "+OK <unterminated@x",
                                 "+OK <a b@c>", "+OK <a<b@c>", "+OK <\x81\x40@c>"}) {
        EXPECT_FALSE(extractApopTimestamp(greeting, timestamp)) << greeting;
    }
    EXPECT_FALSE(extractApopTimestamp("+OK <" + std::string(300, 'a') + "@x>", timestamp));
}

}  // namespace
}  // namespace tsubame
