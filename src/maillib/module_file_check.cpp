#include "maillib/module_file_check.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace tsubame {
namespace {

std::string refusal(std::string_view what, const std::filesystem::path& module,
                    std::string_view why) {
    return std::string(what) + "「" + module.string() + "」を読み込みません: " + std::string(why);
}

// Adds bytes [offset, offset + length) of the file to the digest; false when they are not all
// there.
bool digestRange(EVP_MD_CTX* context, int fd, std::uint64_t offset, std::uint64_t length) {
    char buffer[64 * 1024];
    while (length > 0) {
        std::size_t got = 0;
        const std::size_t want = length < sizeof buffer ? length : sizeof buffer;
        if (!readAt(fd, buffer, want, static_cast<std::int64_t>(offset), &got) || got == 0)
            return false;
        EVP_DigestUpdate(context, buffer, got);
        offset += got;
        length -= got;
    }
    return true;
}

}  // namespace

std::string loadedImageDigest(int fd) {
    // What the dynamic loader reads of a module: the ELF header, the program headers and the
    // file contents of every segment they name. The debug sections beside them (most of the
    // file in a build with debug information) are never mapped, so they need no hashing.
    Elf64_Ehdr header{};
    std::size_t got = 0;
    if (!readAt(fd, &header, sizeof header, 0, &got) || got != sizeof header) return {};
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ehsize != sizeof header ||
        header.e_phentsize != sizeof(Elf64_Phdr) || header.e_phnum == 0 ||
        header.e_phnum >= PN_XNUM)
        return {};
    std::vector<Elf64_Phdr> segments(header.e_phnum);
    const std::size_t table = segments.size() * sizeof(Elf64_Phdr);
    if (!readAt(fd, segments.data(), table, static_cast<std::int64_t>(header.e_phoff), &got) ||
        got != table)
        return {};
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return {};
    EVP_DigestUpdate(context.get(), &header, sizeof header);
    EVP_DigestUpdate(context.get(), segments.data(), table);
    for (const Elf64_Phdr& segment : segments)
        if (!digestRange(context.get(), fd, segment.p_offset, segment.p_filesz)) return {};
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
    if (!expectedDigest.empty() && loadedImageDigest(fd.get()) != expectedDigest) {
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
