// The viewer's deletions on a store that another process changed after the list was read.
#include <gtest/gtest.h>

#include "store/received_mail_store.h"
#include "support/temp_folder.h"

namespace tsubame::testing {
namespace {

using Subjects = std::vector<std::string>;

class ListedRemovalTest : public ::testing::Test {
  protected:
    ReceivedMailStore store() const {
        const std::filesystem::path folder = root_.path();
        return ReceivedMailStore(folder / "kordata2.data", folder / "KORDATA2.TMP");
    }
    void append(const Subjects& subjects) {
        for (const std::string& subject : subjects) {
            ReceivedMailRecord record;
            record.fill(subject, "date", "from@example.jp", "body of " + subject);
            ASSERT_TRUE(store().append(record).ok());
        }
    }
    Subjects subjects() const {
        Subjects out;
        for (const auto& record : store().readAll()) out.emplace_back(record.subject());
        return out;
    }
    TempFolder root_;
};

TEST_F(ListedRemovalTest, RemovesOnlyWhatTheListStillMatches) {
    // The list shows a, b, c; then another process changes the store (appends, removes).
    const struct {
        const char* name;
        Subjects storeNow;
        bool all;  // remove all listed, else row 2 ("b")
        bool removed;
        Subjects after;
    } cases[] = {
        {"all, unchanged", {"a", "b", "c"}, true, true, {}},
        {"all, mail appended since", {"a", "b", "c", "d", "e"}, true, true, {"d", "e"}},
        {"all, a removed since", {"b", "c", "d"}, true, false, {"b", "c", "d"}},
        {"row 2, mail appended since", {"a", "b", "c", "d"}, false, true, {"a", "c", "d"}},
        {"row 2, a removed since", {"b", "c"}, false, false, {"b", "c"}},
        {"row 2, store emptied since", {}, false, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(store().path());
        append({"a", "b", "c"});
        const ReceivedMailHeads listed = store().readListHeads();
        std::filesystem::remove(store().path());
        ASSERT_TRUE(store().createIfMissing().ok());
        append(c.storeNow);

        const Status st =
            c.all ? store().removeAllListed(listed) : store().removeListed(2, listed.entry(1));
        EXPECT_EQ(st.ok(), c.removed) << st.message();
        EXPECT_EQ(subjects(), c.after);
    }
}

}  // namespace
}  // namespace tsubame::testing
