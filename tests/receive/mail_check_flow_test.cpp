// The mail check's normal course without windows: what it stores and what it tells.
#include "receive/mail_check.h"
#include "receive/scripted_check_fixture.h"

namespace tsubame::testing {
namespace {

using Strings = std::vector<std::string>;

TEST_F(ScriptedCheckTest, AttachmentThatCannotBeSavedKeepsItsMailAndIncompletePartsAreStored) {
    addMail("開けない", "body", MailLibrary::kAttachmentCannotOpen);
    addMail("分割", "body", MailLibrary::kAttachmentPartsMissing);
    addMail("普通", "body", 1);
    const MailCheckResult outcome = runCheck();
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.count, 2);
    ASSERT_EQ(host_.notices.size(), 2u);
    EXPECT_EQ(noticeTexts()[0], std::string("分割されたメールが全て揃っていません"));
    EXPECT_EQ(host_.notices[1].title, std::string("エラー"));
    EXPECT_TRUE(
        contains(noticeTexts()[1], "メール 1「開けない」: 添付ファイルをオープンできません"))
        << noticeTexts()[1];
    EXPECT_EQ(storedSubjects(), (Strings{"分割", "普通"}));
    ASSERT_EQ(mail_.mailbox.size(), 1u);
    EXPECT_EQ(cp932ToUtf8(mail_.mailbox[0].subject), "開けない");
}

TEST_F(ScriptedCheckTest, TheNoticeComesWithSavedFilesNotWithTheWordAttachment) {
    const std::string notice =
        "\r\n♪♪♪　添付ファイルがありましので、添付フォルダに展開しました。♪♪♪";
    addMail("saved", "photo", 1);
    addMail("mentioned", "see the attachment below");
    runCheck();
    EXPECT_TRUE(storedBody(1).starts_with("photo")) << storedBody(1);
    EXPECT_TRUE(storedBody(1).ends_with(notice)) << storedBody(1);
    // The decoder keeps the line end that ends the raw mail's body.
    EXPECT_EQ(storedBody(2), "see the attachment below\r\n");
}

TEST_F(ScriptedCheckTest, ApopSettingAsksForAnApopLogin) {
    state_.account.UseApop = 1;
    runCheck();
    EXPECT_EQ(mail_.lastApop, -1);
}

TEST_F(ScriptedCheckTest, MissingAttachmentFolderIsMadeAgain) {
    std::filesystem::remove_all(state_.paths.attachmentFolder());
    addMails(3);
    const MailCheckResult outcome = runCheck();
    EXPECT_TRUE(outcome.completed);
    EXPECT_EQ(store().count(), 3);
    EXPECT_TRUE(host_.notices.empty());
    EXPECT_TRUE(std::filesystem::is_directory(state_.paths.attachmentFolder()));
}

TEST(RawMailTest, LoneCarriageReturnsEndLinesAndLoneLineFeedsStay) {
    EXPECT_EQ(buildRawMail("H: v", "body"), "H: v\r\nbody\r\n");
    EXPECT_EQ(buildRawMail("A\rB", "x\ny\r\nz\r"), "A\r\nB\r\nx\ny\r\nz\r\n\r\n");
    EXPECT_EQ(buildRawMail("", ""), "\r\n\r\n");
}

}  // namespace
}  // namespace tsubame::testing
