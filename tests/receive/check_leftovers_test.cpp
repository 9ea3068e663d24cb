// What the next check does with the staging folder of a check killed while it stored a mail.
#include "receive/check_leftovers.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "receive/receive_journal.h"
#include "store/received_mail_store.h"
#include "support/temp_folder.h"

namespace tsubame::testing {
namespace {

namespace fs = std::filesystem;

TEST(CheckLeftoversTest, AStagedFileKeepsItsNameExactlyWhenItsMailWasStored) {
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const std::string staging = ".tsubame-part-" + std::to_string(gone) + "-00000000000a.tmp";
    const struct {
        const char* killed;  // where the check was killed
        bool linked, noted, pending, appended;
        bool kept;  // the attachment name stays
    } cases[] = {
        {"another application folder's check, after its link", true, false, false, false, true},
        {"before the link", false, true, false, false, false},
        {"after the link, before the record's line", true, true, false, false, false},
        {"before the append", true, true, true, false, false},
        {"after the append", true, true, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.killed);
        TempFolder root;
        const fs::path folder = root / "attachments";
        fs::create_directories(folder / staging);
        writeFileBytes(folder / staging / "a.bin", "attachment");
        if (c.linked) fs::create_hard_link(folder / staging / "a.bin", folder / "a.bin");
        ReceivedMailStore store(root / "store", root / "temp");
        ASSERT_TRUE(store.createIfMissing().ok());
        ReceivedMailRecord record;
        record.fill("subject", "date", "from", "body");
        ReceiveJournal journal(root / "journal");
        const MailIdentity mail{"id", 10, std::string(64, 'a')};
        if (c.noted) {
            ASSERT_TRUE(journal.noteFile(staging + "/a.bin").ok());
        }
        if (c.pending) {
            ASSERT_TRUE(journal.notePending(mail, recordChecksum(record)).ok());
        }
        if (c.appended) {
            ASSERT_TRUE(store.append(record).ok());
        }

        ReceiveJournal next(root / "journal");
        ASSERT_TRUE(next.load().ok());
        removeCheckLeftovers(folder, [&](const std::string& staged) {
            return next.stagedFileStored(staged, store);
        });
        // Not known to this folder's journal, a linked file may be another folder's check's.
        const bool others = c.linked && !c.noted;
        EXPECT_EQ(fs::exists(folder / staging), others);
        EXPECT_EQ(fs::exists(folder / "a.bin"), c.kept);
    }
}

}  // namespace
}  // namespace tsubame::testing
