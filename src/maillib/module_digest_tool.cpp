// Prints the digest a module is checked against (loadedImageDigest), for the build to put
// into the program beside the module it built.
#include <fcntl.h>

#include <cstdio>

#include "core/file_io.h"
#include "maillib/module_file_check.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const tsubame::UniqueFd fd = tsubame::openFile(argv[1], O_RDONLY);
    const std::string digest = fd.valid() ? tsubame::loadedImageDigest(fd.get()) : "";
    if (digest.empty()) {
        std::fprintf(stderr, "%s: not a module\n", argv[1]);
        return 1;
    }
    std::puts(digest.c_str());
    return 0;
}
