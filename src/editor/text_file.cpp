#include "editor/text_file.h"

#include <fstream>
#include <iterator>

#include "core/cp932.h"
#include "core/file_io.h"
#include "editor/plain_text.h"

namespace tsubame {

QString folderPart(const QString& path) {
    qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.left(slash + 1);
}

std::optional<QString> readTextFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    QString text = normalizeLineBreaks(QString::fromStdString(cp932ToUtf8(bytes)));
    if (!text.isEmpty() && !text.endsWith(u'\n')) text += u'\n';
    return text;
}

Status writeTextFile(const std::filesystem::path& path, const QString& text) {
    return writeFileAtomically(path, utf8ToCp932(toCrLf(text).toStdString()));
}

std::filesystem::path toPath(const QString& path) {
    return std::filesystem::path(path.toStdString());
}

QString fromPath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

}  // namespace tsubame
