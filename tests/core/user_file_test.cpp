#include "core/user_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "core/file_io.h"
#include "support/temp_folder.h"

using namespace tsubame;
using tsubame::testing::readFileBytes;
using tsubame::testing::TempFolder;
using tsubame::testing::writeFileBytes;

namespace {

unsigned modeOf(const std::filesystem::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class UserFileTest : public ::testing::Test {
  protected:
    void TearDown() override { clearInjectedFaults(); }
    std::size_t entries() const {
        std::size_t n = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(folder.path())) ++n;
        return n;
    }
    TempFolder folder;
};

TEST_F(UserFileTest, ReplacesKeepingModeAndLinksAndLeavesOtherFilesAlone) {
    writeFileBytes(folder / "a.txt", "old");
    ::chmod((folder / "a.txt").c_str(), 0640);
    writeFileBytes(folder / "a.txt.tmp", "someone's file");
    std::filesystem::create_directory(folder / "real");
    std::filesystem::create_symlink("real/b.txt", folder / "link.txt");  // dangling, relative

    ASSERT_TRUE(replaceUserFile(folder / "a.txt", "new"));
    ASSERT_TRUE(replaceUserFile(folder / "link.txt", "through"));
    EXPECT_EQ(readFileBytes(folder / "a.txt"), "new");
    EXPECT_EQ(modeOf(folder / "a.txt"), 0640u);
    EXPECT_EQ(readFileBytes(folder / "a.txt.tmp"), "someone's file");
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "link.txt"));
    EXPECT_EQ(readFileBytes(folder / "real" / "b.txt"), "through");
    EXPECT_EQ(entries(), 4u);  // no temporary file left
}

TEST_F(UserFileTest, RefusesWhatItMustNotReplaceAndKeepsTheOldFileOnFailure) {
    std::filesystem::create_directory(folder / "dir");
    EXPECT_FALSE(replaceUserFile(folder / "dir", "x"));
    writeFileBytes(folder / "old.txt", "old");
    injectFault(FaultKind::Write, 1, ENOSPC);
    EXPECT_FALSE(replaceUserFile(folder / "old.txt", "new text"));
    EXPECT_EQ(readFileBytes(folder / "old.txt"), "old");
    EXPECT_EQ(entries(), 2u);
    const std::string longName(255, 'n');  // the temporary name cannot add to it
    const mode_t mask = ::umask(027);
    EXPECT_TRUE(replaceUserFile(folder / longName, "long"));
    ::umask(mask);
    EXPECT_EQ(readFileBytes(folder / longName), "long");
    EXPECT_EQ(modeOf(folder / longName), 0640u);  // a new file: 0666 less the umask
}

}  // namespace
