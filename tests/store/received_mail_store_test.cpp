#include "store/received_mail_store.h"

#include <gtest/gtest.h>

#include <string>

#include "core/cp932.h"
#include "support/temp_folder.h"

using namespace tsubame;
using namespace tsubame::testing;

namespace {

constexpr std::size_t kSize = ReceivedMailRecord::kSize;

ReceivedMailRecord mail(std::string_view subject, std::string_view body = "body") {
    ReceivedMailRecord record;
    record.fill(subject, "Mon, 7 Dec 2026 09:00:00 +0900", "taro@example.jp", body);
    return record;
}

std::string repeat(std::string_view piece, int times) {
    std::string s;
    for (int i = 0; i < times; ++i) s += piece;
    return s;
}

class ReceivedMailStoreTest : public ::testing::Test {
  protected:
    TempFolder folder;
    ReceivedMailStore store{folder / "kordata2.data", folder / "KORDATA2.TMP"};

    void appendSubjects(std::initializer_list<std::string_view> subjects) {
        for (std::string_view s : subjects) ASSERT_TRUE(store.append(mail(s)));
    }
    std::vector<std::string> subjects() const {
        std::vector<std::string> out;
        for (const ReceivedMailRecord& r : store.readAll()) out.emplace_back(r.subject());
        return out;
    }
};

}  // namespace

TEST_F(ReceivedMailStoreTest, AppendPlacesRecordsByArithmetic) {
    ASSERT_TRUE(store.createIfMissing());
    EXPECT_EQ(store.count(), 0);
    std::int64_t n = 0;
    ASSERT_TRUE(store.append(mail("one"), &n));
    EXPECT_EQ(n, 1);
    EXPECT_EQ(readFileBytes(store.path()).substr(0, 3), "one");  // record 1 at offset 0
    appendSubjects({"two", "three"});
    ASSERT_TRUE(store.append(mail("four"), &n));
    EXPECT_EQ(n, 4);
    const std::string file = readFileBytes(store.path());
    EXPECT_EQ(file.size(), 129136u);
    EXPECT_EQ(file.substr(96852, 5), "four ");
    EXPECT_EQ(store.count(), 4);
}

TEST_F(ReceivedMailStoreTest, RecordsEndWithLineEndAndTheInUseFlag) {
    appendSubjects({"a", "b"});
    std::string file = readFileBytes(store.path());
    EXPECT_EQ(file.substr(kSize - 4, 4), std::string("\r\n\x01\x00", 4));
    EXPECT_EQ(file.substr(2 * kSize - 4, 4), std::string("\r\n\x01\x00", 4));
    ASSERT_TRUE(store.mark(1));
    file = readFileBytes(store.path());
    EXPECT_EQ(file.substr(kSize - 4, 4), std::string("\r\n\x00\x00", 4));
    EXPECT_EQ(file.substr(0, 1), "a");  // nothing else of the record changed
    EXPECT_EQ(file.substr(2 * kSize - 4, 4), std::string("\r\n\x01\x00", 4));
    EXPECT_FALSE(store.mark(3));
}

TEST_F(ReceivedMailStoreTest, TextFieldsAreTrimmedPaddedAndCutInBytes) {
    const std::string sixtyKanji = utf8ToCp932(repeat("漢", 60));
    ReceivedMailRecord record = mail(sixtyKanji);
    EXPECT_EQ(std::string(record.subjectField().data(), 100), sixtyKanji.substr(0, 100));
    EXPECT_EQ(std::string(record.bytes.data() + 100, 1), "M");  // the date starts right after

    record = mail(" hello ");
    EXPECT_EQ(std::string(record.subjectField().data(), 100), "hello" + std::string(95, ' '));
    EXPECT_EQ(record.subject(), "hello");

    // A character that the end would split is dropped whole and its byte becomes a blank.
    record = mail("a" + sixtyKanji);
    EXPECT_EQ(std::string(record.subjectField().data(), 100),
              std::string("a") + sixtyKanji.substr(0, 98) + " ");

    const std::string longBody(40000, 'x');
    record = mail("s", longBody);
    EXPECT_EQ(record.body().size(), 32000u);
    EXPECT_EQ(std::string(record.bytes.data() + 32280, 2), "\r\n");
}

