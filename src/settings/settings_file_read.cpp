#include "settings/settings_file_read.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "core/file_io.h"

namespace tsubame {

namespace {

Status readSettings(const std::filesystem::path& path, std::string& content, bool& exists,
                    bool* untrusted) {
    content.clear();
    exists = false;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    UniqueFd fd = openFile(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (!fd.valid()) {
        if (errno == ENOENT || errno == ENOTDIR) return {};
        exists = true;
        return Status::failure(ioErrorText("設定ファイルを読み込めません", path, errno));
    }
    exists = true;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        return Status::failure(ioErrorText("設定ファイルを読み込めません", path, errno));
    if (!S_ISREG(info.st_mode))
        return Status::failure("設定ファイル「" + path.string() +
                               "」は普通のファイルではないため、読み込みません。");
    if (untrusted != nullptr &&
        (info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)) {
        *untrusted = true;
        return {};
    }
    char buffer[8192];
    std::int64_t offset = 0;
    for (;;) {
        std::size_t got = 0;
        if (Status st = readAt(fd.get(), buffer, sizeof buffer, offset, &got); !st)
            return Status::failure("設定ファイル「" + path.string() +
                                   "」を読み込めません: " + st.message());
        content.append(buffer, got);
        offset += static_cast<std::int64_t>(got);
        if (got < sizeof buffer) return {};
    }
}

}  // namespace

Status readSettingsFile(const std::filesystem::path& path, std::string& content, bool& exists) {
    return readSettings(path, content, exists, nullptr);
}

Status readOwnSettingsFile(const std::filesystem::path& path, std::string& content, bool& exists,
                           bool& untrusted) {
    untrusted = false;
    return readSettings(path, content, exists, &untrusted);
}

}  // namespace tsubame
