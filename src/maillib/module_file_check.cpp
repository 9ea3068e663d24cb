#include "maillib/module_file_check.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

namespace tsubame {
namespace {

std::string refusal(std::string_view what, const std::filesystem::path& module,
                    std::string_view why) {
    return std::string(what) + "「" + module.string() + "」を読み込みません: " + std::string(why);
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
                         UniqueFd& fd, std::string_view what) {
    fd = openFile(module, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (!fd.valid())
        return Status::failure(ioErrorText(std::string(what) + "を読み込めません", module, errno));
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return Status::failure(refusal(what, module, "普通のファイルではありません。"));
    if (info.st_uid != ::geteuid() && info.st_uid != 0) {
        return Status::failure(refusal(
            what, module,
            "持ち主がこのユーザーでも root でもありません（入れ替えられたおそれがあります）。"));
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return Status::failure(refusal(
            what, module, "ほかのユーザーも書き換えられるファイルです（chmod go-w で直せます）。"));
    }
    if (!expectedDigest.empty() && sha256Hex(fd.get()) != expectedDigest) {
        return Status::failure(refusal(
            what, module,
            "このプログラムと一緒に作られたものではありません（壊れているか、別の版のものです）。"
            "プログラムを入れ直してください。"));
    }
    return {};
}

Status loadCheckedModule(const std::filesystem::path& module, std::string_view expectedDigest,
                         std::string_view what, const char* interfaceSymbol, int interfaceVersion,
                         void*& handle) {
    handle = nullptr;
    UniqueFd file;
    if (Status s = openCheckedModule(module, expectedDigest, file, what); !s) return s;
    // The loader knows the module by the name "/proc/self/fd/N", which must never name another
    // file: the descriptor stays open as long as the module stays loaded.
    const std::string opened = "/proc/self/fd/" + std::to_string(file.get());
    void* loaded = dlopen(opened.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (loaded == nullptr) {
        const char* reason = dlerror();
        return Status::failure(std::string(what) + "「" + module.string() +
                               "」を読み込めません: " + (reason ? reason : ""));
    }
    const auto* version = static_cast<const int*>(dlsym(loaded, interfaceSymbol));
    if (version == nullptr || *version != interfaceVersion) {
        dlclose(loaded);
        return Status::failure(std::string(what) + "「" + module.string() +
                               "」はこのプログラムと版が違います（モジュール " +
                               (version ? std::to_string(*version) : std::string("版なし")) +
                               "、プログラム " + std::to_string(interfaceVersion) +
                               "）。プログラムを入れ直してください。");
    }
    static_cast<void>(file.release());
    handle = loaded;
    return {};
}

}  // namespace tsubame
