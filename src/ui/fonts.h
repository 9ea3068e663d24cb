#pragma once

namespace tsubame {

// The windows name the Windows Japanese fonts "ＭＳ Ｐゴシック" (proportional) and "ＭＳ ゴシック"
// (fixed pitch). Maps them, and their Latin spellings, to Japanese fonts that a Linux desktop
// has, so that Japanese captions render instead of empty boxes. Safe to call more than once;
// call after the QApplication exists and before any window is built.
void installFontSubstitutions();

}  // namespace tsubame
