"""Realistic test mails for the benchmarks: Japanese and English text of about 10 KB each,
in the encodings Japanese mail really arrives in (ISO-2022-JP 7bit, UTF-8 base64, UTF-8
quoted-printable), with encoded Subject and From headers. The same seed gives the same mails."""

import random
from email import charset
from email.mime.application import MIMEApplication
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from email.header import Header
from email.utils import formataddr, format_datetime
from datetime import datetime, timedelta, timezone

JAPANESE_LINES = [
    "いつもお世話になっております。来週の打ち合わせの件でご連絡いたします。",
    "資料は添付のとおりです。ご確認のほど、よろしくお願いいたします。",
    "先日はお忙しいところ、貴重なお時間をいただきありがとうございました。",
    "見積書の金額について、一部訂正がございましたのでお知らせします。",
    "会議室は三階の第二会議室を予約しております。",
    "ご不明な点がございましたら、お気軽にお問い合わせください。",
    "今月末までにご返信いただけますと幸いです。",
    "次回の定例会は十月十五日（水）午後二時からを予定しています。",
    "出張の日程が決まりましたので、共有いたします。",
    "引き続きどうぞよろしくお願い申し上げます。",
]
ENGLISH_LINES = [
    "Please find the minutes of yesterday's meeting below.",
    "The build on the release branch is green again after the fix to the parser.",
    "Let me know if the schedule for the next sprint works for you.",
    "We moved the deadline for the quarterly report to Friday.",
    "Thanks for the quick review; I addressed all comments in the new revision.",
]
SUBJECTS = ["打ち合わせの件", "見積書の送付", "定例会のご案内", "出張日程について",
            "Weekly status report", "Re: 議事録", "お問い合わせへの回答", "Release notes draft"]
SENDERS = [("山田 太郎", "yamada@example.co.jp"), ("佐藤 花子", "sato@example.jp"),
           ("鈴木 一郎", "suzuki@example.ne.jp"), ("Alice Smith", "alice@example.com"),
           ("田中 美咲", "tanaka@example.org")]

TARGET_BYTES = 10 * 1024


def _lines(rng: random.Random, japanese: bool, count: int) -> str:
    pool = JAPANESE_LINES if japanese else ENGLISH_LINES
    return "\r\n".join(rng.choice(pool) for _ in range(count)) + "\r\n"


def _encode(index: int, text: str, japanese: bool, recipient: str) -> bytes:
    rng = random.Random(-index - 1)
    kind = index % 3
    if japanese and kind == 0:
        part = MIMEText(text, "plain", "iso-2022-jp")  # 7bit, the classic Japanese mail
    elif kind == 1:
        part = MIMEText(text, "plain", "utf-8")  # base64
    else:
        quoted = charset.Charset("utf-8")
        quoted.body_encoding = charset.QP
        part = MIMEText(text, "plain", quoted)
    name, address = rng.choice(SENDERS)
    subject = f"{rng.choice(SUBJECTS)} #{index + 1}"
    part["Subject"] = Header(subject, "iso-2022-jp" if japanese else "utf-8").encode()
    part["From"] = formataddr((str(Header(name, "iso-2022-jp").encode()), address))
    part["To"] = recipient
    when = datetime(2026, 11, 1, 9, 0, tzinfo=timezone(timedelta(hours=9)))
    part["Date"] = format_datetime(when + timedelta(minutes=7 * index))
    part["Message-ID"] = f"<bench-{index}@example.co.jp>"
    raw = part.as_bytes()
    return raw.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def make_mail(index: int, recipient: str = "bench@example.com") -> bytes:
    """Mail number index (0-based) of the benchmark set, as raw RFC 5322 bytes with CR LF,
    about TARGET_BYTES long."""
    japanese = index % 5 != 4
    lines = 60
    raw = _encode(index, _lines(random.Random(index), japanese, lines), japanese, recipient)
    lines = max(1, round(lines * TARGET_BYTES / len(raw)))
    return _encode(index, _lines(random.Random(index), japanese, lines), japanese, recipient)


def write_mails(folder, count: int) -> None:
    """Writes count mails as 0001.eml ... into folder (for the store generator)."""
    for i in range(count):
        (folder / f"{i + 1:04d}.eml").write_bytes(make_mail(i))


def message_text(index: int) -> str:
    """The plain text of a Japanese mail of about TARGET_BYTES once encoded."""
    raw = make_mail(index * 5)  # a multiple of five is always Japanese
    lines = max(1, round(len(raw.split(b"\r\n\r\n", 1)[1]) / 66))
    return _lines(random.Random(index), True, lines)


def outgoing_mail(recipient: str, sender: str, subject: str, text: str) -> bytes:
    """A mail as a Japanese mail client sends it: ISO-2022-JP 7bit with encoded headers."""
    part = MIMEText(text, "plain", "iso-2022-jp")
    part["Subject"] = Header(subject, "iso-2022-jp").encode()
    part["From"] = sender
    part["To"] = recipient
    part["Date"] = format_datetime(datetime.now(timezone.utc))
    raw = part.as_bytes()
    return raw.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def mail_with_attachment(name: str, content: bytes) -> bytes:
    """A short text mail carrying content as a base64 attachment called name."""
    message = MIMEMultipart()
    message["Subject"] = "attachment"
    message["From"] = "sender@example.com"
    message["To"] = "bench@example.com"
    message.attach(MIMEText("see the file", "plain", "us-ascii"))
    part = MIMEApplication(content, Name=name)
    part["Content-Disposition"] = f'attachment; filename="{name}"'
    message.attach(part)
    return message.as_bytes().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
