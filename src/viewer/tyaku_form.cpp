#include "viewer/tyaku_form.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPointer>
#include <QStyle>
#include <QTextDocument>
#include <QTreeView>
#include <algorithm>

#include "context/app_context.h"
#include "context/locked_write.h"
#include "core/cp932.h"
#include "core/fixed_field.h"
#include "editor/plain_text.h"
#include "receive/kept_originals.h"
#include "ui_tyaku_form.h"
#include "viewer/list_cell_delegate.h"
#include "viewer/mail_list_model.h"
#include "viewer/tyaku_commands.h"

namespace tsubame {
namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int px(int twips) { return twips / kTwipsPerPixel; }

// Every OK in the load-error box tries the failed step again; an automatic answerer (tests,
// command line) must not keep the window from ever opening.
constexpr int kMaxLoadRetries = 20;

const QColor kListBackground(210, 250, 250);  // 16448210 in the 0x00BBGGRR form

// The widest usual Date header, for the Date column's least width.
const QString kLongDate = QStringLiteral("Wed, 30 Sep 2026 23:59:59 +0900");

// In the caption while a deletion waits for another writer (a mail check) to finish.
const QString kWaitingForLock =
    QStringLiteral("　―　メール受信などほかの処理が終わるのを待って削除します…");

QString fromCp932(std::string_view text) { return QString::fromStdString(cp932ToUtf8(text)); }

// Stored bodies break lines with CR LF; the reader with "\n".
QString readerText(std::string_view cp932Body) {
    QString text = fromCp932(cp932Body);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

// A header box shows the start of its text: a long date or address must not lose its
// beginning to the cursor that setText() leaves at the end.
void showInBox(QLineEdit* box, const QString& text) {
    box->setText(text);
    box->setCursorPosition(0);
}

QString cutAtNul(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

// The text the reader gives back after taking `text`: its document turns a lone CR into a
// line break, a no-break space into a blank and so on. A document without a layout does not
// lay the text out.
QString asReaderHolds(const QString& text) {
    QTextDocument document;
    document.setPlainText(text);
    return document.toPlainText();
}

// Clears the clipboard, puts the text on it up to its first NUL, reads it back and trims
// blanks at both ends.
QString throughClipboard(const QString& readerText) {
    const QString text = cutAtNul(readerText);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
    const QString back = clipboard->text();
    // A clipboard that cannot hold text (no display) must not empty the reader.
    return trimBlanks(back.isEmpty() ? text : back);
}

}  // namespace

int dateColumnWidth(const QTreeView& list) {
    // The item view's text margins, plus the header's, and a little air.
    const int margin =
        2 * (list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1) + 8;
    return list.fontMetrics().horizontalAdvance(kLongDate) + margin;
}

long leadingNumber(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        if (value > 100000000L) break;
        value = value * 10 + (text[i].unicode() - u'0');
    }
    return negative ? -value : value;
}

TyakuForm::TyakuForm(AppContext& app, QWidget* parent)
    : QMainWindow(parent), app_(app), ui_(std::make_unique<Ui::TyakuForm>()) {
    ui_->setupUi(this);
    setObjectName("TyakuForm");
    model_ = new MailListModel(this);
    ui_->MailListView->setModel(model_);
    ui_->MailListView->setItemDelegate(new ListCellDelegate(ui_->MailListView));
    ui_->MailListView->viewport()->installEventFilter(this);
    ui_->MailListView->installEventFilter(this);

    QFont boxFont(QStringLiteral("ＭＳ Ｐゴシック"));
    boxFont.setPointSizeF(9.75);
    for (QLineEdit* box : {ui_->Text7, ui_->Text8, ui_->Text9}) box->setFont(boxFont);
    QFont readerFont(QStringLiteral("ＭＳ ゴシック"));
    readerFont.setPointSizeF(11.25);
    ui_->rtfEd->setFont(readerFont);
    QFont labelFont(QStringLiteral("ＭＳ Ｐゴシック"));
    labelFont.setPointSizeF(11.25);
    ui_->Label4->setFont(labelFont);
    QFont searchFont(QStringLiteral("ＭＳ Ｐゴシック"));
    searchFont.setPointSizeF(12);
    ui_->Text1->setFont(searchFont);

    connect(ui_->Text2, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (MainWindow* main = app_.mainForm()) main->setStoredMailCount(text);
    });
    connect(ui_->rtfEd, &QTextEdit::textChanged, this,
            [this] { app_.editor.DocumentModified = true; });
    connect(ui_->Command3, &QPushButton::clicked, this, &TyakuForm::deleteSelectedMail);
    connect(ui_->Command6, &QPushButton::clicked, this, &TyakuForm::deleteAllMail);
    new TyakuCommands(app_, *this);  // menus, toolbar, saving, search, layout, hover help
}

