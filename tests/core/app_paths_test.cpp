#include "core/app_paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_folder.h"

using namespace tsubame;
using namespace tsubame::testing;

TEST(AppPaths, FolderAndFileNamesAreMatchedWithoutRegardToCase) {
    TempFolder app;
    std::filesystem::create_directory(app / "★MailData");
    writeFileBytes(app / "★MailData" / "Kordata20.data", "");
    AppPaths paths(app.path());
    EXPECT_EQ(paths.resolve("★MAilData"), app / "★MailData");
    EXPECT_EQ(paths.resolve("★MAilData/kordata20.data"), app / "★MailData" / "Kordata20.data");
    EXPECT_EQ(paths.resolve("★MAilData\\KORDATA20.DATA"), app / "★MailData" / "Kordata20.data");
    EXPECT_EQ(paths.addressStore(), app / "★MailData" / "Kordata20.data");
    EXPECT_EQ(paths.receivedStore().parent_path(), app / "★MailData");
}

TEST(AppPaths, MissingNamesKeepTheSpellingGiven) {
    TempFolder app;
    AppPaths paths(app.path());
    EXPECT_EQ(paths.receivedStore(), app / "★MAilData" / "kordata2.data");
    std::filesystem::create_directory(app / "★maildata");
    EXPECT_EQ(paths.receivedStore(), app / "★maildata" / "kordata2.data");
}

TEST(AppPaths, AnExactSpellingWinsAndOtherwiseTheChoiceIsStable) {
    TempFolder app;
    std::filesystem::create_directory(app / "b");
    std::filesystem::create_directory(app / "DATA");
    std::filesystem::create_directory(app / "Data");
    EXPECT_EQ(resolveCaseInsensitive(app.path(), "Data"), app / "Data");
    EXPECT_EQ(resolveCaseInsensitive(app.path(), "data"), app / "DATA");  // smallest name
    EXPECT_EQ(resolveCaseInsensitive(app.path(), "B/x"), app / "b" / "x");
}
