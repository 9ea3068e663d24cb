// The mail library module is loaded by the first call that needs it, from whichever thread,
// and not by starting or stopping the library; a module that cannot load fails every call.
#include "maillib/mail_library_module.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "support/pop3_test_helpers.h"

namespace tsubame::testing {
namespace {

std::filesystem::path builtModule() {
    const char* build = std::getenv("TSUBAME_BUILD_DIR");
    return std::filesystem::path(build ? build : "..") / "src" / "app" / kMailLibraryModuleFile;
}

bool moduleLoaded(const std::filesystem::path& module) {
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) dlclose(handle);
    return handle != nullptr;
}

TEST(MailLibraryModuleTest, StartingLoadsNothingAndTheFirstCallLoadsTheRealLibrary) {
    const std::filesystem::path module = builtModule();
    ASSERT_TRUE(std::filesystem::exists(module)) << module;
    auto library = createMailLibraryOnFirstUse(module, kBuiltMailLibraryModuleDigest);
    EXPECT_EQ(library->NMailInitializeWinSock(), 1);
    EXPECT_EQ(library->NMailSetOption(1, MailLibrary::kHeaderBufferSize), 1);
    EXPECT_TRUE(lastLibraryMessage(*library).empty());
    EXPECT_FALSE(moduleLoaded(module));

    // As a check does, from a thread of its own. Nothing listens on port 1: the real library
    // answers with its own failure text, to that thread.
    int result = 0;
    std::string text;
    std::thread([&] {
        result = library->NMailPop3Connect("127.0.0.1:1");
        text = lastLibraryMessage(*library);
    }).join();
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(moduleLoaded(module));
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(library->NMailEndWinSock(), 1);
}

// A failure on another thread (the check's, beside a send) never replaces this thread's text.
TEST(MailLibraryModuleTest, EachThreadReadsTheFailureTextOfItsOwnCall) {
    auto library = createMailLibraryOnFirstUse(builtModule(), kBuiltMailLibraryModuleDigest);
    EXPECT_LT(library->NMailSmtpSendMail("127.0.0.1:1", "a@example.com", nullptr, nullptr,
                                         "b@example.com", "s", "b", nullptr, "", 0),
              0);
    std::thread([&] { EXPECT_EQ(library->NMailPop3Connect("127.0.0.1:1"), -1); }).join();
    EXPECT_NE(lastLibraryMessage(*library).find("送信"), std::string::npos)
        << lastLibraryMessage(*library);
}

TEST(MailLibraryModuleTest, AMissingModuleFailsEveryCallAndSaysWhy) {
    auto library = createMailLibraryOnFirstUse("/nonexistent/libtsubame_nmail.so", "");
    EXPECT_EQ(library->NMailInitializeWinSock(), 1);
    EXPECT_EQ(library->NMailPop3Connect("127.0.0.1:1"), -1);
    EXPECT_LT(library->NMailSmtpSendMail("127.0.0.1:1", "a@example.com", nullptr, nullptr,
                                         "b@example.com", "s", "b", nullptr, nullptr, 0),
              0);
    EXPECT_NE(lastLibraryMessage(*library).find("/nonexistent/libtsubame_nmail.so"),
              std::string::npos);
    EXPECT_EQ(library->NMailInitializeWinSock(), -1);
}

// A module that is not the one built with the program is refused before anything of it
// runs: a truncated copy, one anyone may write, one of an earlier version.
TEST(MailLibraryModuleTest, AModuleThatFailsItsChecksIsNeverCalled) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("tsubame_module_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path earlier = builtModule().parent_path().parent_path().parent_path() /
                                          "tests" / "maillib" / "libtsubame_test_earlier_module.so";
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> spoil;
        bool withDigest;
        const char* told;
    };
    const Case cases[] = {
        {"truncated",
         [](auto& f) { std::filesystem::resize_file(f, std::filesystem::file_size(f) / 2); }, true,
         "壊れている"},
        {"writable by others",
         [](auto& f) {
             std::filesystem::permissions(f, std::filesystem::perms::others_write,
                                          std::filesystem::perm_options::add);
         },
         false, "ほかのユーザー"},
        {"earlier version",
         [&](auto& f) {
             std::filesystem::copy_file(earlier, f,
                                        std::filesystem::copy_options::overwrite_existing);
         },
         false, "版が違います"},
        {"earlier version, built digest",
         [&](auto& f) {
             std::filesystem::copy_file(earlier, f,
                                        std::filesystem::copy_options::overwrite_existing);
         },
         true, "別の版"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path copy = folder / (std::string(c.name) + ".so");
        std::filesystem::copy_file(builtModule(), copy,
                                   std::filesystem::copy_options::overwrite_existing);
        c.spoil(copy);
        auto library =
            createMailLibraryOnFirstUse(copy, c.withDigest ? kBuiltMailLibraryModuleDigest : "");
        EXPECT_EQ(library->NMailPop3Connect("127.0.0.1:1"), -1);
        EXPECT_NE(lastLibraryMessage(*library).find(c.told), std::string::npos)
            << lastLibraryMessage(*library);
        EXPECT_NE(lastLibraryMessage(*library).find(copy.string()), std::string::npos);
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tsubame::testing
