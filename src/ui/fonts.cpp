#include "ui/fonts.h"

#include <QFont>
#include <QStringList>

namespace tsubame {

void installFontSubstitutions() {
    // Candidates in order of preference; Qt takes the first one that is installed.
    const QStringList proportional = {"Noto Sans CJK JP", "IPAPGothic", "VL PGothic",
                                      "TakaoPGothic", "Droid Sans Fallback"};
    const QStringList fixedPitch = {
        "Noto Sans Mono CJK JP", "IPAGothic",        "VL Gothic",
        "TakaoGothic",           "Noto Sans CJK JP", "Droid Sans Fallback"};
    for (const QString& name : {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                                QStringLiteral("MS UI Gothic")})
        QFont::insertSubstitutions(name, proportional);
    for (const QString& name : {QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic")})
        QFont::insertSubstitutions(name, fixedPitch);
}

}  // namespace tsubame
