#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "ui/dialogs.h"

namespace tsubame::testing {

// Answers every box from a script and records it. Unscripted boxes get OK (or No for a
// Yes/No question); unscripted file dialogs are cancelled.
class ScriptedDialogs : public Dialogs {
  public:
    struct Box {
        QString text;
        QString title;  // as passed; empty means the application's title
        BoxButtons buttons;
        BoxIcon icon;
    };

    BoxAnswer messageBox(QWidget* parent, const QString& text, const QString& title,
                         BoxButtons buttons, BoxIcon icon) override;
    std::optional<QString> openFileName(QWidget* parent, const QString& title,
                                        const QString& filter) override;
    std::optional<QString> saveFileName(QWidget* parent, const QString& title,
                                        const QString& filter) override;
    bool printDialog(QWidget* parent, QPrinter& printer) override;

    // Scripting.
    void answerNext(BoxAnswer answer) { answers_.push_back(answer); }
    void openNext(std::optional<QString> path) { openPaths_.push_back(std::move(path)); }
    void saveNext(std::optional<QString> path) { savePaths_.push_back(std::move(path)); }
    // Print dialog: accept with this many copies and this PDF output file (nullopt: cancel),
    // keeping the range offered or switching to the whole text.
    enum class PrintChoice { AsOffered, WholeText };
    void printNext(std::optional<QString> pdfFile, int copies = 1,
                   PrintChoice choice = PrintChoice::AsOffered);
    // Whether the last print dialog was asked to offer a selection.
    bool selectionOffered() const { return selectionOffered_; }

    const std::vector<Box>& boxes() const { return boxes_; }
    std::vector<QString> boxTexts() const;
    int fileDialogsShown() const { return fileDialogs_; }
    int printDialogsShown() const { return printDialogs_; }
    QString lastFileFilter() const { return lastFilter_; }
    void clear() { boxes_.clear(); }
    // Runs while a message box is up, before its answer (a real box runs an event loop then).
    std::function<void(const Box&)> onBox;

  private:
    struct PrintAnswer {
        std::optional<QString> pdfFile;
        int copies;
        PrintChoice choice;
    };
    std::deque<BoxAnswer> answers_;
    std::deque<std::optional<QString>> openPaths_;
    std::deque<std::optional<QString>> savePaths_;
    std::deque<PrintAnswer> printAnswers_;
    std::vector<Box> boxes_;
    int fileDialogs_ = 0;
    int printDialogs_ = 0;
    bool selectionOffered_ = false;
    QString lastFilter_;
};

}  // namespace tsubame::testing
