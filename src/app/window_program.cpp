#include "app/window_program.h"

#include <dlfcn.h>

#include <cstdio>

#include "core/app_paths.h"

namespace tsubame {
namespace {

// The entry of a library beside the executable, or null after a message. Bound lazily, as the
// libraries of an executable are: the window pays no more than when it was linked in. Never
// closed: the objects of the run live in it until the program ends.
void* programEntry(const char* name, const char* entry) {
    const std::string file = (executableFolder() / name).string();
    void* library = dlopen(file.c_str(), RTLD_LAZY | RTLD_LOCAL);
    void* run = library ? dlsym(library, entry) : nullptr;
    if (run == nullptr) {
        const char* reason = dlerror();
        std::fprintf(stderr, "tsubame: プログラムの部分「%s」を読み込めません: %s\n", file.c_str(),
                     reason ? reason : "");
    }
    return run;
}

}  // namespace

int runWindowProgram(int argc, char** argv, const std::filesystem::path& appFolder) {
    void* entry = programEntry(kWindowProgramFile, kWindowProgramEntry);
    if (entry == nullptr) return 1;
    return reinterpret_cast<decltype(&tsubame_run_window_program)>(entry)(argc, argv,
                                                                          appFolder.c_str());
}

int runCheckLibrary(const std::filesystem::path& appFolder) {
    void* entry = programEntry(kCheckProgramFile, kCheckProgramEntry);
    if (entry == nullptr) return 1;
    return reinterpret_cast<decltype(&tsubame_run_check_program)>(entry)(appFolder.c_str());
}

}  // namespace tsubame
