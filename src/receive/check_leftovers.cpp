#include "receive/check_leftovers.h"

#include "core/attachment_files.h"
#include "receive/scratch_mail_file.h"

namespace tsubame {

void removeCheckLeftovers(const std::filesystem::path& attachmentFolder) {
    std::error_code error;
    std::filesystem::directory_iterator it(attachmentFolder, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::filesystem::path& file = it->path();
        std::error_code ignored;
        if (!it->is_regular_file(ignored) || it->is_symlink(ignored)) continue;
        if (isTemporaryAttachmentName(file.filename().string()) ||
            ScratchMailFile::isLeftover(file))
            std::filesystem::remove(file, ignored);
    }
}

}  // namespace tsubame