TEST_F(ReceivedMailStoreTest, ReadersReturnRecordsInOrderAndOnlyTheListFieldsWhenAsked) {
    appendSubjects({"first", "second", "third"});
    EXPECT_EQ(subjects(), (std::vector<std::string>{"first", "second", "third"}));
    ReceivedMailRecord record;
    ASSERT_TRUE(store.read(2, record));
    EXPECT_EQ(record.subject(), "second");
    EXPECT_EQ(record.from(), "taro@example.jp");
    EXPECT_FALSE(store.read(4, record));
    std::vector<ReceivedMailListEntry> list = store.readListEntries();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[2].subject, "third" + std::string(95, ' '));  // cell form keeps the blanks
    EXPECT_EQ(list[2].from.substr(0, 15), "taro@example.jp");
    EXPECT_EQ(list[0].date.substr(0, 16), "Mon, 7 Dec 2026 ");
}

TEST_F(ReceivedMailStoreTest, DamagedFilesAreReadWithoutCrashing) {
    std::string junk(kSize + kSize / 3, '\0');
    for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 131 % 256);
    writeFileBytes(store.path(), junk);
    EXPECT_EQ(store.readAll().size(), 1u);
    EXPECT_EQ(store.readListEntries().size(), 1u);
    ReceivedMailRecord record;
    ASSERT_TRUE(store.read(1, record));
    EXPECT_FALSE(store.read(2, record));
    (void)cp932ToUtf8(record.body());  // any bytes decode to something
    // The rounded count puts the next mail behind the partial record.
    std::int64_t n = 0;
    ASSERT_TRUE(store.append(mail("new"), &n));
    EXPECT_EQ(n, 2);
    EXPECT_EQ(subjects().back(), "new");
}

TEST_F(ReceivedMailStoreTest, RemovingKeepsTheOthersInOrderAndLeavesNoTemporaryFile) {
    appendSubjects({"1", "2", "3"});
    ASSERT_TRUE(store.remove(2));
    EXPECT_EQ(subjects(), (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(std::filesystem::file_size(store.path()), 64568u);
    EXPECT_FALSE(std::filesystem::exists(folder / "KORDATA2.TMP"));
    EXPECT_FALSE(store.remove(3));

    // Marks made one by one go in a single compaction.
    appendSubjects({"4", "5"});
    ASSERT_TRUE(store.mark(1));
    ASSERT_TRUE(store.mark(4));
    ASSERT_TRUE(store.compact());
    EXPECT_EQ(subjects(), (std::vector<std::string>{"3", "4"}));

    ASSERT_TRUE(store.removeAll());
    EXPECT_EQ(std::filesystem::file_size(store.path()), 0u);
    EXPECT_EQ(store.count(), 0);
}

TEST_F(ReceivedMailStoreTest, AFailedRemovalLeavesTheStoreAsItWas) {
    appendSubjects({"1", "2", "3"});
    const std::string before = readFileBytes(store.path());
    ReceivedMailStore broken(store.path(), folder / "missing" / "KORDATA2.TMP");
    Status st = broken.remove(2);
    ASSERT_FALSE(st);
    EXPECT_FALSE(st.message().empty());
    EXPECT_EQ(readFileBytes(store.path()), before);  // the mark was taken back
}

TEST_F(ReceivedMailStoreTest, AFullStoreRefusesTheNextMail) {
    // 32767 records; the content does not matter for the limit, so the file may be sparse.
    writeFileBytes(store.path(), "");
    std::filesystem::resize_file(store.path(), 32767ull * kSize);
    Status st = store.append(mail("one too many"));
    ASSERT_FALSE(st);
    EXPECT_NE(st.message().find("32767"), std::string::npos) << st.message();
    EXPECT_EQ(std::filesystem::file_size(store.path()), 32767ull * kSize);
    // One record fewer and the mail fits, as record 32767.
    std::filesystem::resize_file(store.path(), 32766ull * kSize);
    std::int64_t n = 0;
    ASSERT_TRUE(store.append(mail("last"), &n));
    EXPECT_EQ(n, 32767);
}

TEST_F(ReceivedMailStoreTest, AppendIntoAMissingFolderIsReported) {
    ReceivedMailStore lost(folder / "missing" / "kordata2.data", folder / "missing" / "T");
    EXPECT_FALSE(lost.createIfMissing());
    EXPECT_FALSE(lost.append(mail("x")));
    EXPECT_TRUE(lost.readAll().empty());
    EXPECT_TRUE(lost.readListEntries().empty());
}
