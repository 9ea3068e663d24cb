#include "ui/fonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QStringList>

namespace tsubame {

void installFontSubstitutions() {
    // Candidates in order of preference; Qt takes the first one that is installed. The IPA
    // fonts come first: they share the Windows fonts' character widths and line height, so
    // captions fit the controls they were laid out for.
    const QStringList proportional = {"IPAPGothic", "Noto Sans CJK JP", "VL PGothic",
                                      "TakaoPGothic", "Droid Sans Fallback"};
    const QStringList fixedPitch = {"IPAGothic",   "Noto Sans Mono CJK JP", "VL Gothic",
                                    "TakaoGothic", "Noto Sans CJK JP",      "Droid Sans Fallback"};
    for (const QString& name : {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                                QStringLiteral("MS UI Gothic")})
        QFont::insertSubstitutions(name, proportional);
    for (const QString& name : {QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic")})
        QFont::insertSubstitutions(name, fixedPitch);
}

QString installedFamilyFor(const QString& family) {
    // The list of families, not hasFamily: that one asks fontconfig to match each name.
    const QStringList installed = QFontDatabase::families();
    // Substitutes come back in lower case; the installed spelling is the family's name.
    auto installedName = [&](const QString& name) {
        for (const QString& each : installed)
            if (each.compare(name, Qt::CaseInsensitive) == 0) return each;
        return QString();
    };
    if (const QString name = installedName(family); !name.isEmpty()) return name;
    for (const QString& candidate : QFont::substitutes(family))
        if (const QString name = installedName(candidate); !name.isEmpty()) return name;
    return family;
}

QFont formFont(const QString& family, int pointSize) {
    QFont font;
    font.setFamilies({installedFamilyFor(family)});
    font.setPointSize(pointSize);
    return font;
}

}  // namespace tsubame
