#pragma once

#include <QWidget>

namespace tsubame {

class AppContext;

// The main window: start-up, the main buttons, counters, clock and help line.
class MainForm : public QWidget {
    Q_OBJECT
public:
    explicit MainForm(AppContext& app, QWidget* parent = nullptr);
    ~MainForm() override;
    // The start-up steps.
    void load();

    // What the mail check and the viewer use of this window.
    void setWideLayout(bool wide);                 // 8400 or 2190 twips
    void setHelpText(const QString& text);         // Text1
    void setStatusText(const QString& text);       // Text3
    void setNewMailCount(const QString& text);     // Text6
    void setStoredMailCount(const QString& text);  // Text4
    QString storedMailCount() const;
    bool showHelpChecked() const;       // Check1 (ShowHelp)
    bool autoOpenViewerChecked() const; // Check2 (AutoOpenViewer)

    // Command4: narrow layout, then the mail check.
    void receiveMail();

private:
    AppContext& app_;
};

}  // namespace tsubame
