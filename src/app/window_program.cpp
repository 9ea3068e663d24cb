#include "app/window_program.h"

#include <dlfcn.h>

#include <cstdio>

#include "core/app_paths.h"

namespace tsubame {

int runWindowProgram(int argc, char** argv) {
    const std::string file = (executableFolder() / kWindowProgramFile).string();
    // Bound lazily, as the libraries of an executable are: the window pays no more than when
    // it was linked in. Never closed: the windows' objects live in it until the program ends.
    void* library = dlopen(file.c_str(), RTLD_LAZY | RTLD_LOCAL);
    auto run = library ? reinterpret_cast<decltype(&tsubame_run_window_program)>(
                             dlsym(library, kWindowProgramEntry))
                       : nullptr;
    if (run == nullptr) {
        const char* reason = dlerror();
        std::fprintf(stderr, "tsubame: ウィンドウの部分「%s」を読み込めません: %s\n", file.c_str(),
                     reason ? reason : "");
        return 1;
    }
    return run(argc, argv);
}

}  // namespace tsubame
