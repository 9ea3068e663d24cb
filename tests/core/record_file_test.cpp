#include "core/record_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "core/file_io.h"
#include "support/temp_folder_test.h"

using namespace tsubame;
using namespace tsubame::testing;

namespace {

class RecordFileTest : public TempFolderTest {
  protected:
    RecordFile file{folder / "records.data", 4};
};

std::span<const char> bytes(const std::string& s) { return {s.data(), s.size()}; }

}  // namespace

TEST(RecordFileRounding, CountRoundsHalvesToEven) {
    EXPECT_EQ(divideRoundHalfEven(0, 4), 0);
    EXPECT_EQ(divideRoundHalfEven(1, 4), 0);
    EXPECT_EQ(divideRoundHalfEven(2, 4), 0);  // 0.5 -> 0
    EXPECT_EQ(divideRoundHalfEven(3, 4), 1);
    EXPECT_EQ(divideRoundHalfEven(6, 4), 2);   // 1.5 -> 2
    EXPECT_EQ(divideRoundHalfEven(10, 4), 2);  // 2.5 -> 2
    EXPECT_EQ(divideRoundHalfEven(14, 4), 4);  // 3.5 -> 4
    EXPECT_EQ(divideRoundHalfEven(129136, 32284), 4);
}

TEST_F(RecordFileTest, OpeningAMissingFileCreatesItEmpty) {
    EXPECT_EQ(file.count(), 0);
    ASSERT_TRUE(file.createIfMissing());
    ASSERT_TRUE(std::filesystem::exists(file.path()));
    EXPECT_EQ(std::filesystem::file_size(file.path()), 0u);
    // An existing file is left alone.
    writeFileBytes(file.path(), "abcd");
    ASSERT_TRUE(file.createIfMissing());
    EXPECT_EQ(readFileBytes(file.path()), "abcd");
}

TEST_F(RecordFileTest, AppendWritesAtCountPlusOneAndReadsBackInPlace) {
    std::int64_t n = 0;
    ASSERT_TRUE(file.append(bytes("AAAA"), &n));
    EXPECT_EQ(n, 1);
    ASSERT_TRUE(file.append(bytes("BBBB"), &n));
    EXPECT_EQ(n, 2);
    ASSERT_TRUE(file.write(1, bytes("CCCC")));
    EXPECT_EQ(readFileBytes(file.path()), "CCCCBBBB");
    char record[4];
    ASSERT_TRUE(file.read(2, record));
    EXPECT_EQ(std::string(record, 4), "BBBB");
    EXPECT_FALSE(file.read(3, record));
    EXPECT_FALSE(file.read(0, record));
}

TEST_F(RecordFileTest, ADamagedLengthUsesTheRoundedCountAndReadersSkipThePartialRecord) {
    writeFileBytes(file.path(), "AAAAB");  // 1.25 records
    EXPECT_EQ(file.count(), 1);
    EXPECT_EQ(file.wholeRecords(), 1);
    char record[4];
    EXPECT_FALSE(file.read(2, record));
    std::int64_t n = 0;
    ASSERT_TRUE(file.append(bytes("CCCC"), &n));  // overwrites the partial record
    EXPECT_EQ(n, 2);
    EXPECT_EQ(readFileBytes(file.path()), "AAAACCCC");

    writeFileBytes(file.path(), "AAAABBB");  // 1.75 records: appends behind the rounded end
    EXPECT_EQ(file.count(), 2);
    ASSERT_TRUE(file.append(bytes("CCCC"), &n));
    EXPECT_EQ(n, 3);
    EXPECT_EQ(readFileBytes(file.path()).substr(8), "CCCC");
}

TEST_F(RecordFileTest, AFailedAppendLeavesTheFileAtItsOldLength) {
    ASSERT_TRUE(file.append(bytes("AAAA")));
    injectFault(FaultKind::Write, 1, ENOSPC);  // half of the record lands, then the disk is full
    Status st = file.append(bytes("BBBB"));
    ASSERT_FALSE(st);
    EXPECT_NE(st.message().find(std::strerror(ENOSPC)), std::string::npos) << st.message();
    EXPECT_EQ(readFileBytes(file.path()), "AAAA");
    ASSERT_TRUE(file.append(bytes("BBBB")));
    EXPECT_EQ(readFileBytes(file.path()), "AAAABBBB");
}

