#include "viewer/quick_save.h"

#include "core/app_paths.h"
#include "core/cp932.h"
#include "core/user_file.h"
#include "editor/plain_text.h"

namespace tsubame {
namespace {

constexpr qsizetype kMaxNameBytes = 255;
const QString kExtension = QStringLiteral(".txt");

}  // namespace

QString headerText(const ShownMessage& m) {
    return QStringLiteral("Subject:  ") + m.subject + u'\n' + QStringLiteral("From:  ") + m.from +
           u'\n' + QStringLiteral("Date:  ") + m.date + u'\n' + QStringLiteral("Body:  ") + m.body;
}

std::string quickSaveFileContent(const ShownMessage& message) {
    return utf8ToCp932(toCrLf(headerText(message) + u'\n').toStdString());
}

QString quickSaveFileName(const QString& subject) {
    QString name;
    for (QChar c : subject) {
        bool unsafe = c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7F;
        name += unsafe ? QChar(u'_') : c;
    }
    // Whole characters only, so a long Japanese subject is not cut inside one; the file is
    // written through a temporary file whose name adds a suffix to this one.
    constexpr auto kRoom = static_cast<qsizetype>(kTemporarySuffixBytes);
    while (name.toUtf8().size() + kExtension.toUtf8().size() + kRoom > kMaxNameBytes) name.chop(1);
    if (!name.isEmpty() && name.back().isHighSurrogate()) name.chop(1);
    return name + kExtension;
}

std::filesystem::path quickSavePath(const AppPaths& paths, const QString& subject) {
    return paths.quickSaveFolder() / quickSaveFileName(subject).toStdString();
}

}  // namespace tsubame
