#pragma once

#include <QObject>
#include <QString>

class QTextEdit;

namespace tsubame {

class AppContext;
class WriteForm;
struct EditorTarget;

// The compose window's menus, toolbar and print, bound to the shared editing commands on its
// body. Lives as a child of the compose window.
class WriteCommands : public QObject {
    Q_OBJECT
  public:
    WriteCommands(AppContext& app, WriteForm& form);

    // The toolbar's click, by key (exact comparison; unknown keys do nothing).
    void runToolbarKey(const QString& key);
    // mprint and the toolbar's "Print"; returns the number of print jobs.
    int print();
    void selectAll();  // mall
    void paste();      // mpaste: pasted text takes the body's own format

  private:
    void buildMenus();
    void buildToolBar();
    EditorTarget editorTarget() const;
    QTextEdit& body() const;

    AppContext& app_;
    WriteForm& form_;
};

// The compose window's command object (nullptr when it has none).
WriteCommands* writeCommands(const WriteForm& form);

}  // namespace tsubame
