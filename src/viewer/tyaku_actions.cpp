// Saving, copying, registering and answering the message shown in the viewer.
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTextEdit>

#include "addressbook/friend_form.h"
#include "context/app_context.h"
#include "core/user_file.h"
#include "editor/text_file_commands.h"
#include "reply/back_form.h"
#include "viewer/tyaku_commands.h"
#include "viewer/tyaku_form.h"

namespace tsubame {

ShownMessage TyakuCommands::shownMessage() const {
    return form_.asRecordHolds({form_.subjectBox()->text(), form_.fromBox()->text(),
                                form_.dateBox()->text(), reader().toPlainText()});
}

bool TyakuCommands::takeSelection() {
    if (!form_.requireChosenMail()) return false;
    reader().setFocus();
    form_.setSelectionFlag(QString());
    return true;
}

void TyakuCommands::quickSave() {
    if (!takeSelection()) return;
    const ShownMessage message = shownMessage();
    const std::filesystem::path path = quickSavePath(app_.paths(), message.subject);
    std::error_code error;
    const bool exists = std::filesystem::exists(std::filesystem::symlink_status(path, error));
    if (exists && !app_.dialogs().confirm(
                      &form_, QStringLiteral("同名のファイルが既に存在します。上書きしますか？ ")))
        return;
    const Status written = replaceUserFile(path, quickSaveFileContent(message));
    if (!written) {
        app_.dialogs().notice(&form_, QStringLiteral("TextQuickSave に保存できませんでした。\n") +
                                          QString::fromStdString(written.message()));
        return;
    }
    reader().setPlainText(headerText(message));
}

void TyakuCommands::saveUnderChosenName() {
    reader().setPlainText(headerText(shownMessage()));
    saveViewerTextAs(reader(), app_.dialogs(), form_);
}

void TyakuCommands::copyHeaderField() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(control<QLineEdit>("Text6").text());
}

void TyakuCommands::registerSender() {
    if (!takeSelection()) return;
    FriendForm& book = app_.addressBook();
    book.setAddressText(form_.fromBox()->text());
    AppContext::showWindow(book);
}

void TyakuCommands::reply() {
    if (!takeSelection()) return;
    BackForm& answer = app_.reply();
    answer.fillReply(form_.subjectBox()->text(), form_.fromBox()->text(), reader().toPlainText());
    AppContext::showWindow(answer);
}

}  // namespace tsubame
