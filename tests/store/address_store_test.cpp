#include "store/address_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "core/cp932.h"
#include "support/temp_folder.h"

using namespace tsubame;
using namespace tsubame::testing;

namespace {

class AddressStoreTest : public ::testing::Test {
  protected:
    TempFolder folder;
    AddressStore store{folder / "Kordata20.data", folder / "KORDATA20.TMP"};

    void add(std::initializer_list<std::string_view> names) {
        for (std::string_view name : names)
            ASSERT_TRUE(store.append(AddressRecord(name, std::string(name) + "@example.jp")));
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const AddressRecord& r : store.readAll()) out.emplace_back(trimBlanks(r.nameField()));
        return out;
    }
};

}  // namespace

TEST_F(AddressStoreTest, RecordLayoutPutsTheLineEndBetweenNameAndFlag) {
    std::string thirtyKanji;
    for (int i = 0; i < 30; ++i) thirtyKanji += "山";
    const std::string name = utf8ToCp932(thirtyKanji);  // 60 bytes
    AddressRecord record(name, std::string(60, 'a'));
    const std::string bytes(record.bytes.data(), AddressRecord::kSize);
    EXPECT_EQ(bytes.substr(0, 60), name);
    EXPECT_EQ(bytes.substr(60, 30), std::string(30, ' '));
    EXPECT_EQ(bytes.substr(90, 4), std::string("\r\n\x01\x00", 4));
    EXPECT_EQ(bytes.substr(94, 60), std::string(60, 'a'));
    EXPECT_EQ(bytes.substr(154), std::string(30, ' '));

    AddressRecord longer(std::string(100, 'n'), std::string(120, 'm'));
    EXPECT_EQ(longer.nameField(), std::string(90, 'n'));
    EXPECT_EQ(longer.addressField(), std::string(90, 'm'));
    AddressRecord empty("", "");
    EXPECT_EQ(empty.nameField(), std::string(90, ' '));
}

TEST_F(AddressStoreTest, AMissingOrEmptyBookHasNoEntriesAndTheFirstAppendIsRecordOne) {
    EXPECT_TRUE(store.readAll().empty());
    ASSERT_TRUE(store.createIfMissing());
    EXPECT_TRUE(store.readAll().empty());
    std::int64_t n = 0;
    ASSERT_TRUE(store.append(AddressRecord("a", "a@x"), &n));
    EXPECT_EQ(n, 1);
    EXPECT_EQ(std::filesystem::file_size(store.path()), 184u);
    ASSERT_TRUE(store.read(1).has_value());
    EXPECT_FALSE(store.read(2).has_value());
}

TEST_F(AddressStoreTest, RemovingEntryTwoOfThreeRenumbersTheRest) {
    add({"one", "two", "three"});
    ASSERT_TRUE(store.remove(2, true));
    EXPECT_EQ(names(), (std::vector<std::string>{"one", "three"}));
    EXPECT_EQ(std::filesystem::file_size(store.path()), 368u);
    EXPECT_EQ(trimBlanks(store.read(2)->addressField()), "three@example.jp");
    EXPECT_FALSE(std::filesystem::exists(folder / "KORDATA20.TMP"));
}

TEST_F(AddressStoreTest, DecliningKeepsEveryEntryButDropsAStrayMark) {
    add({"one", "two", "three"});
    const std::string before = readFileBytes(store.path());
    ASSERT_TRUE(store.remove(2, false));
    EXPECT_EQ(readFileBytes(store.path()), before);

    // A mark left by an interrupted run: readers still list it, the next run drops it.
    std::string file = before;
    file[184 + 92] = 0;
    writeFileBytes(store.path(), file);
    EXPECT_EQ(names(), (std::vector<std::string>{"one", "two", "three"}));
    ASSERT_TRUE(store.remove(1, false));
    EXPECT_EQ(names(), (std::vector<std::string>{"one", "three"}));
}

TEST_F(AddressStoreTest, AFailedRemovalKeepsTheEntry) {
    add({"one", "two"});
    const std::string before = readFileBytes(store.path());
    AddressStore broken(store.path(), folder / "missing" / "KORDATA20.TMP");
    EXPECT_FALSE(broken.remove(1, true));
    EXPECT_EQ(readFileBytes(store.path()), before);
}

TEST_F(AddressStoreTest, ATrailingPartialRecordIsIgnored) {
    add({"one"});
    std::string file = readFileBytes(store.path()) + std::string(50, 'z');
    writeFileBytes(store.path(), file);
    EXPECT_EQ(names(), (std::vector<std::string>{"one"}));
    EXPECT_EQ(store.count(), 1);
}

TEST_F(AddressStoreTest, ABookThatIsNoRegularFileIsRefusedByName) {
    const std::filesystem::path path = folder / "Kordata20.data";
    for (int kind = 0; kind < 3; ++kind) {
        std::filesystem::remove_all(path);
        const int made = kind == 0 ? ::mkfifo(path.c_str(), 0600) : 0;  // must not block
        if (kind == 1) std::filesystem::create_directory(path);
        if (kind == 2) std::filesystem::create_symlink("/dev/null", path);
        ASSERT_EQ(made, 0);
        const Status st = store.append(AddressRecord("a", "a@example.jp"));
        EXPECT_FALSE(st.ok()) << kind;
        EXPECT_NE(st.message().find(path.string()), std::string::npos) << st.message();
    }
}
