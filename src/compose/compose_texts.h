#pragma once

#include <QString>
#include <array>
#include <utility>

namespace tsubame::compose_texts {

// The phrases of the greeting picker, in their order.
inline const std::array<QString, 8> kGreetings = {
    QStringLiteral("御社益々ご清祥の事とお慶び申し上げます。"),
    QStringLiteral("平素のご愛顧誠にありがとうございます。"),
    QStringLiteral("平素は格別のご愛顧を賜り深謝申し上げます。"),
    QStringLiteral("いつもお世話になっております。"),
    QStringLiteral("メールありがとうございました。確かに受け取りました。"),
    QStringLiteral("はじめまして、突然のメールで恐縮です。"),
    QStringLiteral("こんにちわ。はじめてメールいたします。"),
    QStringLiteral("こんにちわ。お変わりなく、お元気ですか？"),
};

inline const QString kToAllQuestion = QStringLiteral(
    "アドレス帳に登録しているメールアドレスすべてに同様の件名、本文で送信します。\n\n件名、本文"
    "入力完了後、送信ボタンをクリックして下さい。");

// Hover help: control name and the text the help box shows.
inline const std::array<std::pair<const char*, QString>, 14> kHoverHelp = {{
    {"AttachCommand",
     QStringLiteral(
         "各種ファイルを添付して送信できます。１個の添付ファイルの際に使用します。\n２個目からは「"
         "追加」ボタンをクリックして下さい。一覧リストが表示されます。送信メール１件について１０個"
         "までの送信が可能です。\n添付ファイルを中止したい時は「取り消し」ボタンをクリック！\n添付"
         "ファイルを複数選択した際に表示される一覧リストが邪魔なときは「リスト」をクリックして下さ"
         "い。一覧リストの一時的な表示・非表示が出来ます。表示・非表示を行うだけで、選択したファイ"
         "ルが取り消される訳ではありません。")},
    {"Command9", QStringLiteral("添付ファイルを複数送信する際に使用します。確認しやすいように、リス"
                                "トボックスが表示されます。")},
    {"Command10", QStringLiteral("添付ファイルの内容をクリアします。")},
    {"Command16",
     QStringLiteral(
         "添付ファイルを複数選択した際、リストが自動的に表示されます。このリストの表示、非表示を操"
         "作します。リストが非表示になっても、選択したファイルがクリアされた訳ではありません。クリ"
         "アする場合は「取り消し」か「クリア」をクリックして下さい。")},
    {"Command5", QStringLiteral("コピーした内容を本文に貼り付けますコピーは本ソフト、あるいは別のア"
                                "プリからでも可能です。")},
    {"Command7", QStringLiteral("コピーした内容を宛先に貼り付けます。コピーは本ソフト、あるいは別の"
                                "アプリからでも可能です。")},
    {"Check1",
     QStringLiteral("コンピュータがアトランダムにチョイスする占いを本文後に添付します。")},
    {"Command4",
     QStringLiteral(
         "このフォーム（新規作成）が拡張され、登録したメールアドレスの名称が一覧（リスト）に現れま"
         "す。送信したい名称をクリックすると、メールアドレスが自動的に入力されます。")},
    {"Command6", QStringLiteral("アドレス帳を含むサイズから、元のサイズに戻します。")},
    {"Command11", QStringLiteral("宛先、件名、本文他、設定等が初期状態に戻せます。")},
    {"Command1",
     QStringLiteral(
         "送信します。電話回線が接続されていない場合は、自動的に接続してメールを送信します。")},
    {"Command3", QStringLiteral("送信を中止します。")},
    {"Label2", QStringLiteral("本文の冒頭に例文を貼り付けます。プルダウンから選択し、本文をクリック"
                              "すると内容が貼り付けられます。")},
    {"Option2",
     QStringLiteral("アドレス帳に登録しているメールアドレスすべてに同様の件名、本文で送信します。\n"
                    "\n件名、本文入力完了後、送信ボタンをクリックして下さい。")},
}};

}  // namespace tsubame::compose_texts
