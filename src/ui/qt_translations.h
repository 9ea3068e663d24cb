#pragma once

class QTranslator;

namespace tsubame {

// The program speaks Japanese whatever the desktop's language: Qt's own texts (the buttons
// of the standard dialogs, the text boxes' right-click menu) come from Qt's Japanese
// translation "qtbase_ja" (Debian: qt6-translations-l10n). Installs it into the application
// and returns the translator (owned by the application), or nullptr when it is not installed.
QTranslator* installQtJapaneseTranslation();

}  // namespace tsubame
