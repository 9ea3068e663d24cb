#include "support/scripted_dialogs.h"

#include <QPrinter>

namespace tsubame::testing {
namespace {

std::optional<QString> takeFirst(std::deque<std::optional<QString>>& queue) {
    if (queue.empty() || !queue.front()) {
        if (!queue.empty()) queue.pop_front();
        return std::nullopt;
    }
    QString path = *queue.front();
    queue.pop_front();
    return path;
}

}  // namespace

BoxAnswer ScriptedDialogs::messageBox(QWidget*, const QString& text, const QString& title,
                                      BoxButtons buttons, BoxIcon icon) {
    boxes_.push_back({text, title, buttons, icon});
    if (onBox) onBox(Box(boxes_.back()));  // a copy: the hook may show further boxes
    if (!answers_.empty()) {
        BoxAnswer answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    return isYesNo(buttons) ? BoxAnswer::No : BoxAnswer::Ok;
}

std::optional<QString> ScriptedDialogs::openFileName(QWidget*, const QString&,
                                                     const QString& filter) {
    ++fileDialogs_;
    lastFilter_ = filter;
    return takeFirst(openPaths_);
}

std::optional<QString> ScriptedDialogs::saveFileName(QWidget*, const QString&,
                                                     const QString& filter) {
    ++fileDialogs_;
    lastFilter_ = filter;
    return takeFirst(savePaths_);
}

void ScriptedDialogs::printNext(std::optional<QString> pdfFile, int copies, PrintChoice choice) {
    printAnswers_.push_back({std::move(pdfFile), copies, choice});
}

bool ScriptedDialogs::printDialog(QWidget*, QPrinter& printer) {
    ++printDialogs_;
    selectionOffered_ = printer.printRange() == QPrinter::Selection;
    if (printAnswers_.empty()) return false;
    PrintAnswer answer = printAnswers_.front();
    printAnswers_.pop_front();
    if (!answer.pdfFile) return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(*answer.pdfFile);
    printer.setCopyCount(answer.copies);
    if (answer.choice == PrintChoice::WholeText) printer.setPrintRange(QPrinter::AllPages);
    return true;
}

std::vector<QString> ScriptedDialogs::boxTexts() const {
    std::vector<QString> texts;
    for (const Box& box : boxes_) texts.push_back(box.text);
    return texts;
}

}  // namespace tsubame::testing
