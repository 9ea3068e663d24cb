#include "ui/qt_translations.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTranslator>
#include <memory>

namespace tsubame::testing {
namespace {

TEST(QtTranslationsTest, StandardDialogButtonsAndTheTextBoxMenuReadInJapanese) {
    QTranslator* translator = installQtJapaneseTranslation();
    ASSERT_NE(translator, nullptr) << "qtbase_ja.qm missing (qt6-translations-l10n)";

    QDialogButtonBox buttons(QDialogButtonBox::Cancel | QDialogButtonBox::Save);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
    EXPECT_EQ(buttons.button(QDialogButtonBox::Save)->text(), QStringLiteral("保存"));

    QLineEdit box;
    std::unique_ptr<QMenu> menu(box.createStandardContextMenu());
    QStringList entries;
    for (QAction* action : menu->actions())
        if (!action->isSeparator()) entries << action->text();
    EXPECT_TRUE(entries.filter(QStringLiteral("貼り付け")).size() == 1)
        << entries.join('|').toStdString();

    QCoreApplication::removeTranslator(translator);
    delete translator;
}

}  // namespace
}  // namespace tsubame::testing
