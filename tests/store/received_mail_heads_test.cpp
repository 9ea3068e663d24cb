// The list fields of a store read while another process cuts it short.
#include "store/received_mail_heads.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "core/file_io.h"
#include "store/received_mail_store.h"
#include "support/temp_folder.h"

using namespace tsubame;

namespace {

// A sparse store of `records` records whose subjects are their row numbers, plus `tail`
// bytes of a record cut short.
void writeStore(const std::filesystem::path& path, int records, std::size_t tail) {
    UniqueFd fd = openFile(path, O_RDWR | O_CREAT | O_TRUNC);
    ASSERT_EQ(::ftruncate(fd.get(), records * ReceivedMailRecord::kSize + tail), 0);
    for (int row = 0; row < records; ++row) {
        ReceivedMailRecord record;
        record.fill(std::to_string(row), "date", "from", "");
        ASSERT_TRUE(writeAt(fd.get(), record.bytes.data(), ReceivedMailHeads::kHeadSize,
                            row * static_cast<std::int64_t>(ReceivedMailRecord::kSize)));
    }
}

TEST(ReceivedMailHeadsTest, ReadingStopsBeforeTheFirstRecordNoLongerWhole) {
    const struct {
        const char* name;
        int records;       // whole records in the file
        int sizeTakenAs;   // records the file held when its size was taken
        std::size_t tail;  // bytes of a partial record after them
    } cases[] = {
        {"unchanged", 3000, 3000, 0},
        {"cut short after its size was taken", 3000, 5000, 0},
        {"cut inside a head", 2500, 5000, 100},
        {"small store cut short", 3, 5, 10},
        {"emptied", 0, 5, 0},
    };
    tsubame::testing::TempFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeStore(folder / "kordata2.data", c.records, c.tail);
        UniqueFd fd = openFile(folder / "kordata2.data", O_RDONLY);
        int calls = 0;
        const std::thread::id caller = std::this_thread::get_id();
        const ReceivedMailHeads heads = ReceivedMailHeads::read(fd.get(), c.sizeTakenAs, [&] {
            calls += std::this_thread::get_id() == caller ? 1 : 100;
        });
        EXPECT_EQ(calls, 1);
        ASSERT_EQ(heads.size(), static_cast<std::size_t>(c.records));
        for (int row : {0, c.records / 2, c.records - 1}) {
            if (row < 0 || row >= c.records) continue;
            EXPECT_EQ(heads.subject(static_cast<std::size_t>(row)).substr(0, 5),
                      (std::to_string(row) + "     ").substr(0, 5));
        }
    }
}

TEST(ReceivedMailHeadsTest, TheStoreRunsTheCallersWorkOnceWhileItReads) {
    tsubame::testing::TempFolder folder;
    const ReceivedMailStore store(folder / "kordata2.data", folder / "KORDATA2.TMP");
    for (int records : {-1, 0, 3}) {  // -1: no store file
        if (records >= 0) writeStore(store.path(), records, 0);
        int calls = 0;
        EXPECT_EQ(store.readListHeads([&] { ++calls; }).size(), std::max(records, 0) * 1u);
        EXPECT_EQ(calls, 1) << records << " records";
    }
}

}  // namespace
