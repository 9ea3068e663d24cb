#include "addressbook/friend_form.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPointer>
#include <QStandardItemModel>

#include "addressbook/hover_help_option.h"
#include "addressbook/typed_length_validator.h"
#include "context/app_context.h"
#include "context/locked_write.h"
#include "core/cp932.h"
#include "core/data_folder_lock.h"
#include "core/fixed_field.h"
#include "editor/plain_text.h"
#include "ui/header_painter.h"
#include "ui_friend_form.h"

namespace tsubame {
namespace {

constexpr int kHelpTopShown = 3240;  // twips
constexpr int kHelpTopHidden = -4000;
constexpr int kAddressTypedMax = 60;
constexpr int kNameTypedMax = 30;

const QString kRegistered = QStringLiteral("　登録が完了しました。");
const QString kSelected = QStringLiteral("　選択しました。");
const QString kRemoved = QStringLiteral("削除が完了しました");
const QString kNothingSelected = QStringLiteral("データが選択されていません");
const QString kNoAddress = QStringLiteral("メールアドレスが入力されていません");
const QString kNoNameCard = QStringLiteral("名詞が入力されていません");
const QString kBookChanged =
    QStringLiteral("アドレス帳がほかの処理で変更されました。何も削除していません。");
const QString kWaitingForBook = QStringLiteral("　アドレス帳が空くのを待っています…");
const QString kRemoveQuestion =
    QStringLiteral("選択された（行、青色）データを削除します。よろしいですか");

const QString kHelpPasteAddress = QStringLiteral("コピーして来たメールアドレスを貼り付けます。");
const QString kHelpRegister = QStringLiteral(
    "登録を行います。これにより新規作成でのメールアドレスの一発入力が可能になります。");
const QString kHelpRemove = QStringLiteral("不要になったメールアドレスを削除します。");
const QString kHelpNameCard = QStringLiteral(
    "名詞の挿入を行います。例えばメールアドレスに「taro@example.com」、名刺に「山田太郎」と"
    "入力して「名刺挿入」をクリックすると、メールアドレスが「山田太郎<taro@example.com>」と"
    "なり、登録すると名刺付きのアドレスとして自動的に登録されます。このアドレスに送信すると、"
    "受信側ではメールアドレスと共に名刺（山田太郎）が表示されます。\n\n"
    "必要なければ挿入する必要はありません。");

QString fieldText(std::string_view field) { return QString::fromStdString(cp932ToUtf8(field)); }
// Rows and boxes show a field without its padding; the store keeps the padded bytes.
QString boxText(std::string_view field) {
    return fieldText(fixedFieldBox({field.data(), field.size()}));
}

}  // namespace

FriendForm::FriendForm(AppContext& app, QWidget* parent)
    : QWidget(parent),
      app_(app),
      ui_(std::make_unique<Ui::FriendForm>()),
      model_(new QStandardItemModel(this)) {
    ui_->setupUi(this);
    setObjectName("FriendForm");
    setFixedSize(size());
    setMouseTracking(true);  // a move over the background hides the help box
    ui_->MailListView->setModel(model_);
    ui_->MailListView->setSelectionMode(QAbstractItemView::SingleSelection);
    ui_->Text5->hide();
    new TypedLengthValidator(kAddressTypedMax, ui_->Text4);
    new TypedLengthValidator(kNameTypedMax, ui_->Text2);

    connect(ui_->Command2, &QPushButton::clicked, this, &FriendForm::refreshList);
    connect(ui_->Command1, &QPushButton::clicked, this, &FriendForm::pasteAddress);
    connect(ui_->Command5, &QPushButton::clicked, this, &FriendForm::pasteName);
    connect(ui_->Command3, &QPushButton::clicked, this, &FriendForm::registerEntry);
    connect(ui_->Command38, &QPushButton::clicked, this, &FriendForm::insertNameCard);
    connect(ui_->Command4, &QPushButton::clicked, this, &FriendForm::removeSelectedEntry);
    // pressed() comes after the view has selected the row under the pointer; a press on
    // empty list space sends nothing.
    connect(ui_->MailListView, &QAbstractItemView::pressed, this, &FriendForm::selectPressedRow);
    installHoverHelp();
    installHeaderPainter(*ui_->MailListView);
}

FriendForm::~FriendForm() = default;

void FriendForm::load() {
    placeHelpBox();
    addListColumns();
    // A missing store is created empty; a store that cannot be created shows an empty list
    // and the first register reports why.
    (void)app_.addressStore().createIfMissing();
    ui_->Text3->setText(QString::number(model_->rowCount()));
    ui_->Label7->setText({});
    refreshList();
}

void FriendForm::setAddressText(const QString& text) { ui_->Text4->setText(text); }

void FriendForm::placeHelpBox() {
    int top = hoverHelpWanted(app_) ? kHelpTopShown : kHelpTopHidden;
    ui_->Text5->move(ui_->Text5->x(), twipsToPixels(top));
}

void FriendForm::addListColumns() {
    model_->setHorizontalHeaderLabels({QStringLiteral("Address"), QStringLiteral("Name")});
    const double width = ui_->MailListView->width();
    ui_->MailListView->setColumnWidth(0, static_cast<int>(width / 2));
    ui_->MailListView->setColumnWidth(1, static_cast<int>(width / 2.38));
}

void FriendForm::refreshList() {
    model_->removeRows(0, model_->rowCount());
    for (const AddressRecord& entry : app_.addressStore().readAll()) {
        QList<QStandardItem*> row{new QStandardItem(boxText(entry.addressField())),
                                  new QStandardItem(boxText(entry.nameField()))};
        model_->appendRow(row);
    }
    ui_->Text3->setText(QString::number(model_->rowCount()));
}

void FriendForm::pasteAddress() { ui_->Text4->setText(QGuiApplication::clipboard()->text()); }

void FriendForm::pasteName() { ui_->Text2->setText(QGuiApplication::clipboard()->text()); }

void FriendForm::registerEntry() {
    if (writing_) return;
    AddressRecord entry(utf8ToCp932(ui_->Text2->text().toStdString()),
                        utf8ToCp932(ui_->Text4->text().toStdString()));
    const AddressStore book = app_.addressStore();
    QPointer<FriendForm> self(this);
    const Status status = writeUnderBookLock([&] { return book.append(entry); });
    if (!self) return;  // closed with the program meanwhile
    if (!status) {
        showStoreError(status.message());
        return;
    }
    ui_->Label7->setText(kRegistered);
    refreshList();
}

int FriendForm::selectedRecordNumber() const {
    const QModelIndexList rows = ui_->MailListView->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : rows.first().row() + 1;
}

void FriendForm::selectPressedRow() {
    int number = selectedRecordNumber();
    if (number == 0) return;
    std::optional<AddressRecord> entry = app_.addressStore().read(number);
    if (!entry) return;  // the store changed under the list; nothing to show
    ui_->Text2->setText(boxText(entry->nameField()));
    ui_->Text4->setText(boxText(entry->addressField()));
    ui_->Label7->setText(kSelected);
}

void FriendForm::insertNameCard() {
    if (ui_->Text4->text().isEmpty()) {
        app_.dialogs().notice(this, kNoAddress);
        return;
    }
    if (ui_->Text50->text().isEmpty()) {
        app_.dialogs().notice(this, kNoNameCard);
        return;
    }
    ui_->Text4->setText(ui_->Text50->text() + QLatin1Char('<') + trimBlanks(ui_->Text4->text()) +
                        QLatin1Char('>'));
}

void FriendForm::removeSelectedEntry() {
    if (writing_) return;
    const int number = selectedRecordNumber();
    std::optional<AddressRecord> entry;
    if (number > 0) entry = app_.addressStore().read(number);
    // Without a selected row (or with a row the store no longer holds) there is nothing to
    // remove; the boxes are left as they are.
    if (ui_->Text4->text().isEmpty() || !entry) {
        app_.dialogs().notice(this, kNothingSelected);
        return;
    }
    ui_->Text2->setText(boxText(entry->nameField()));
    ui_->Text4->setText(boxText(entry->addressField()));
    ui_->Label7->setText(QStringLiteral(" "));
    const bool confirmed = app_.dialogs().confirm(this, kRemoveQuestion);
    // The lock is taken after the question: a writer must not wait for the user's answer.
    const AddressStore book = app_.addressStore();
    QPointer<FriendForm> self(this);
    const Status status = writeUnderBookLock([&] {
        // Another process may have changed the book while the question was open.
        const std::optional<AddressRecord> now = book.read(number);
        return now && now->bytes == entry->bytes ? book.remove(number, confirmed)
                                                 : Status::failure(kBookChanged.toStdString());
    });
    if (!self) return;  // closed with the program meanwhile
    if (!status) {
        showStoreError(status.message());
    } else if (confirmed) {
        ui_->Label7->setText(kRemoved);
    }
    refreshList();
    ui_->Text2->clear();
    ui_->Text4->clear();
    ui_->Text50->clear();
}

// The book's own lock, so that a mail check, which holds the data folder's, never keeps it
// waiting; only another window writing the book does, and the status line says so.
// One write at a time: 登録 or 削除 clicked while one waits is ignored, not run inside its wait.
Status FriendForm::writeUnderBookLock(const std::function<Status()>& write) {
    writing_ = true;
    QPointer<FriendForm> self(this);
    const Status status = writeUnderLock(app_.paths().addressBookLock(), write,
                                         [this] { ui_->Label7->setText(kWaitingForBook); });
    if (self) writing_ = false;
    return status || status.message() != kDataFolderBusy ? status
                                                         : Status::failure(kAddressBookBusy);
}

void FriendForm::showStoreError(const std::string& message) {
    app_.dialogs().notice(this, QString::fromStdString(message));
}

void FriendForm::installHoverHelp() {
    ui_->Command1->setProperty("hoverHelp", kHelpPasteAddress);
    ui_->Command3->setProperty("hoverHelp", kHelpRegister);
    ui_->Command4->setProperty("hoverHelp", kHelpRemove);
    ui_->Command38->setProperty("hoverHelp", kHelpNameCard);
    for (QWidget* button : {ui_->Command1, ui_->Command3, ui_->Command4, ui_->Command38}) {
        button->installEventFilter(this);
    }
    installEventFilter(this);
}

bool FriendForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == this && event->type() == QEvent::MouseMove) {
        ui_->Text5->hide();
    } else if (watched != this && event->type() == QEvent::Enter) {
        ui_->Text5->setPlainText(watched->property("hoverHelp").toString());
        ui_->Text5->show();
        ui_->Text5->raise();
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tsubame
