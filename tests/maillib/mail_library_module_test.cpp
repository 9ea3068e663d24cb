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
#include <tuple>

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
    EXPECT_NE(lastLibraryMessage(*library).find("SMTP"), std::string::npos)
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
// runs: cut short inside its code (0), writable by others (1), of an earlier version (2), writable by its
// group (3).
TEST(MailLibraryModuleTest, AModuleThatFailsItsChecksIsNeverCalled) {
    namespace fs = std::filesystem;
    const fs::path copy =
        fs::temp_directory_path() / ("tsubame_module_" + std::to_string(::getpid()));
    for (const auto& [spoil, digest, told] :
         {std::tuple{0, true, "壊れている"}, std::tuple{1, false, "ほかのユーザー"},
          std::tuple{2, false, "版が違います"}, std::tuple{2, true, "別の版"},
          std::tuple{3, true, "ほかのユーザー"}}) {
        fs::copy_file(spoil == 2 ? builtModule().parent_path() /
                                       "../../tests/maillib/libtsubame_test_earlier_module.so"
                                 : builtModule(),
                      copy, fs::copy_options::overwrite_existing);
        if (spoil == 0) fs::resize_file(copy, 8192);
        if (spoil == 1) fs::permissions(copy, fs::perms::others_write, fs::perm_options::add);
        if (spoil == 3) fs::permissions(copy, fs::perms::group_write, fs::perm_options::add);
        auto library =
            createMailLibraryOnFirstUse(copy, digest ? kBuiltMailLibraryModuleDigest : "");
        EXPECT_EQ(library->NMailPop3Connect("127.0.0.1:1"), -1);
        EXPECT_NE(lastLibraryMessage(*library).find(told), std::string::npos) << told;
        fs::remove(copy);
    }
}

}  // namespace
}  // namespace tsubame::testing
