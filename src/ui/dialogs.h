#pragma once

#include <QString>
#include <optional>

class QPrinter;
class QWidget;

namespace tsubame {

// YesNoDefaultNo: a question whose Yes is hard to undo; Enter answers No.
enum class BoxButtons { Ok, OkCancel, YesNo, YesNoDefaultNo };
enum class BoxIcon { None, Information, Question, Exclamation, Critical };
enum class BoxAnswer { Ok, Cancel, Yes, No };

inline bool isYesNo(BoxButtons buttons) {
    return buttons == BoxButtons::YesNo || buttons == BoxButtons::YesNoDefaultNo;
}

// The application's own title, for boxes that give none.
inline const QString kApplicationTitle = QStringLiteral("Tsubame");

// Every message box, file dialog and print dialog of the windows goes through this, so that
// tests can answer them and a command-line run can write them to standard error.
class Dialogs {
  public:
    virtual ~Dialogs() = default;

    // An empty title shows the application's title.
    virtual BoxAnswer messageBox(QWidget* parent, const QString& text, const QString& title,
                                 BoxButtons buttons, BoxIcon icon) = 0;
    // nullopt when cancelled.
    virtual std::optional<QString> openFileName(QWidget* parent, const QString& title,
                                                const QString& filter) = 0;
    virtual std::optional<QString> saveFileName(QWidget* parent, const QString& title,
                                                const QString& filter) = 0;
    // Lets the user set up printer (copies among others); false when cancelled. A printer
    // whose print range is "selection" on entry has a selection to offer: the dialog offers
    // it (chosen at first), and the range on return is the user's choice.
    virtual bool printDialog(QWidget* parent, QPrinter& printer) = 0;

    // Shorthands for the common boxes.
    void notice(QWidget* parent, const QString& text, const QString& title = {}) {
        messageBox(parent, text, title, BoxButtons::Ok, BoxIcon::None);
    }
    bool confirm(QWidget* parent, const QString& text, BoxButtons buttons = BoxButtons::YesNo) {
        return messageBox(parent, text, QStringLiteral("確認"), buttons, BoxIcon::Question) ==
               BoxAnswer::Yes;
    }
};

}  // namespace tsubame
