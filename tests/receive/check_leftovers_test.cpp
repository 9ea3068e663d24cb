#include "receive/check_leftovers.h"

#include <gtest/gtest.h>

#include "receive/receive_journal.h"
#include "support/temp_folder.h"

namespace tsubame::testing {
namespace {

namespace fs = std::filesystem;

TEST(CheckLeftoversTest, AStagedFileKeepsItsNameExactlyWhenItsMailWasStored) {
    const std::string staging = ".tsubame-part-999999999-00000000000a.tmp";  // above any pid
    // How far the killed check got with the mail (its "F" line, the link, its "P" line, its
    // record), or a check of another application folder, whose journal this is not.
    enum Step { kOthers, kNoted, kLinked, kPending, kAppended };
    for (int step = kOthers; step <= kAppended; ++step) {
        SCOPED_TRACE(step);
        TempFolder root;  // the attachment folder, the store's and the journal's too
        const fs::path& folder = root.path();
        fs::create_directories(folder / staging);
        writeFileBytes(folder / staging / "a.bin", "attachment");
        if (step != kNoted) fs::create_hard_link(folder / staging / "a.bin", folder / "a.bin");
        ReceivedMailStore store(root / "store", root / "temp");
        ReceivedMailRecord record;
        record.fill("subject", "date", "from", "body");
        ReceiveJournal journal(root / "journal");
        Status st = store.createIfMissing();
        if (st && step >= kNoted) st = journal.noteFile(staging + "/a.bin");
        if (st && step >= kPending)
            st = journal.notePending({"id", 10, std::string(64, 'a')}, recordChecksum(record));
        if (st && step == kAppended) st = store.append(record);
        ASSERT_TRUE(st.ok());

        ReceiveJournal next(root / "journal");
        ASSERT_TRUE(next.load().ok());
        removeCheckLeftovers(folder, [&](const std::string& staged) {
            return next.stagedFileStored(staged, store);
        });
        EXPECT_EQ(fs::exists(folder / staging), step == kOthers);
        EXPECT_EQ(fs::exists(folder / "a.bin"), step == kOthers || step == kAppended);
    }
}

}  // namespace
}  // namespace tsubame::testing
