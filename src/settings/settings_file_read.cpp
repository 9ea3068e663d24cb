#include "settings/settings_file_read.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "core/file_io.h"

namespace tsubame {

Status readSettingsFile(const std::filesystem::path& path, std::string& content, bool& exists) {
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

}  // namespace tsubame
