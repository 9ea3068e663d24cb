#include "maillib/mail_library.h"

#include "core/cp932.h"

namespace tsubame {

int MailLibrary::giveMessage(std::string_view message, std::string& buffer, int& size) {
    const std::size_t limit = size > 0 ? static_cast<std::size_t>(size - 1) : 0;
    buffer = std::string(message.substr(0, cp932SafeCut(message, limit)));
    size = static_cast<int>(buffer.size());
    return 1;
}

}  // namespace tsubame
