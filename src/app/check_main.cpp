// The check library's entry (libtsubame_check.so): --check, started by the executable
// (app/window_program.h).
#include "app/check_command.h"
#include "app/window_program.h"

int tsubame_run_check_program(const char* appFolder) { return tsubame::runCheckProgram(appFolder); }
