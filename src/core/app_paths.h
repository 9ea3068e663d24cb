#pragma once

#include <filesystem>
#include <string_view>

namespace tsubame {

// Resolves relative under base one component at a time, matching each name without regard
// to ASCII letter case ("★MAilData" reaches "★MailData"). A component that exists with the
// exact spelling wins; a missing one keeps the spelling given.
std::filesystem::path resolveCaseInsensitive(const std::filesystem::path& base,
                                             std::string_view relative);

// Every file and folder the program uses, under the application folder.
class AppPaths {
  public:
    explicit AppPaths(std::filesystem::path appFolder);

    const std::filesystem::path& appFolder() const { return appFolder_; }
    std::filesystem::path dataFolder() const;           // "★MailData"
    std::filesystem::path receivedStore() const;        // "★MAilData/kordata2.data"
    std::filesystem::path receivedTemp() const;         // "★MAilData/KORDATA2.TMP"
    std::filesystem::path addressStore() const;         // "★MAilData/Kordata20.data"
    std::filesystem::path addressTemp() const;          // "★MAilData/KORDATA20.TMP"
    std::filesystem::path windowOptionsFile() const;    // "★MailData/ini.ini"
    std::filesystem::path loginFile() const;            // "★MailData/iniIdPass.ini"
    std::filesystem::path receiveJournal() const;       // ids of mails stored by a running check
    std::filesystem::path trustedCertificates() const;  // "★MailData/trusted-certificates"
    // the records' kept originals: one file per record, named by its checksum
    std::filesystem::path keptOriginals() const;
    std::filesystem::path dataFolderLock() const;     // held by every writer of the received store
    std::filesystem::path addressBookLock() const;    // held by every writer of the address book
    std::filesystem::path attachmentFolder() const;   // "添付フォルダ"
    std::filesystem::path attachmentScratch() const;  // "添付フォルダ/0.txt"
    std::filesystem::path quickSaveFolder() const;    // "■TextQuickSave"
    std::filesystem::path flashPage() const;          // "Flash/1.html"
    std::filesystem::path newDocument() const;        // "新規作成.TXT"

    // "korumi.ini" lives in the application folder, so that the settings do not depend on
    // the folder the program is started from. Saving always goes there.
    std::filesystem::path serverSettingsFile() const;
    // The file to read: the application folder's; when it has none, one left in the working
    // directory by an older installation (the next save moves the settings to the folder).
    std::filesystem::path serverSettingsFileToRead() const;

    std::filesystem::path resolve(std::string_view relative) const {
        return resolveCaseInsensitive(appFolder_, relative);
    }

  private:
    std::filesystem::path appFolder_;
};

// The folder that holds the running executable.
std::filesystem::path executableFolder();

}  // namespace tsubame
