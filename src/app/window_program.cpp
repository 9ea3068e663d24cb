#include "app/window_program.h"

#include <dlfcn.h>

#include <cstdio>

#include "core/app_paths.h"
#include "maillib/module_file_check.h"

namespace tsubame {

int runWindowProgram(int argc, char** argv, const std::filesystem::path& appFolder) {
    const std::filesystem::path file = executableFolder() / kWindowProgramFile;
    // Never closed: the objects of the run live in it until the program ends.
    void* library = nullptr;
    Status loaded =
        loadCheckedModule(file, kBuiltWindowLibraryDigest, kWindowLibraryName,
                          kWindowLibraryInterface, kWindowLibraryInterfaceVersion, library);
    void* entry = loaded ? dlsym(library, kWindowProgramEntry) : nullptr;
    if (loaded && entry == nullptr) {
        const char* reason = dlerror();
        loaded = Status::failure(std::string(kWindowLibraryName) + "「" + file.string() +
                                 "」を読み込めません: " + (reason ? reason : ""));
    }
    if (!loaded) {
        std::fprintf(stderr, "tsubame: %s\n", loaded.message().c_str());
        return 1;
    }
    return reinterpret_cast<decltype(&tsubame_run_window_program)>(entry)(argc, argv,
                                                                          appFolder.c_str());
}

}  // namespace tsubame