TEST_F(RecordFileTest, AppendIntoAMissingFolderReportsTheFailure) {
    RecordFile lost(folder / "missing" / "records.data", 4);
    Status st = lost.append(bytes("AAAA"));
    EXPECT_FALSE(st);
    EXPECT_FALSE(st.message().empty());
    EXPECT_FALSE(lost.createIfMissing());
}

TEST_F(RecordFileTest, RecordNumbersStopAt32767) {
    RecordFile small(folder / "small.data", 2);
    writeFileBytes(small.path(), std::string(32766 * 2, 'x'));
    std::int64_t n = 0;
    ASSERT_TRUE(small.append(bytes("yy"), &n));
    EXPECT_EQ(n, 32767);
    Status full = small.append(bytes("zz"), &n);
    EXPECT_FALSE(full);
    EXPECT_NE(full.message().find("32767"), std::string::npos) << full.message();
    EXPECT_EQ(std::filesystem::file_size(small.path()), 32767u * 2);
    EXPECT_FALSE(small.write(32768, bytes("zz")));
}

TEST_F(RecordFileTest, WriteBytesChangesOnlyTheGivenBytes) {
    ASSERT_TRUE(file.append(bytes("AAAA")));
    ASSERT_TRUE(file.append(bytes("BBBB")));
    ASSERT_TRUE(file.writeBytes(2, 2, bytes("xy")));
    EXPECT_EQ(readFileBytes(file.path()), "AAAABBxy");
    EXPECT_FALSE(file.writeBytes(2, 3, bytes("xy")));  // would cross into the next record
}

TEST_F(RecordFileTest, CompactionKeepsTheChosenRecordsInOrderAndTheStoreMode) {
    writeFileBytes(file.path(), "1AAA0BBB1CCC0DDD1EEE");
    ::chmod(file.path().c_str(), 0640);
    ASSERT_TRUE(
        file.compact(folder / "records.tmp", [](std::span<const char> r) { return r[0] == '1'; }));
    EXPECT_EQ(readFileBytes(file.path()), "1AAA1CCC1EEE");
    EXPECT_FALSE(std::filesystem::exists(folder / "records.tmp"));
    struct stat st {};
    ASSERT_EQ(::stat(file.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(RecordFileTest, CompactionDropsATrailingPartialRecord) {
    writeFileBytes(file.path(), "1AAA1BB");
    ASSERT_TRUE(file.compact(folder / "records.tmp", [](std::span<const char>) { return true; }));
    EXPECT_EQ(readFileBytes(file.path()), "1AAA");
}

TEST_F(RecordFileTest, ACompactionThatCannotWriteItsTemporaryFileChangesNothing) {
    writeFileBytes(file.path(), "1AAA0BBB");
    Status st = file.compact(folder / "no-such-folder" / "records.tmp",
                             [](std::span<const char> r) { return r[0] == '1'; });
    EXPECT_FALSE(st);
    EXPECT_FALSE(st.message().empty());
    EXPECT_EQ(readFileBytes(file.path()), "1AAA0BBB");
}

// A store larger than the pieces the copy is flushed in and the batches its flags are read in
// (32 records of 1 MB here): every kept run arrives whole and in order across the piece and
// batch boundaries, a flag with only one byte set keeps its record, and the replaced store's
// handle is let go.
TEST(RecordFileLarge, CompactingAStoreOfSeveralCopyPiecesKeepsEveryLiveByte) {
    constexpr std::size_t kLength = 1 << 20;  // 90 records of 1 MB
    const std::vector<std::set<int>> deadRows = {
        {3, 85},                    // the run between them spans two pieces
        {0, 31, 32, 63, 64, 89},    // the first and last records of each batch
        {33, 34, 35, 36, 37, 38}};  // a gap inside a batch
    for (const std::set<int>& dead : deadRows) {
        TempFolder folder;
        RecordFile file(folder / "big.data", kLength);
        std::string all;
        for (int i = 0; i < 90; ++i) {
            std::string record(kLength, static_cast<char>('A' + i % 26));
            record[0] = static_cast<char>(i);
            const bool live = !dead.contains(i);
            record[kLength - 2] = live && i % 2 ? '\1' : '\0';
            record[kLength - 1] = live && i % 2 == 0 ? '\1' : '\0';
            if (live) all += record;
            ASSERT_TRUE(file.append(bytes(record)));
        }
        ASSERT_TRUE(file.compactLive(folder / "big.tmp", kLength - 2));
        EXPECT_TRUE(readFileBytes(folder / "big.data") == all) << "first dead " << *dead.begin();
        EXPECT_FALSE(std::filesystem::exists(folder / "big.tmp"));
    }
}
