#include "addressbook/typed_length_validator.h"

#include <QEvent>
#include <QLineEdit>
#include <algorithm>

namespace tsubame {

TypedLengthValidator::TypedLengthValidator(int maxLength, QLineEdit* box)
    : QValidator(box), max_(maxLength), lengthBefore_(box->text().size()) {
    box->setValidator(this);
    box->installEventFilter(this);
    connect(box, &QLineEdit::textChanged, this,
            [this](const QString& text) { lengthBefore_ = text.size(); });
}

QValidator::State TypedLengthValidator::validate(QString& input, int& pos) const {
    if (!userInput_ || input.size() <= max_) return Acceptable;
    // Drop the part of the insertion that does not fit: it ends at the cursor.
    const qsizetype inserted = input.size() - lengthBefore_;
    if (inserted <= 0) return Acceptable;
    const qsizetype cut = std::min(inserted, input.size() - max_);
    const qsizetype end = std::clamp<qsizetype>(pos, cut, input.size());
    input.remove(end - cut, cut);
    pos = static_cast<int>(end - cut);
    return Acceptable;
}

bool TypedLengthValidator::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:  // its paste entry runs inside the event
        case QEvent::Drop:
        case QEvent::MouseButtonRelease: {  // the middle button pastes the selection
            // Handle the event here, so that the edits it makes are known to be the user's.
            userInput_ = true;
            const bool handled = static_cast<QObject*>(watched)->event(event);
            userInput_ = false;
            return handled;
        }
        default:
            return QValidator::eventFilter(watched, event);
    }
}

}  // namespace tsubame
