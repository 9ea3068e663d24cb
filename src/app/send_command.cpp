#include "app/command_line.h"

#include <cstdio>

namespace tsubame {

int runSendCommand(AppContext&, const SendOptions&) {
    std::fprintf(stderr, "--send is not available yet\n");
    return 1;
}

}  // namespace tsubame
