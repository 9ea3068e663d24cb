// "添付フォルダを開く" in the viewer's file menu.
#include <QMenu>
#include <QTextEdit>
#include <QUrl>
#include <fstream>

#include "receive/kept_originals.h"
#include "receive/original_mail.h"
#include "viewer/actions_fixture.h"

namespace tsubame::testing {
namespace {

using ViewerAttachmentFolderTest = ViewerCommandsTest;

TEST_F(ViewerAttachmentFolderTest, AttachmentFolderOpensInTheFileManager) {
    std::vector<QUrl> opened;
    bool opens = true;
    commands().setFolderOpener([&](const QUrl& url) {
        opened.push_back(url);
        return opens;
    });
    action("mtenpufolder")->trigger();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toLocalFile().toStdString(), (folder_ / "添付フォルダ").string());
    EXPECT_TRUE(dialogs_.boxes().empty());

    opens = false;  // no file manager: the user is told
    action("mtenpufolder")->trigger();
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_TRUE(dialogs_.boxes()[0].text.startsWith("添付フォルダを開けませんでした。"));
}

// "元のメールを開く": offered only for a record the check linked to a kept original in the
// folder, never for a notice a sender wrote into the body; without a program for mail files the
// message names the file.
TEST_F(ViewerAttachmentFolderTest, TheKeptOriginalOfTheShownMailOpensInTheMailProgram) {
    std::vector<QUrl> opened;
    bool opens = true;
    commands().setFolderOpener([&](const QUrl& url) {
        opened.push_back(url);
        return opens;
    });
    const std::filesystem::path kept = folder_ / "添付フォルダ" / "元のメール 1 x.eml";
    std::ofstream(kept) << "Subject: x\r\n\r\nx\r\n";
    for (const std::string linked : {"", "../元のメール 1 x.eml", "元のメール 1 x.eml"}) {
        addRecord("x" + linked, "a", "d", "x\r\n" + originalMailNotice("元のメール 1 x.eml"));
        ReceivedMailRecord record;
        ASSERT_TRUE(store().read(store().count(), record));
        const KeptOriginal link{linked, "x", "a", "d", "x"};
        if (!linked.empty()) {
            ASSERT_TRUE(writeKeptOriginal(app_->paths().keptOriginals(), record, link).ok());
        }
        viewer().openViewer();
        emit control<QMenu>("mFile")->aboutToShow();
        EXPECT_EQ(action("moriginal")->isEnabled(), linked == "元のメール 1 x.eml") << linked;
    }
    action("moriginal")->trigger();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toLocalFile().toStdString(), kept.string());
    opens = false;
    action("moriginal")->trigger();
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_EQ(dialogs_.boxes()[0].text.toStdString(),
              "元のメールを開けませんでした。\n" + kept.string());
}

}  // namespace
}  // namespace tsubame::testing
