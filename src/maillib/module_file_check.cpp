#include "maillib/module_file_check.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace tsubame {
namespace {

std::string refusal(const std::filesystem::path& module, std::string_view why) {
    return "メール機能のモジュール「" + module.string() + "」を読み込みません: " + std::string(why);
}

std::string sha256Hex(int fd) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return {};
    char buffer[64 * 1024];
    std::int64_t offset = 0;
    for (;;) {
        std::size_t got = 0;
        if (!readAt(fd, buffer, sizeof buffer, offset, &got)) return {};
        if (got == 0) break;
        EVP_DigestUpdate(context.get(), buffer, got);
        offset += static_cast<std::int64_t>(got);
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return {};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 15];
    }
    return hex;
}

}  // namespace

Status openCheckedModule(const std::filesystem::path& module, std::string_view expectedDigest,
                         UniqueFd& fd) {
    fd = openFile(module, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (!fd.valid())
        return Status::failure(
            ioErrorText("メール機能のモジュールを読み込めません", module, errno));
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return Status::failure(refusal(module, "普通のファイルではありません。"));
    if (info.st_uid != ::geteuid() && info.st_uid != 0) {
        return Status::failure(refusal(
            module,
            "持ち主がこのユーザーでも root でもありません（入れ替えられたおそれがあります）。"));
    }
    if ((info.st_mode & S_IWOTH) != 0) {
        return Status::failure(refusal(
            module, "ほかのユーザーも書き換えられるファイルです（chmod o-w で直せます）。"));
    }
    if (!expectedDigest.empty() && sha256Hex(fd.get()) != expectedDigest) {
        return Status::failure(refusal(
            module,
            "このプログラムと一緒に作られたものではありません（壊れているか、別の版のものです）。"
            "プログラムを入れ直してください。"));
    }
    return {};
}

}  // namespace tsubame
