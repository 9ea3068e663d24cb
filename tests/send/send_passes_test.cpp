#include "send/send_passes.h"

#include <gtest/gtest.h>

#include <set>

#include "core/cp932.h"
#include "send/send_fortune.h"
#include "support/scripted_mail_library.h"

namespace tsubame::testing {
namespace {

TEST(FortuneTest, DrawMapsTheUnitIntervalOntoOneToTwelve) {
    EXPECT_EQ(fortuneNumberFrom(0.0), 1);
    EXPECT_EQ(fortuneNumberFrom(1.0 / 12 - 1e-9), 1);
    EXPECT_EQ(fortuneNumberFrom(1.0 / 12 + 1e-9), 2);
    EXPECT_EQ(fortuneNumberFrom(0.999999999), 12);
    for (int i = 0; i < 200; ++i) {
        int k = drawFortuneNumber();
        EXPECT_GE(k, 1);
        EXPECT_LE(k, 12);
    }
}

TEST(FortuneTest, TwelveDistinctFortunesAllRepresentableInCodePage932) {
    std::set<std::string_view> texts;
    for (int k = 1; k <= kFortuneCount; ++k) {
        std::string_view text = fortuneText(k);
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(cp932ToUtf8(utf8ToCp932(text)), text) << k;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), 12u);
    EXPECT_TRUE(fortuneText(0).empty());
    EXPECT_TRUE(fortuneText(13).empty());
    EXPECT_TRUE(fortuneText(7).ends_with("　"));  // the seventh ends in an ideographic space
    EXPECT_EQ(cp932ToUtf8(utf8ToCp932(fortuneBanner())), fortuneBanner());
}

TEST(FortuneTest, BodyThenBannerThenFortune) {
    std::string body = bodyWithFortune("text", 3);
    EXPECT_EQ(body, "text\r\n\r\n" + std::string(fortuneBanner()) + "\r\n\r\n" +
                        std::string(fortuneText(3)));
}

TEST(ToAllRecipientsTest, TrailingBlanksGoAndMissingOrBlankEntriesAreSkipped) {
    std::vector<AddressRecord> entries = {AddressRecord("a", " lead@example.com"),
                                          AddressRecord("b", ""),
                                          AddressRecord("c", utf8ToCp932("名前<c@example.com>"))};
    auto passes = toAllRecipients(4, entries);
    ASSERT_EQ(passes.size(), 4u);
    ASSERT_TRUE(passes[0]);
    EXPECT_EQ(passes[0]->address, " lead@example.com");  // only trailing blanks are removed
    EXPECT_EQ(passes[0]->shown.size(), 90u);             // the box shows the field as stored
    EXPECT_FALSE(passes[1]);
    ASSERT_TRUE(passes[2]);
    EXPECT_EQ(passes[2]->address, "名前<c@example.com>");
    EXPECT_FALSE(passes[3]);
}

TEST(SendPassesTest, FailuresAreCollectedAndTheLoopGoesOn) {
    ScriptedMailLibrary mail;
    mail.sendResults = {-1, 1, -2};
    OutgoingMessage message{"server", "me@example.com", "subject", "body", "", false, {}};
    std::vector<std::optional<PassRecipient>> passes = {
        PassRecipient{"a", "a"}, std::nullopt, PassRecipient{"b", "b"}, PassRecipient{"c", "c"}};
    std::vector<int> failedPasses;
    SendHooks hooks;
    hooks.passFailed = [&](int pass, const std::string&, const std::string& error) {
        failedPasses.push_back(pass);
        EXPECT_EQ(error, "scripted failure");
    };
    SendReport report = runSendPasses(mail, message, passes, hooks);
    EXPECT_EQ(mail.sent.size(), 3u);
    EXPECT_EQ(report.sent, 1);
    EXPECT_EQ(report.skipped, 1);
    EXPECT_EQ(report.failedAddresses, (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(failedPasses, (std::vector<int>{1, 4}));
    EXPECT_FALSE(report.allSent());
}

// A skipped pass is a pass that did not send; nothing but sent passes is "all sent".
TEST(SendPassesTest, SkippedPassesCountAsNotSentAndDeliveredOnesAreLeftOut) {
    ScriptedMailLibrary mail;
    OutgoingMessage message{"server", "me@example.com", "subject", "body", "", false, {}};
    SendReport onlySkipped = runSendPasses(mail, message, {std::nullopt, std::nullopt});
    EXPECT_FALSE(onlySkipped.allSent());
    EXPECT_EQ(onlySkipped.unsentPasses, (std::vector<int>{1, 2}));

    std::vector<std::optional<PassRecipient>> passes = {
        PassRecipient{"a", "a"}, std::nullopt, PassRecipient{"b", "b"}, PassRecipient{"c", "c"}};
    RemainingPasses remaining = remainingPasses(passes, {"a", "c"});
    EXPECT_EQ(remaining.alreadySent, 2);
    EXPECT_EQ(remaining.rows, (std::vector<int>{1, 2}));
    ASSERT_EQ(remaining.passes.size(), 2u);
    EXPECT_EQ(remaining.passes[1]->address, "b");
}

TEST(SendPassesTest, FortuneUsesTheDrawnNumber) {
    ScriptedMailLibrary mail;
    OutgoingMessage message{"server", "me", "subject", "body", "", true, {}};
    SendHooks hooks;
    hooks.drawFortune = [] { return 12; };
    runSendPasses(mail, message, {PassRecipient{"a", "a"}, PassRecipient{"b", "b"}}, hooks);
    ASSERT_EQ(mail.sent.size(), 2u);
    EXPECT_EQ(mail.sent[1].body, utf8ToCp932(bodyWithFortune("body", 12)));
}

TEST(SendPassesTest, StoredLoginWinsOverTypedOne) {
    ScriptedMailLibrary mail;
    AccountSettings account;
    account.UserId = "typed";
    account.Password = "typedpass";
    applySmtpLogin(mail, account, "stored", "storedpass");
    EXPECT_EQ(mail.smtpLoginId, "stored");
    EXPECT_EQ(mail.smtpLoginPassword, "storedpass");
    applySmtpLogin(mail, account, "", "");
    EXPECT_EQ(mail.smtpLoginId, "typed");
}

}  // namespace
}  // namespace tsubame::testing
