#pragma once

#include <QCoreApplication>
#include <QString>
#include <filesystem>

namespace tsubame::testing {

// The build folder: TSUBAME_BUILD_DIR when set, else the parent of the test's own folder
// (tests run from <build>/tests).
inline std::filesystem::path buildDir() {
    QString dir = qEnvironmentVariable("TSUBAME_BUILD_DIR");
    if (dir.isEmpty()) dir = QCoreApplication::applicationDirPath() + "/..";
    return std::filesystem::path(dir.toStdString());
}

// The built program, for tests that run it as a process.
inline std::filesystem::path builtProgram() { return buildDir() / "src" / "app" / "tsubame"; }

}  // namespace tsubame::testing
