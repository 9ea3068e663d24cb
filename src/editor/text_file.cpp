#include "editor/text_file.h"

#include <QStringDecoder>
#include <fstream>
#include <iterator>

#include "core/cp932.h"
#include "core/user_file.h"
#include "editor/plain_text.h"

namespace tsubame {

QString folderPart(const QString& path) {
    qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.left(slash + 1);
}

QString decodeTextFile(std::string_view bytes) {
    // Files from other programs (a received .txt attachment) are mostly UTF-8; a code page
    // 932 file with Japanese text is almost never valid UTF-8, so the test is safe.
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    const bool bom = bytes.substr(0, kBom.size()) == kBom;
    const std::string_view rest = bom ? bytes.substr(kBom.size()) : bytes;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(QByteArrayView(rest.data(), static_cast<qsizetype>(rest.size())));
    if (!utf8.hasError()) return text;
    return QString::fromStdString(cp932ToUtf8(bytes));
}

std::optional<QString> readTextFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    QString text = normalizeLineBreaks(decodeTextFile(bytes));
    if (!text.isEmpty() && !text.endsWith(u'\n')) text += u'\n';
    return text;
}

Status writeTextFile(const std::filesystem::path& path, const QString& text) {
    return replaceUserFile(path, utf8ToCp932(toCrLf(text).toStdString()));
}

std::filesystem::path toPath(const QString& path) {
    return std::filesystem::path(path.toStdString());
}

QString fromPath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

}  // namespace tsubame
