#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tsubame::testing {
namespace {

// The entry run.sh puts into the desktop's application menu.
TEST(DesktopEntryTest, StartsTheProgramWithItsApplicationFolderAndShowsTheIcon) {
    QTemporaryDir root;
    const std::filesystem::path base = root.path().toStdString();
    const std::filesystem::path folder = base / "アプリ 燕";
    std::filesystem::create_directories(folder);
    const std::string command = "XDG_DATA_HOME='" + (base / "share").string() + "' '" +
                                TSUBAME_SOURCE_DIR "/scripts/install_desktop_entry.sh' '" +
                                folder.string() + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);

    std::ifstream in(base / "share" / "applications" / "tsubame.desktop");
    std::stringstream entry;
    entry << in.rdbuf();
    const std::string text = entry.str();
    const std::string expectedLines[] = {
        "[Desktop Entry]\n",
        "\nType=Application\n",
        "\nExec=\"" + folder.string() + "/tsubame\" --app-folder \"" + folder.string() + "\"\n",
        "\nIcon=" + folder.string() + "/tsubame.svg\n",
        "\nCategories=Network;Email;\n",
    };
    for (const std::string& line : expectedLines)
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n---\n" << text;
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(TSUBAME_SOURCE_DIR) / "resources" /
                                        "icons" / "tsubame.svg"));
}

}  // namespace
}  // namespace tsubame::testing
