#include "ui/fonts.h"

#include <QFont>
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

}  // namespace tsubame