TyakuForm::~TyakuForm() {
    // Objects that watch the child widgets go first: the children send events while the
    // base class destroys them, when this window is no longer a whole TyakuForm.
    ui_->MailListView->viewport()->removeEventFilter(this);
    ui_->MailListView->removeEventFilter(this);
    delete findChild<QObject*>(QStringLiteral("TyakuCommands"), Qt::FindDirectChildrenOnly);
}

void TyakuForm::load() {
    placeHelpBox();
    addListColumns();
    ui_->rtfEd->move(px(20), px(3900));
    loadDocument();
}

void TyakuForm::placeHelpBox() {
    MainWindow* main = app_.mainForm();
    if (!main) return;  // no main window (command line): the designed position stays
    ui_->Text4->move(ui_->Text4->x(), main->showHelpChecked() ? px(3600) : px(-4000));
}

void TyakuForm::addListColumns() {
    const int width = ui_->MailListView->width();
    QHeaderView* header = ui_->MailListView->header();
    header->setStretchLastSection(false);
    // A quarter of the list is too narrow for a whole date; the Subject column gives way.
    const int dateWidth = std::max(width / 4, dateColumnWidth(*ui_->MailListView));
    header->resizeSection(0, std::max(width / 2 - (dateWidth - width / 4), width / 4));
    header->resizeSection(1, width / 4);
    header->resizeSection(2, dateWidth);
}

void TyakuForm::loadDocument() {
    // Loads the current document into the reader; on failure the user may retry (OK) or go
    // on without it (Cancel).
    const QString path = app_.editor.CurrentDocumentPath;
    for (int attempt = 0; !path.isEmpty(); ++attempt) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            ui_->rtfEd->setPlainText(readerText(std::string_view(bytes.constData(), bytes.size())));
            break;
        }
        if (attempt >= kMaxLoadRetries ||
            app_.dialogs().messageBox(this, QString(),
                                      kApplicationTitle + QStringLiteral("  Form_LoadError"),
                                      BoxButtons::OkCancel, BoxIcon::Exclamation) != BoxAnswer::Ok)
            break;
    }
    app_.editor.DocumentModified = false;
    ui_->rtfEd->setVisible(true);
}

void TyakuForm::openViewer() {
    AppContext::showWindow(*this);
    setWindowTitle(QStringLiteral("着信履歴"));
    fillList();
}

void TyakuForm::fillList(std::optional<ReceivedMailHeads> heads) {
    QPalette palette = ui_->MailListView->palette();
    palette.setColor(QPalette::Base, kListBackground);
    ui_->MailListView->setPalette(palette);
    model_->clear();
    ui_->rtfEd->setPlainText(QString());
    const int rows = reloadRows(std::move(heads));
    if (rows == 0) mailShown_ = false;  // the boxes may keep older text, but no mail is shown
    setCount(rows);
}

