// "添付フォルダを開く" in the viewer's file menu.
#include <QMenu>
#include <QTextEdit>
#include <QUrl>
#include <fstream>

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

// "元のメールを開く": offered only for a body that names a kept original in the folder.
TEST_F(ViewerAttachmentFolderTest, TheKeptOriginalOfTheShownMailOpensInTheMailProgram) {
    std::vector<QUrl> opened;
    commands().setFolderOpener([&](const QUrl& url) {
        opened.push_back(url);
        return true;
    });
    const std::filesystem::path kept = folder_ / "添付フォルダ" / "元のメール 1 x.eml";
    std::filesystem::create_directories(kept.parent_path());
    std::ofstream(kept) << "Subject: x\r\n\r\nx\r\n";
    for (const std::string named : {"../元のメール 1 x.eml", "元のメール 1 x.eml"}) {
        viewer().reader()->setPlainText(
            QString::fromStdString("x\r\n" + originalMailNotice(named)));
        emit control<QMenu>("mFile")->aboutToShow();
        EXPECT_EQ(action("moriginal")->isEnabled(), !named.starts_with(".."));
    }
    action("moriginal")->trigger();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toLocalFile().toStdString(), kept.string());
}

}  // namespace
}  // namespace tsubame::testing
