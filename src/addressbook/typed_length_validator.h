#pragma once

#include <QValidator>

namespace tsubame {

// Limits what the user types into a line edit to maxLength characters, while text set by
// the program may be longer (unlike QLineEdit::setMaxLength, which cuts such text).
class TypedLengthValidator : public QValidator {
  public:
    TypedLengthValidator(int maxLength, QObject* parent) : QValidator(parent), max_(maxLength) {}
    State validate(QString& input, int&) const override {
        return input.size() > max_ ? Invalid : Acceptable;
    }

  private:
    int max_;
};

}  // namespace tsubame
