#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>

#include "viewer/quick_save.h"
#include "viewer/reader_search.h"
#include "viewer/tyaku_layout.h"

class QEvent;
class QPushButton;
class QTextEdit;
class QUrl;
class QWidget;

namespace tsubame {

class AppContext;
class TyakuForm;
struct EditorTarget;

// The viewer's commands beyond listing and deleting: saving and answering the shown message,
// the search, the menus, toolbar and print, the layout that follows the window's size, and
// the hover help. Lives as a child of the viewer window.
class TyakuCommands : public QObject {
    Q_OBJECT
  public:
    TyakuCommands(AppContext& app, TyakuForm& form);

    // Saving and answering (quickSave, registerSender and reply need a shown mail, not a
    // selected row).
    void quickSave();            // Command2 "TextQuickSave"
    void saveUnderChosenName();  // msave, toolbar "Save" and "SaveAs"
    void copyHeaderField();      // Command1
    void registerSender();       // Command4
    void reply();                // Command5

    // The edit menu's own commands.
    void find();           // mkensaku
    void findNext();       // mtugikensaku
    void selectAll();      // mall
    void findFromMenu();   // mkensaku and Ctrl+F: find; an empty search box takes the focus
    void searchFromBox();  // Enter in the search box: find, then find next for the same text

    // "添付フォルダを開く": the attachment folder in the desktop's file manager.
    void openAttachmentFolder();
    // "元のメールを開く": the original of the shown mail, kept in the attachment folder, in the
    // desktop's program for mail files.
    void openOriginalMail();
    // How the folder and files reach the desktop; tests replace it. False when it could not.
    void setFolderOpener(std::function<bool(const QUrl&)> opener) {
        openFolder_ = std::move(opener);
    }
    const ReaderSearch& search() const { return search_; }

    // The toolbar's click, by key (exact comparison; unknown keys do nothing).
    void runToolbarKey(const QString& key);
    // The toolbar's print; returns the number of print jobs.
    int print();

    // Places the controls for an outer size in twips.
    void layoutForSize(double widthTwips, double heightTwips, bool maximized);

    ShownMessage shownMessage() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildMenus();
    void buildToolBar();
    void connectButtons();
    void installPointerWatch();
    void setPictures();
    void layoutForWindow();
    void pointerOver(QObject* watched);
    bool takeSelection();
    EditorTarget editorTarget() const;
    // The kept original the shown body names; empty when it names none that exists.
    std::filesystem::path originalMailPath() const;
    ViewerPlaces currentPlaces() const;

    template <class Widget>
    Widget& control(const char* name) const;
    QTextEdit& reader() const;

    AppContext& app_;
    TyakuForm& form_;
    QWidget* client_;  // the window's central widget
    ReaderSearch search_;
    QString searchedFromBox_;  // the text of the last search, for Enter in the box
    std::function<bool(const QUrl&)> openFolder_;
};

// The viewer's command object (nullptr when the window has none).
TyakuCommands* tyakuCommands(const TyakuForm& form);

}  // namespace tsubame
