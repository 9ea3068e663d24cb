// A library that is not the program's: loading it would run its constructor, which leaves a
// mark (the installed-layout test plants it in the window library's place).
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

__attribute__((constructor)) static void leaveMark() {
    if (const char* mark = std::getenv("TSUBAME_FOREIGN_MARK"))
        ::close(::open(mark, O_WRONLY | O_CREAT, 0600));
}