void TyakuForm::refreshList() {
    // The list just read fills the view when it differs; it is not read a second time.
    // Compared: the number of records and the rows the list holds, as the user saw them.
    const ReceivedMailHeads& listed = model_->heads();
    ReceivedMailHeads now = app_.receivedStore().readListRows(
        static_cast<std::int64_t>(listed.first()), static_cast<std::int64_t>(listed.held()));
    if (listed == now) return;
    if (mailShown_ && now.beginsWith(listed)) {
        // Only new mail came: the mail shown, and the selection, stay.
        const int rows = static_cast<int>(now.size());
        model_->extendTo(std::move(now), KeptOriginalIndex::read(app_.paths().keptOriginals()));
        setCount(rows);
        return;
    }
    fillList(std::move(now));
}

int TyakuForm::reloadRows(std::optional<ReceivedMailHeads> read) {
    const ReceivedMailStore store = app_.receivedStore();
    // Only the last record is shown in full; reading every body would gain nothing. It is
    // shown while the list is read beside it, so that laying out its body costs no time.
    const std::int64_t last = store.wholeRecords();
    const QStringList boxes = {ui_->Text7->text(), ui_->Text8->text(), ui_->Text9->text()};
    std::int64_t shown = 0;
    auto showLast = [&] {
        if (last > 0 && store.read(last, app_.recordBuffer)) {
            showRecord(app_.recordBuffer);
            shown = last;
        }
    };
    // A list read already shows its last record below. The list reads only the rows it
    // draws: the first ones now, the others as they come into view.
    if (!read) showLast();
    ReceivedMailHeads heads =
        read ? std::move(*read) : store.readListRows(0, MailListModel::kRowsRead);
    if (shown != static_cast<std::int64_t>(heads.size())) {
        // The store changed meanwhile, or its last record could not be read.
        while (!heads.empty() &&
               !store.read(static_cast<std::int64_t>(heads.size()), app_.recordBuffer))
            heads.dropLast();
        if (!heads.empty()) {
            showRecord(app_.recordBuffer);
        } else if (shown > 0) {
            // No record left: the boxes keep what they had, the reader is empty.
            showInBox(ui_->Text7, boxes[0]);
            showInBox(ui_->Text8, boxes[1]);
            showInBox(ui_->Text9, boxes[2]);
            ui_->rtfEd->setPlainText(QString());
            keptOriginalFile_.clear();
            shownAndRecord_.reset();
        }
    }
    const int rows = static_cast<int>(heads.size());
    model_->setHeads(std::move(heads), store,
                     KeptOriginalIndex::read(app_.paths().keptOriginals()));
    return rows;
}

void TyakuForm::showRecord(const ReceivedMailRecord& record, bool viaClipboard) {
    const std::optional<KeptOriginal> kept = readKeptOriginal(app_.paths().keptOriginals(), record);
    keptOriginalFile_ = kept ? kept->file : std::string();
    shownAndRecord_.reset();
    const ShownMessage recorded{fromCp932(record.subject()), fromCp932(record.from()),
                                fromCp932(record.date()), readerText(record.body())};
    ShownMessage shown = recorded;
    if (kept) {
        // The texts as the check decoded them, with what code page 932 lacks.
        shown = {QString::fromStdString(kept->subject), QString::fromStdString(kept->from),
                 QString::fromStdString(kept->date), QString::fromStdString(kept->body)};
        shown.body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    }
    showInBox(ui_->Text7, shown.subject);
    showInBox(ui_->Text8, shown.from);
    showInBox(ui_->Text9, shown.date);
    // The reader takes the body once, as it comes back from the clipboard: laying out a
    // long body is what showing it costs. Its scroll bar is there beforehand, or a body that
    // needs it would be laid out again for the narrower width when the bar comes up.
    QTextEdit* reader = ui_->rtfEd;
    const Qt::ScrollBarPolicy policy = reader->verticalScrollBarPolicy();
    reader->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    const QString body = asReaderHolds(shown.body);
    reader->setPlainText(viaClipboard ? throughClipboard(body) : trimBlanks(cutAtNul(body)));
    reader->setVerticalScrollBarPolicy(policy);
    mailShown_ = true;
    if (kept) {
        shown.body = reader->toPlainText();
        ShownMessage held = recorded;
        held.body = trimBlanks(cutAtNul(asReaderHolds(recorded.body)));
        shownAndRecord_.emplace(std::move(shown), std::move(held));
    }
}

