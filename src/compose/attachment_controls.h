#pragma once

#include <QString>

class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

namespace tsubame {

class Dialogs;

// The attachment controls of the compose and reply windows: "添付File"/"添付" picks the first
// file, "追加" adds more, "取り消し" drops them all; the paths go into one comma-separated box
// and the file names into a list.
struct AttachmentControls {
    QPushButton& attach;  // AttachCommand
    QPushButton& add;     // Command9
    QPushButton& drop;    // Command10
    QLineEdit& paths;     // AttachText
    QListWidget& names;   // List2

    // Enables "追加", asks for a file (a chosen one replaces the paths), and disables the
    // first button whether or not a file was chosen.
    void attachFirst(Dialogs& dialogs, QWidget* window);
    // Shows the list; with a first file in place asks for one more and appends its path.
    void attachAnother(Dialogs& dialogs, QWidget* window);
    // Empties the paths and the list, hides the list, and leaves only the first button on.
    void dropAll();

  private:
    // Asks for one file and lists its name; false when none was chosen (an empty name too).
    bool chooseFile(Dialogs& dialogs, QWidget* window, QString& path);
};

}  // namespace tsubame
