#include "ui/fonts.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>

namespace tsubame {
namespace {

QFont windowsFont(const QString& family) {
    QFont font;
    font.setFamilies({family});
    font.setPointSize(9);
    return font;
}

TEST(FontsTest, WindowsJapaneseFontNamesResolveToInstalledJapaneseFonts) {
    installFontSubstitutions();
    installFontSubstitutions();  // a second call changes nothing
    EXPECT_EQ(
        QFont::substitutes("ＭＳ Ｐゴシック").filter("IPAPGothic", Qt::CaseInsensitive).size(), 1);

    for (const QString& name :
         {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("ＭＳ ゴシック")}) {
        const QFont font = windowsFont(name);
        const QFontInfo info(font);
        EXPECT_NE(info.family(), name);
        const QFontMetrics metrics(font);
        for (QChar c : QStringLiteral("着信数メールを見る"))
            EXPECT_TRUE(metrics.inFont(c))
                << name.toStdString() << " lacks " << QString(c).toStdString();
    }
    // The fixed-pitch name keeps fixed pitch: narrow and wide Latin letters are equally wide.
    const QFontMetrics fixed(windowsFont("ＭＳ ゴシック"));
    EXPECT_EQ(fixed.horizontalAdvance('i'), fixed.horizontalAdvance('W'));
}

TEST(FontsTest, TheInstalledFamilyForAWindowsNameIsTheOneQtDrawsItWith) {
    installFontSubstitutions();
    for (const QString& name : {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("ＭＳ ゴシック")})
        EXPECT_EQ(installedFamilyFor(name).toStdString(),
                  QFontInfo(windowsFont(name)).family().toStdString());
    const QString installed = QFontInfo(windowsFont("ＭＳ Ｐゴシック")).family();
    EXPECT_EQ(installedFamilyFor(installed), installed);
    EXPECT_EQ(installedFamilyFor("No Such Family 1"), "No Such Family 1");
}

}  // namespace
}  // namespace tsubame
