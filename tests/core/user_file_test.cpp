#include "core/user_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "core/file_io.h"
#include "support/temp_folder_test.h"

using namespace tsubame;
using namespace tsubame::testing;

namespace {

class UserFileTest : public TempFolderTest {
  protected:
    std::size_t entries() const {
        std::size_t n = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(folder.path())) ++n;
        return n;
    }
};

// Mode, links and "<name>.tmp" as the user meets them: tests/viewer/chosen_files_test.cpp.
TEST_F(UserFileTest, RefusesWhatItMustNotReplaceAndKeepsTheOldFileOnFailure) {
    std::filesystem::create_directory(folder / "dir");
    std::filesystem::create_symlink("dir/b.txt", folder / "link.txt");  // dangling, relative
    ASSERT_TRUE(replaceUserFile(folder / "link.txt", "through"));
    EXPECT_EQ(readFileBytes(folder / "dir" / "b.txt"), "through");
    EXPECT_FALSE(replaceUserFile(folder / "dir", "x"));
    writeFileBytes(folder / "old.txt", "old");
    injectFault(FaultKind::Write, 1, ENOSPC);
    EXPECT_FALSE(replaceUserFile(folder / "old.txt", "new text"));
    EXPECT_EQ(readFileBytes(folder / "old.txt"), "old");
    EXPECT_EQ(entries(), 3u);              // no temporary file left
    const std::string longName(255, 'n');  // the temporary name cannot add to it
    const mode_t mask = ::umask(027);
    EXPECT_TRUE(replaceUserFile(folder / longName, "long"));
    ::umask(mask);
    EXPECT_EQ(readFileBytes(folder / longName), "long");
    EXPECT_EQ(fileMode(folder / longName), 0640u);  // a new file: 0666 less the umask
}

}  // namespace
