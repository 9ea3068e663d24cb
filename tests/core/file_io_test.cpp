#include "core/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "support/temp_folder_test.h"

using namespace tsubame;
using namespace tsubame::testing;

namespace {

using FileIoTest = TempFolderTest;

}  // namespace

TEST_F(FileIoTest, AtomicWriteReplacesTheFileWithTheModeAsked) {
    const auto path = folder / "secret.ini";
    ASSERT_TRUE(writeFileAtomically(path, "one", 0600));
    EXPECT_EQ(readFileBytes(path), "one");
    EXPECT_EQ(fileMode(path), 0600u);
    // A readable temporary file left by a crash must not pass its mode on.
    writeFileBytes(folder / "secret.ini.tmp", "stale");
    ::chmod((folder / "secret.ini.tmp").c_str(), 0644);
    ASSERT_TRUE(writeFileAtomically(path, "two", 0600));
    EXPECT_EQ(readFileBytes(path), "two");
    EXPECT_EQ(fileMode(path), 0600u);
    EXPECT_FALSE(std::filesystem::exists(folder / "secret.ini.tmp"));
}

TEST_F(FileIoTest, AFailedAtomicWriteLeavesTheOldFileAndNoTemporaryFile) {
    const auto path = folder / "a.ini";
    ASSERT_TRUE(writeFileAtomically(path, "old"));
    for (FaultKind kind : {FaultKind::Write, FaultKind::Sync, FaultKind::Rename}) {
        injectFault(kind, 1, EIO);
        Status st = writeFileAtomically(path, "new content");
        EXPECT_FALSE(st);
        EXPECT_NE(st.message().find("a.ini"), std::string::npos) << st.message();
        EXPECT_EQ(readFileBytes(path), "old");
        EXPECT_FALSE(std::filesystem::exists(folder / "a.ini.tmp"));
    }
    EXPECT_FALSE(writeFileAtomically(folder / "missing" / "a.ini", "x"));
}

TEST_F(FileIoTest, InjectedFaultsFireOnTheNthCallOnly) {
    UniqueFd fd = openFile(folder / "f", O_RDWR | O_CREAT);
    ASSERT_TRUE(fd.valid());
    injectFault(FaultKind::Write, 3, ENOSPC);
    EXPECT_TRUE(writeAt(fd.get(), "ab", 2, 0));
    EXPECT_TRUE(writeAt(fd.get(), "cd", 2, 2));
    EXPECT_FALSE(writeAt(fd.get(), "efgh", 4, 4));  // the third: half lands, then the error
    EXPECT_TRUE(writeAt(fd.get(), "ij", 2, 6));     // off again
    EXPECT_EQ(readFileBytes(folder / "f"), "abcdefij");
    char buffer[4];
    std::size_t got = 0;
    injectFault(FaultKind::Read, 1, EIO);
    EXPECT_FALSE(readAt(fd.get(), buffer, 4, 0, &got));
    EXPECT_TRUE(readAt(fd.get(), buffer, 4, 0, &got));
    EXPECT_EQ(got, 4u);
}
