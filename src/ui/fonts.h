#pragma once

#include <QFont>
#include <QString>

namespace tsubame {

// The windows name the Windows Japanese fonts "ＭＳ Ｐゴシック" (proportional) and "ＭＳ ゴシック"
// (fixed pitch). Maps them, and their Latin spellings, to Japanese fonts that a Linux desktop
// has, so that Japanese captions render instead of empty boxes. Safe to call more than once;
// call after the QApplication exists and before any window is built.
void installFontSubstitutions();

// The installed family that draws for family: family itself when it is installed, else its
// first installed substitute, else family. A window whose font names this family draws the
// same glyphs and spares Qt the search for the missing family, a font-matching pass for each
// script of its texts.
QString installedFamilyFor(const QString& family);

// The font of a form: family (a Windows name) at pointSize, named by installedFamilyFor. A form
// sets it on itself before its controls are built, in place of naming family in its .ui.
QFont formFont(const QString& family, int pointSize);

}  // namespace tsubame
