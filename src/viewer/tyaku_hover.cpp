// The viewer's layout that follows the window's size, and its hover help.
#include <QEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTextEdit>
#include <QTreeView>
#include <cmath>
#include <map>

#include "viewer/tyaku_commands.h"
#include "viewer/tyaku_form.h"

namespace tsubame {
namespace {

constexpr double kTwipsPerPixel = 15;

const QString kCopyHelp =
    QStringLiteral(
        "本文以外のコピーに使用します。「Subject」「From」「Date」に表示されるデータをコピーします"
        "（貼り付けはメニューバー、ツールバーで出来ます）。Body（本文）はメニューバー、ツールバーか"
        "らコピー・貼り付けが出来ます。") +
    QStringLiteral("\n\n") +
    QStringLiteral(
        " 本文への貼り付け（あるいは本ソフトでの貼り付け機能がある部分）、他のアプリケーションへの"
        "貼り付けが可能です。") +
    QStringLiteral("\n\n") + QStringLiteral("コピーされる内容は右の欄に反映されます。");

const std::map<QString, QString>& helpTexts() {
    static const std::map<QString, QString> texts = {
        {"Command1", kCopyHelp},
        {"Command2",
         QStringLiteral("選択したデータをテキスト形式で本ソフト内の「TextQuickSave」フォルダ内に「"
                        "Subject」「From」「Date」「Boby」で保存します。ファイル名は「Subject」が"
                        "自動的に当てられます。同名のファイルが既に存在する場合は警告メッセージを"
                        "出します。")},
        {"Command3",
         QStringLiteral("受信したメールを１件ずつ削除します。リストでメールを選択（クリック）してか"
                        "ら実行して下さい。")},
        {"Command4",
         QStringLiteral("受信したメールをアドレス帳に登録します。リストからメールを選択（クリック）"
                        "してから実行して下さい。")},
        {"Command5",
         QStringLiteral("受信したメールに返事を出します。リストからメールを選択（クリック）してから"
                        "実行して下さい。")},
        {"Command6", QStringLiteral("受信したメール全件削除します。")},
        {"Text1",
         QStringLiteral("検索したい文字を入力し、メニューバーから「検索」「次を検索」を選択し、検索"
                        "したい文字を本文中(body)から検索します。")},
    };
    return texts;
}

void setBackground(QPushButton& button, const QColor& colour) {
    button.setStyleSheet(QStringLiteral("background-color: %1;").arg(colour.name()));
}

TwipsRect placeOf(const QWidget& w) {
    return {w.x() * kTwipsPerPixel, w.y() * kTwipsPerPixel, w.width() * kTwipsPerPixel,
            w.height() * kTwipsPerPixel};
}

int toPixels(double twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }

// Rounds the edges, not the size, so that boxes placed edge to edge stay so in pixels.
void place(QWidget& w, const TwipsRect& r) {
    const int left = toPixels(r.left);
    const int top = toPixels(r.top);
    w.setGeometry(left, top, toPixels(r.left + r.width) - left, toPixels(r.top + r.height) - top);
}

}  // namespace

void TyakuCommands::installPointerWatch() {
    QWidget* watched[] = {&control<QWidget>("Command1"),
                          &control<QWidget>("Command2"),
                          &control<QWidget>("Command3"),
                          &control<QWidget>("Command4"),
                          &control<QWidget>("Command5"),
                          &control<QWidget>("Command6"),
                          &control<QWidget>("Text1"),
                          form_.mailList()->viewport(),
                          reader().viewport(),
                          form_.subjectBox(),
                          form_.fromBox(),
                          form_.dateBox(),
                          client_};
    for (QWidget* widget : watched) {
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
    }
}

bool TyakuCommands::eventFilter(QObject* watched, QEvent* event) {
    // Only the pointer and the client area's size matter; the check on the event comes first,
    // as the filter also sees the events of a window that is being taken down.
    const QEvent::Type type = event->type();
    if (type != QEvent::Resize && type != QEvent::MouseMove && type != QEvent::Enter) return false;
    if (watched == client_) {
        if (type == QEvent::Resize) {
            // The client area follows the window; by now both have their new size.
            layoutForWindow();
        } else if (type == QEvent::MouseMove) {
            // Moves over a control reach the background too; only the bare background counts.
            const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
            if (client_->childAt(at) == nullptr) layoutForWindow();
        }
        return false;
    }
    if (type != QEvent::Resize) pointerOver(watched);
    return false;
}

void TyakuCommands::pointerOver(QObject* watched) {
    QTextEdit& help = *form_.helpBox();
    QPushButton& copyButton = control<QPushButton>("Command1");
    QLineEdit& copyBox = control<QLineEdit>("Text6");
    auto text = helpTexts().find(watched->objectName());
    if (text != helpTexts().end()) {
        help.setVisible(true);
        help.setPlainText(text->second);
    } else if (watched == form_.mailList()->viewport()) {
        help.setVisible(false);
        help.setPlainText(QString());
        setBackground(copyButton, QColor(128, 128, 128));
    } else if (watched == reader().viewport()) {
        help.setVisible(false);
        setBackground(copyButton, QColor(128, 128, 128));
    } else if (watched == form_.subjectBox()) {
        copyBox.setText(form_.subjectBox()->text());
        setBackground(copyButton, QColor(255, 255, 0));
    } else if (watched == form_.fromBox()) {
        copyBox.setText(form_.fromBox()->text());
        setBackground(copyButton, QColor(0, 0, 255));
    } else if (watched == form_.dateBox()) {
        copyBox.setText(form_.dateBox()->text());
        setBackground(copyButton, QColor(255, 255, 255));
    }
}

ViewerPlaces TyakuCommands::currentPlaces() const {
    ViewerPlaces p;
    p.topStrip = placeOf(control<QWidget>("Picture1"));
    p.list = placeOf(*form_.mailList());
    p.subject = placeOf(*form_.subjectBox());
    p.from = placeOf(*form_.fromBox());
    p.date = placeOf(*form_.dateBox());
    p.reader = placeOf(reader());
    p.copyButton = placeOf(control<QWidget>("Command1"));
    p.copyBox = placeOf(control<QWidget>("Text6"));
    p.statusBar = placeOf(control<QWidget>("StatusBar1"));
    return p;
}

void TyakuCommands::layoutForWindow() {
    const QSize outer = form_.frameGeometry().size();
    layoutForSize(outer.width() * kTwipsPerPixel, outer.height() * kTwipsPerPixel,
                  form_.isMaximized());
}

void TyakuCommands::layoutForSize(double widthTwips, double heightTwips, bool maximized) {
    QWidget& client = *form_.centralWidget();
    // The status bar keeps to the bottom edge of the client area.
    QWidget& statusBar = control<QWidget>("StatusBar1");
    statusBar.setGeometry(0, client.height() - statusBar.height(), client.width(),
                          statusBar.height());
    QWidget& copyBox = control<QWidget>("Text6");
    QWidget& copyButton = control<QWidget>("Command1");
    copyBox.setVisible(true);
    control<QWidget>("Command2").setVisible(true);

    const ViewerPlaces p = viewerLayout(currentPlaces(), widthTwips, heightTwips, maximized);
    place(control<QWidget>("Picture1"), p.topStrip);
    place(*form_.mailList(), p.list);
    place(*form_.subjectBox(), p.subject);
    place(*form_.fromBox(), p.from);
    place(*form_.dateBox(), p.date);
    place(reader(), p.reader);
    place(copyButton, p.copyButton);
    place(copyBox, p.copyBox);
    if (maximized) {
        // The outer height counts the title and menu bars; keep both in sight.
        for (QWidget* w : {&copyBox, &copyButton})
            if (w->y() + w->height() > client.height())
                w->move(w->x(), client.height() - w->height());
    }
}

}  // namespace tsubame
