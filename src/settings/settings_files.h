#pragma once

#include <string>

#include "core/app_paths.h"
#include "core/status.h"
#include "settings/profile_file.h"

namespace tsubame {

// The two profile files of the data folder, with their keys. Texts in and out are UTF-8.
class SettingsFiles {
  public:
    explicit SettingsFiles(const AppPaths& paths) : paths_(paths) {}

    // "ini.ini", section "EXEINI": "NUMBER" (ShowHelp) and "NUMBER2" (AutoOpenViewer).
    int readWindowOption(const std::string& key) const;
    Status writeWindowOption(const std::string& key, int value) const;

    // "iniIdPass.ini", section "EXEINI": "NAME", "NAME2", "NAME3". Created owner-only.
    std::string readLogin(const std::string& key) const;
    // The value as stored (code page 932 bytes), for the library: no conversion that could
    // change a byte on the way.
    std::string readLoginAsStored(const std::string& key) const;
    // Why "iniIdPass.ini" cannot be read (a missing file is no failure); a file that cannot
    // be read is never written over either.
    Status loginFileReadable() const;
    Status writeLogin(const std::string& key, const std::string& value) const;
    Status writeLoginAsStored(const std::string& key, const std::string& cp932) const;

  private:
    ProfileFile windowOptions() const { return ProfileFile(paths_.windowOptionsFile()); }
    ProfileFile login() const { return ProfileFile(paths_.loginFile(), 0600); }
    AppPaths paths_;  // a copy: the object may outlive the caller's paths
};

}  // namespace tsubame