ShownMessage TyakuForm::asRecordHolds(ShownMessage shown) const {
    if (!shownAndRecord_) return shown;
    const auto& [asShown, asRecorded] = *shownAndRecord_;
    for (auto field :
         {&ShownMessage::subject, &ShownMessage::from, &ShownMessage::date, &ShownMessage::body})
        if (shown.*field == asShown.*field) shown.*field = asRecorded.*field;
    return shown;
}

void TyakuForm::clearBoxesAndReader() {
    keptOriginalFile_.clear();
    shownAndRecord_.reset();
    ui_->Text7->clear();
    ui_->Text8->clear();
    ui_->Text9->clear();
    ui_->rtfEd->setPlainText(QString());
    mailShown_ = false;
}

void TyakuForm::setCount(int rows) { ui_->Text2->setText(QString::number(rows)); }

void TyakuForm::passReaderThroughClipboard() {
    ui_->rtfEd->setPlainText(throughClipboard(ui_->rtfEd->toPlainText()));
}

bool TyakuForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->MailListView->viewport() && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        showSelectedMail();
    // The columns share the list's width as at the start, also when the window grows.
    if (watched == ui_->MailListView && event->type() == QEvent::Resize) addListColumns();
    if (watched == ui_->MailListView && event->type() == QEvent::KeyPress) {
        // A key that moves the selection (arrows, page keys, Home, End) shows the newly
        // selected mail, as a click does. The list handles the key first.
        const int before = selectedRecord();
        const bool handled = static_cast<QObject*>(ui_->MailListView)->event(event);
        const int after = selectedRecord();
        if (after > 0 && after != before) showSelectedMail(false);
        return handled;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TyakuForm::showSelectedMail(bool viaClipboard) {
    setSelectionFlag(QStringLiteral("1"));
    if (leadingNumber(ui_->Text2->text()) == 0) {
        app_.dialogs().notice(this, QStringLiteral("選択するデータがありません。"));
        return;
    }
    const int k = selectedRecord();
    if (k < 1 || !app_.receivedStore().read(k, app_.recordBuffer)) return;
    showRecord(app_.recordBuffer, viaClipboard);
}

void TyakuForm::deleteSelectedMail() {
    if (!requireSelection()) return;
    const int k = selectedRecord();
    app_.CurrentRecord = static_cast<std::int16_t>(k);
    const bool yes = app_.dialogs().confirm(
        this, QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"));
    ui_->rtfEd->setFocus();
    setSelectionFlag(QString());
    if (!yes) {
        ui_->rtfEd->setPlainText(QString());
        return;
    }
    const ReceivedMailListEntry listed = model_->entry(k - 1);
    QPointer<TyakuForm> self(this);
    const std::filesystem::path kept = app_.paths().keptOriginals();
    const Status st = underDataFolderLock([k, listed, kept](const ReceivedMailStore& store) {
        ReceivedMailRecord record;
        const bool read = store.read(k, record);
        Status removed = store.removeListed(k, listed);
        if (removed && read) forgetKeptOriginal(kept, record);
        return removed;
    });
    if (!self) return;  // closed meanwhile (the end of the program)
    clearBoxesAndReader();
    if (!st) showStoreError(st.message());
    rebuildAfterDeletion();
}

void TyakuForm::rebuildAfterDeletion() {
    model_->clear();
    // The boxes show the trimmed fields here too: the padded field reads as an empty box.
    setCount(reloadRows());
}

void TyakuForm::deleteAllMail() {
    if (!app_.dialogs().confirm(this, QStringLiteral("すべてのデータを削除して良いですか？"),
                                BoxButtons::YesNoDefaultNo))
        return;
    // Only what the list shows goes: mail a check of another process stored since stays.
    QPointer<TyakuForm> self(this);
    const ReceivedMailHeads listed = model_->heads();
    const std::filesystem::path kept = app_.paths().keptOriginals();
    const Status st = underDataFolderLock([&listed, kept](const ReceivedMailStore& store) {
        Status removed = store.removeAllListed(listed);
        if (removed && store.wholeRecords() == 0) forgetKeptOriginals(kept);
        return removed;
    });
    if (!self) return;  // closed meanwhile (the end of the program)
    if (!st || app_.receivedStore().wholeRecords() > 0) {
        // The store keeps records: show what it holds.
        if (!st) showStoreError(st.message());
        clearBoxesAndReader();
        rebuildAfterDeletion();
        return;
    }
    model_->clear();
    if (MainWindow* main = app_.mainForm()) main->setHelpText(QStringLiteral("0"));
    setCount(0);
    clearBoxesAndReader();
}

void TyakuForm::showStoreError(const std::string& message) {
    app_.dialogs().notice(
        this,
        QStringLiteral("削除できませんでした。メールは削除前のまま残っています。\n") +
            QString::fromStdString(message),
        QStringLiteral("エラー"));
}

// A check on its own thread holds the lock while it runs: the wait for it, and the compaction
// after it, run beside the GUI thread so that the windows keep answering meanwhile, and the
// caption says why the deletion has not happened yet. A second deletion asked for meanwhile
// is refused, not nested.
Status TyakuForm::underDataFolderLock(
    const std::function<Status(const ReceivedMailStore&)>& write) {
    if (writing_) return Status::failure("前の削除が終わっていません。");
    writing_ = true;
    const ReceivedMailStore store = app_.receivedStore();
    QPointer<TyakuForm> self(this);
    const QString caption = windowTitle();
    const Status result = writeUnderLock(
        app_.paths().dataFolderLock(), [&] { return write(store); },
        [&] {
            setWindowTitle(caption + kWaitingForLock);
            setCursor(Qt::BusyCursor);
        });
    if (self) {
        writing_ = false;
        setWindowTitle(caption);
        unsetCursor();
    }
    return result;
}

void TyakuForm::stageMail(const QString& subject, const QString& from, const QString& date,
                          const QString& body) {
    keptOriginalFile_.clear();
    shownAndRecord_.reset();
    showInBox(ui_->Text7, subject);
    showInBox(ui_->Text8, from);
    showInBox(ui_->Text9, date);
    QString text = body;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    ui_->rtfEd->setPlainText(text);
    mailShown_ = true;
}

QLineEdit* TyakuForm::subjectBox() const { return ui_->Text7; }
QLineEdit* TyakuForm::fromBox() const { return ui_->Text8; }
QLineEdit* TyakuForm::dateBox() const { return ui_->Text9; }
QTextEdit* TyakuForm::reader() const { return ui_->rtfEd; }
QTreeView* TyakuForm::mailList() const { return ui_->MailListView; }
QLineEdit* TyakuForm::countBox() const { return ui_->Text2; }
QTextEdit* TyakuForm::helpBox() const { return ui_->Text4; }

QString TyakuForm::selectionFlag() const { return ui_->Text5->text(); }
void TyakuForm::setSelectionFlag(const QString& flag) { ui_->Text5->setText(flag); }

bool TyakuForm::requireSelection() {
    if (selectionFlag().isEmpty() || selectedRecord() < 1) {
        app_.dialogs().notice(this, QStringLiteral("データが選択されていません"));
        return false;
    }
    return true;
}

bool TyakuForm::requireChosenMail() {
    if (selectionFlag().isEmpty() || !mailShown_) {
        app_.dialogs().notice(this, QStringLiteral("データが選択されていません"));
        return false;
    }
    return true;
}

int TyakuForm::selectedRecord() const {
    const QModelIndexList rows = ui_->MailListView->selectionModel()->selectedRows();
    if (rows.isEmpty()) return 0;
    const int row = rows.first().row() + 1;
    return row <= model_->rowCount() ? row : 0;
}

int TyakuForm::listRowCount() const { return model_->rowCount(); }

}  // namespace tsubame
