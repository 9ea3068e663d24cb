#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>

#include "context/main_window.h"

class QCheckBox;
class QProgressBar;
class QTimer;

namespace Ui {
class MainForm;
}

namespace tsubame {

class AppContext;
class BackgroundMailCheck;
class HoverHelp;
struct MailCheckOutcome;

// The main window: start-up, the main buttons, counters, clock and help line. Closing it
// saves the window options, stops the mail library and unloads every other window.
class MainForm : public QWidget, public MainWindow {
    Q_OBJECT
  public:
    // The address the "HP" button opens.
    static const QUrl kHomePage;

    explicit MainForm(AppContext& app, QWidget* parent = nullptr);
    ~MainForm() override;
    // The start-up steps.
    void load();

    // What the mail check and the viewer use of this window.
    void setWideLayout(bool wide);                          // 8400 or 2190 twips
    void setHelpText(const QString& text) override;         // Text1
    void setStatusText(const QString& text);                // Text3
    void setNewMailCount(const QString& text);              // Text6
    void setStoredMailCount(const QString& text) override;  // Text4
    QString storedMailCount() const;
    bool showHelpChecked() const override;  // Check1 (ShowHelp)
    bool autoOpenViewerChecked() const;     // Check2 (AutoOpenViewer)
    bool isWideLayout() const { return wide_; }

    // Command4: starts the mail check on a thread of its own; while it runs the button reads
    // "中止" and stops it after the current mail, as Esc does.
    void receiveMail();
    bool checkRunning() const;

    // How the "HP" button reaches the desktop's browser; tests replace it.
    void setUrlOpener(std::function<void(const QUrl&)> opener) { openUrl_ = std::move(opener); }

  signals:
    // Emitted once the closing steps have run; the program ends then.
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void connectControls();
    void installHoverHelp();
    void showLocalPage();
    void applyWindowOption(const char* key, QCheckBox* box);
    void countStoredMail();
    void openSettingsWhenMissing();
    void applyShowHelp();
    void updateClock();
    void unload();
    void setupCheckProgress();
    void stopCheck();
    void showCheckProgress(int done, int total);
    void showDownloadProgress(int done, int total, qint64 received, qint64 listed);
    void checkFinished(const MailCheckOutcome& outcome);

    AppContext& app_;
    std::unique_ptr<Ui::MainForm> ui_;
    HoverHelp* hoverHelp_ = nullptr;
    QTimer* clock_ = nullptr;
    BackgroundMailCheck* check_ = nullptr;
    QProgressBar* checkProgress_ = nullptr;  // in place of Text3 while a check runs
    std::function<void(const QUrl&)> openUrl_;
    bool wide_ = false;
    bool unloaded_ = false;
};

}  // namespace tsubame
