// "添付フォルダを開く" in the viewer's file menu.
#include <QUrl>

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

}  // namespace
}  // namespace tsubame::testing
