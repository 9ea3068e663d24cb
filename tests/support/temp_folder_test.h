#pragma once

#include <gtest/gtest.h>

#include "core/file_io.h"
#include "support/temp_folder.h"

namespace tsubame::testing {

// A test with a fresh folder of its own; file faults a test injects are cleared after it.
class TempFolderTest : public ::testing::Test {
  protected:
    void TearDown() override { clearInjectedFaults(); }
    TempFolder folder;
};

}  // namespace tsubame::testing
