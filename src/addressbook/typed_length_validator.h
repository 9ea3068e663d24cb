#pragma once

#include <QValidator>

class QLineEdit;

namespace tsubame {

// Limits what the user types or pastes into a line edit to maxLength characters, while text
// set by the program may be longer (unlike QLineEdit::setMaxLength, which cuts such text).
// Input that does not fit is cut, not refused: pasting 70 characters into an empty box of 60
// keeps the first 60, and a key typed into a full box is dropped.
class TypedLengthValidator : public QValidator {
  public:
    // Installs itself on box and watches the box's user input.
    TypedLengthValidator(int maxLength, QLineEdit* box);
    State validate(QString& input, int& pos) const override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    int max_;
    qsizetype lengthBefore_ = 0;  // the box's length before the edit being validated
    bool userInput_ = false;      // inside a key, paste, drop or input-method event
};

}  // namespace tsubame
