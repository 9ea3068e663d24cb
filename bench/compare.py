"""Side-by-side benchmarks of Tsubame against peer programs; bench/compare.sh builds the
drivers and runs this. Every figure is the median of several runs, ours and the peer's
interleaved, and every run checks that the work was really done (records stored, mails
fetched, sends accepted)."""

import argparse
import hashlib
import os
import platform
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import bench_mails  # noqa: E402
from dovecot_server import DovecotServer, PASSWORD, USER, free_port, wait_for_port  # noqa: E402

HERE = Path(__file__).resolve().parent
REPO = HERE.parent
CORPUS = Path(os.environ.get("TSUBAME_CORPUS_DIR", "/work/shared/testdata/mail-corpus"))
RECORD_SIZE = 32284
SYSTEM_PYTHON = "/usr/bin/python3"  # the one that has Debian's aiosmtpd
QT_ENV = {"QT_QPA_PLATFORM": "offscreen", "QT_LOGGING_RULES": "*.debug=false;qt.qpa.*=false"}


class Figure:
    """One comparison: our times, the peer's times, and what they are."""

    def __init__(self, name: str, peer: str, note: str = ""):
        self.name, self.peer, self.note = name, peer, note
        self.ours: list[float] = []
        self.theirs: list[float] = []
        self.failure = ""

    def line(self) -> str:
        if self.failure:
            return f"{self.name:<46} {'failed: ' + self.failure}"
        ours, theirs = statistics.median(self.ours), statistics.median(self.theirs)
        return (f"{self.name:<46} {seconds(ours):>10}  {self.peer:<22} {seconds(theirs):>10}"
                f"  {ours / theirs:>7.2f}x" + (f"  ({self.note})" if self.note else ""))


class MemoryFigure(Figure):
    """Peak resident memory of our runs beside the size of the mail they took in."""

    def line(self) -> str:
        if self.failure:
            return super().line()
        ours, theirs = statistics.median(self.ours), statistics.median(self.theirs)
        return (f"{self.name:<46} {megabytes(ours):>10}  {self.peer:<22} {megabytes(theirs):>10}"
                f"  {ours / theirs:>7.2f}x")


def megabytes(value: float) -> str:
    return f"{value / 2 ** 20:.1f} MB"


def peak_memory(argv, *, cwd, env, timeout=600) -> tuple[int, str]:
    """Runs argv and returns (its peak resident bytes, its standard output), read from the
    child's own resource usage; fails on a non-zero exit. The child is forked, not vforked
    (that is what the preexec_fn is for): a vforked child shares this process's memory until
    its exec and inherits this process's peak as its own. Keep this process small while it
    runs, as a forked child starts from this process's size."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(argv, cwd=cwd, env=dict(os.environ, **env), stdout=out,
                                   stderr=err, preexec_fn=lambda: None)
        deadline = time.monotonic() + timeout
        while True:
            pid, status, usage = os.wait4(process.pid, os.WNOHANG)
            if pid:
                break
            if time.monotonic() > deadline:
                process.kill()
                raise RuntimeError(f"{Path(argv[0]).name} ran longer than {timeout} s")
            time.sleep(0.02)
        process.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        err.seek(0)
        if process.returncode != 0:
            raise RuntimeError(f"{Path(argv[0]).name} exited with {process.returncode}: "
                               f"{err.read().decode(errors='replace').strip()[-400:]}")
        return usage.ru_maxrss * 1024, out.read().decode(errors="replace")


def seconds(value: float) -> str:
    return f"{value * 1000:.1f} ms" if value < 1 else f"{value:.2f} s"


def timed(argv, *, cwd=None, env=None, stdin=None, timeout=600,
          discard_output=False) -> tuple[float, str]:
    """Runs argv and returns (wall seconds, standard output); fails on a non-zero exit.
    discard_output sends standard output to /dev/null instead of through a pipe."""
    full_env = dict(os.environ, **(env or {}))
    start = time.perf_counter()
    result = subprocess.run(argv, cwd=cwd, env=full_env, stdin=stdin,
                            stdout=subprocess.DEVNULL if discard_output else subprocess.PIPE,
                            stderr=subprocess.PIPE, timeout=timeout)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        raise RuntimeError(f"{Path(argv[0]).name} exited with {result.returncode}: "
                           f"{result.stderr.decode(errors='replace').strip()[-400:]}")
    return elapsed, (result.stdout or b"").decode(errors="replace")


def flush_disk() -> None:
    subprocess.run(["sync"], check=True)


def disk_activity() -> tuple[int, int] | None:
    """(requests in flight, sectors written so far) of the disk that holds the temporary
    folder, from /sys/block; None where that cannot be read."""
    try:
        device = os.stat(tempfile.gettempdir()).st_dev
        name = Path(f"/sys/dev/block/{os.major(device)}:{os.minor(device)}").resolve()
        if (name / "partition").exists():
            name = name.parent
        fields = (name / "stat").read_text().split()
        return int(fields[8]), int(fields[6])
    except (OSError, ValueError, IndexError):
        return None


def settle_disk() -> None:
    """Flushes every file, drops the clean cached pages where this process may (the page
    cache of a shared machine is everybody's, so only when TSUBAME_BENCH_DROP_CACHES=1), and
    waits until the disk has had nothing in flight and written nothing for a quarter of a
    second (at most 10 s; a one-second pause where the disk's counters cannot be read): the
    freed blocks of the last run are discarded meanwhile, and other writers' flushes done."""
    flush_disk()
    if os.environ.get("TSUBAME_BENCH_DROP_CACHES") == "1":
        try:
            Path("/proc/sys/vm/drop_caches").write_text("1\n")
        except OSError:
            pass
    if disk_activity() is None:
        time.sleep(1)
        return
    deadline = time.monotonic() + 10
    quiet_since, last = time.monotonic(), disk_activity()
    while time.monotonic() < deadline:
        time.sleep(0.05)
        now = disk_activity()
        if now is None or now[0] > 0 or now[1] != last[1]:
            quiet_since = time.monotonic()
        last = now or last
        if time.monotonic() - quiet_since >= 0.25:
            return


def lay_out_app_folder(folder: Path, *, login: bool = True) -> Path:
    """An installed application folder, as run.sh lays it out, with the login saved."""
    for sub in ("★MailData", "添付フォルダ", "■TextQuickSave", "Flash"):
        (folder / sub).mkdir(parents=True, exist_ok=True)
    shutil.copy(REPO / "resources" / "Flash" / "1.html", folder / "Flash" / "1.html")
    (folder / "★MailData" / "ini.ini").write_bytes(b"[EXEINI]\r\nNUMBER=1\r\nNUMBER2=0\r\n")
    if login:
        (folder / "★MailData" / "iniIdPass.ini").write_bytes(
            f"[EXEINI]\r\nNAME={USER}\r\nNAME2={PASSWORD}\r\nNAME3=1\r\n".encode())
    return folder


def write_server_settings(folder: Path, pop3: str, smtp: str) -> Path:
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "korumi.ini").write_bytes(
        f"SMTP={smtp}\r\nPOP3={pop3}\r\nMAIL=bench@example.com\r\nAPOP=0\r\n".encode())
    return folder


class Bench:
    def __init__(self, args):
        self.args = args
        self.build = Path(args.build).resolve()
        self.tmp = Path(tempfile.mkdtemp(prefix="tsubame-bench-"))
        self.tmp.chmod(0o755)  # Dovecot's users must reach their files below it
        runtime = self.tmp / "xdg-runtime"
        runtime.mkdir(mode=0o700)
        QT_ENV["XDG_RUNTIME_DIR"] = str(runtime)
        self.figures: list[Figure] = []
        self.processes: list[subprocess.Popen] = []
        self.dovecot: DovecotServer | None = None
        self.smtpd_port: int | None = None

    def exe(self, name: str) -> str:
        for path in (self.build / "bench" / name, self.build / "src" / "app" / name):
            if path.exists():
                return str(path)
        raise RuntimeError(f"{name} is not built in {self.build}")

    def close(self) -> None:
        for process in reversed(self.processes):
            process.terminate()
            process.wait(timeout=15)
        if not self.args.keep:
            shutil.rmtree(self.tmp, ignore_errors=True)

    def record(self, figure: Figure, work) -> None:
        try:
            work(figure)
        except Exception as error:  # one broken benchmark must not hide the others
            figure.failure = " | ".join(str(error).splitlines())[-300:] or repr(error)
        self.report(figure)

    def report(self, figure: Figure) -> None:
        self.figures.append(figure)
        print(figure.line(), flush=True)

    # The viewer and the compaction share one full store.

    def make_store(self) -> Path:
        mails = self.tmp / "store-mails"
        mails.mkdir()
        bench_mails.write_mails(mails, 200)
        sources = sorted(mails.glob("*.eml")) + sorted(CORPUS.glob("*.eml"))
        store = self.tmp / "full-store.data"
        subprocess.run([self.exe("bench_make_store"), str(store), str(self.args.records)]
                       + [str(p) for p in sources], check=True)
        return store

    def viewer(self, figure: Figure, store: Path) -> None:
        app = lay_out_app_folder(self.tmp / "viewer-app")
        shutil.copy(store, app / "★MailData" / "kordata2.data")
        cwd = write_server_settings(self.tmp / "viewer-cwd", "127.0.0.1:1", "127.0.0.1:1")
        target = app / "★MailData" / "kordata2.data"
        flush_disk()
        cat = ["cat", str(target)]
        timed(cat, discard_output=True)  # both start from a warm page cache
        for _ in range(self.args.runs):
            figure.theirs.append(timed(cat, discard_output=True)[0])
            _, out = timed([self.exe("bench_open_viewer"), str(app)], cwd=cwd, env=QT_ENV)
            elapsed, shown = out.split()[-2:]
            if shown != str(self.args.records):
                raise RuntimeError(f"the viewer shows {shown} mails, not {self.args.records}")
            figure.ours.append(float(elapsed))

    def compaction(self, figure: Figure, plain: Figure, store: Path) -> None:
        """Ours against cp followed by a flush of the copy (a crash-safe rewrite must flush), and,
        as a second line, against cp alone. Each run of either starts from a settled disk
        (see settle_disk)."""
        app = lay_out_app_folder(self.tmp / "compact-app")
        target = app / "★MailData" / "kordata2.data"
        copy = self.tmp / "cp-copy.data"
        expected = store.stat().st_size - RECORD_SIZE
        middle = str(max(1, self.args.records // 2))

        def peer(argv_after_cp) -> float:
            settle_disk()
            elapsed = timed(["sh", "-c", 'cp "$1" "$2"' + argv_after_cp, "cp",
                             str(store), str(copy)])[0]
            if copy.stat().st_size != store.stat().st_size:
                raise RuntimeError("cp did not copy the whole store")
            copy.unlink()
            return elapsed

        for _ in range(self.args.runs):
            shutil.copy(store, target)
            settle_disk()
            _, out = timed([self.exe("bench_remove_one"), str(app), middle])
            if target.stat().st_size != expected:
                raise RuntimeError(f"store is {target.stat().st_size} bytes after the deletion")
            figure.ours.append(float(out.split()[-1]))
            figure.theirs.append(peer(' && sync "$2"'))
            plain.theirs.append(peer(""))
        plain.ours = figure.ours
        target.unlink()
        # The disk is shared: the spread of the runs says how far one figure can be trusted.
        ratios = [ours / theirs for ours, theirs in zip(figure.ours, figure.theirs)]
        figure.note = f"runs {min(ratios):.2f}-{max(ratios):.2f}x"

    # Mail check against mpop, on the same Dovecot and the same mails.

    def start_dovecot(self) -> DovecotServer:
        """One Dovecot for every figure that needs one (a second would share its folder)."""
        if self.dovecot is None:
            self.dovecot = DovecotServer(self.tmp / "dovecot")
            self.dovecot.start()
            self.processes.append(self.dovecot.process)
        return self.dovecot

    def start_proxy(self, target_port: int) -> int:
        port = free_port()
        self.processes.append(subprocess.Popen(
            [SYSTEM_PYTHON, str(HERE / "delay_proxy.py"), str(port), str(target_port),
             str(self.args.delay_ms)]))
        wait_for_port(port)
        return port

    def check(self, figure: Figure, server: DovecotServer, port: int, mails) -> None:
        app = lay_out_app_folder(self.tmp / "check-app")
        store = app / "★MailData" / "kordata2.data"
        cwd = write_server_settings(self.tmp / "check-cwd", f"pop3://127.0.0.1:{port}", "")
        mpop_box = self.tmp / "mpop-maildir"
        mpop_config = self.tmp / "mpoprc"
        mpop_config.write_text(
            f"defaults\ntls off\naccount bench\nhost 127.0.0.1\nport {port}\nuser {USER}\n"
            f"password {PASSWORD}\nauth user\ndelivery maildir {mpop_box}\nkeep off\n"
            f"uidls_file {self.tmp / 'mpop-uidls'}\n")
        mpop_config.chmod(0o600)
        for _ in range(self.args.runs):
            server.deliver(mails)
            store.unlink(missing_ok=True)
            store.touch()
            flush_disk()
            elapsed, out = timed([self.exe("tsubame"), "--check", "--app-folder", str(app)],
                                 cwd=cwd, env=QT_ENV)
            stored = store.stat().st_size // RECORD_SIZE
            if out.strip() != str(len(mails)) or stored != len(mails) or server.waiting():
                raise RuntimeError(f"tsubame --check printed {out.strip()!r}, stored {stored}, "
                                   f"left {server.waiting()} on the server")
            figure.ours.append(elapsed)

            server.deliver(mails)
            shutil.rmtree(mpop_box, ignore_errors=True)
            for sub in ("new", "cur", "tmp"):
                (mpop_box / sub).mkdir(parents=True)
            flush_disk()
            figure.theirs.append(timed(["mpop", "-C", str(mpop_config), "-q", "bench"])[0])
            fetched = len(os.listdir(mpop_box / "new"))
            if fetched != len(mails) or server.waiting():
                raise RuntimeError(f"mpop fetched {fetched}, left {server.waiting()}")

    # Peak memory of a check that takes in one mail with a large attachment.

    def memory(self, figure: Figure, server: DovecotServer) -> None:
        app = lay_out_app_folder(self.tmp / "memory-app")
        store = app / "★MailData" / "kordata2.data"
        attachments = app / "添付フォルダ"
        cwd = write_server_settings(self.tmp / "memory-cwd", f"pop3://127.0.0.1:{server.port}", "")
        # The mail waits in a file and the attachment is known by its digest: this process
        # holds neither while the check runs (see peak_memory).
        content = random.Random(15).randbytes(self.args.attachment_mb * 2 ** 20)
        digest = hashlib.sha256(content).digest()
        mail_file = self.tmp / "memory-mail.eml"
        mail_file.write_bytes(bench_mails.mail_with_attachment("big.bin", content))
        del content
        for _ in range(self.args.runs):
            server.deliver([mail_file.read_bytes()])
            store.unlink(missing_ok=True)
            store.touch()
            shutil.rmtree(attachments)
            attachments.mkdir()
            peak, out = peak_memory([self.exe("tsubame"), "--check", "--app-folder", str(app)],
                                    cwd=cwd, env=QT_ENV)
            stored = store.stat().st_size // RECORD_SIZE
            if out.strip() != "1" or stored != 1 or server.waiting():
                raise RuntimeError(f"tsubame --check printed {out.strip()!r}, stored {stored}, "
                                   f"left {server.waiting()} on the server")
            if hashlib.sha256((attachments / "big.bin").read_bytes()).digest() != digest:
                raise RuntimeError("the saved attachment differs from the one sent")
            figure.ours.append(peak)
            figure.theirs.append(mail_file.stat().st_size)

    # Sending against msmtp, to the same aiosmtpd.

    def start_smtpd(self) -> int:
        """One aiosmtpd (it takes the mails and drops them) for every figure that sends."""
        if self.smtpd_port is None:
            port = free_port()
            self.processes.append(subprocess.Popen(
                [SYSTEM_PYTHON, "-m", "aiosmtpd", "-n", "-l", f"127.0.0.1:{port}"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
            wait_for_port(port)
            self.smtpd_port = port
        return self.smtpd_port

    def send_memory(self, figure: Figure) -> None:
        """Peak resident memory of `tsubame --send` with one large attachment."""
        port = self.start_smtpd()
        app = lay_out_app_folder(self.tmp / "send-memory-app")
        cwd = write_server_settings(self.tmp / "send-memory-cwd", "", f"127.0.0.1:{port}")
        body_file = self.tmp / "send-memory-body.txt"
        body_file.write_text(bench_mails.message_text(3), encoding="utf-8")
        attachment = self.tmp / "big-attachment.bin"
        with open(attachment, "wb") as out:  # written in pieces: this process stays small
            pieces = random.Random(16)
            for _ in range(self.args.send_attachment_mb):
                out.write(pieces.randbytes(2 ** 20))
        for _ in range(self.args.runs):
            peak, _ = peak_memory([self.exe("tsubame"), "--send", "--app-folder", str(app),
                                   "--to", "member@example.com", "--subject", "資料",
                                   "--body-file", str(body_file), "--attach", str(attachment)],
                                  cwd=cwd, env=QT_ENV)
            figure.ours.append(peak)
            figure.theirs.append(attachment.stat().st_size)
        attachment.unlink()

    def send(self, figure: Figure) -> None:
        port = self.start_smtpd()
        app = lay_out_app_folder(self.tmp / "send-app")
        cwd = write_server_settings(self.tmp / "send-cwd", "", f"127.0.0.1:{port}")
        subject = "定例会のご案内"
        body_text = bench_mails.message_text(7)
        body_file = self.tmp / "send-body.txt"
        body_file.write_text(body_text, encoding="utf-8")
        recipients = [f"member{i:03d}@example.com" for i in range(1, self.args.recipients + 1)]
        peer_mails = []
        for i, rcpt in enumerate(recipients):
            path = self.tmp / f"msmtp-{i:03d}.eml"
            path.write_bytes(bench_mails.outgoing_mail(rcpt, "bench@example.com", subject,
                                                       body_text))
            peer_mails.append(path)
        msmtp_config = self.tmp / "msmtprc"
        msmtp_config.write_text(f"account bench\nhost 127.0.0.1\nport {port}\n"
                                "from bench@example.com\nauth off\ntls off\n")
        msmtp_config.chmod(0o600)
        for _ in range(self.args.runs):
            start = time.perf_counter()
            for rcpt in recipients:
                timed([self.exe("tsubame"), "--send", "--app-folder", str(app), "--to", rcpt,
                       "--subject", subject, "--body-file", str(body_file)], cwd=cwd, env=QT_ENV)
            figure.ours.append(time.perf_counter() - start)

            start = time.perf_counter()
            for rcpt, path in zip(recipients, peer_mails):
                with open(path, "rb") as mail:
                    timed(["msmtp", "-C", str(msmtp_config), "-a", "bench", rcpt], stdin=mail)
            figure.theirs.append(time.perf_counter() - start)

    # Start-up to the first painted main window.

    def startup(self, figure: Figure) -> None:
        app = lay_out_app_folder(self.tmp / "startup-app")
        (app / "★MailData" / "kordata2.data").touch()
        cwd = write_server_settings(self.tmp / "startup-cwd", "127.0.0.1:1", "127.0.0.1:1")
        env = dict(QT_ENV, TSUBAME_EXIT_AFTER_SHOW="1")
        ours = [self.exe("tsubame"), "--app-folder", str(app)]
        theirs = [self.exe("minimal_qt_window")]
        timed(ours, cwd=cwd, env=env, timeout=60)  # warm the shared libraries and fonts
        timed(theirs, cwd=cwd, env=env, timeout=60)
        for _ in range(self.args.startup_runs):
            figure.ours.append(timed(ours, cwd=cwd, env=env, timeout=60)[0])
            figure.theirs.append(timed(theirs, cwd=cwd, env=env, timeout=60)[0])

    def run(self) -> None:
        only = set(self.args.only.split(",")) if self.args.only else None

        def wanted(name: str) -> bool:
            return only is None or name in only

        print(machine())
        print(f"{'benchmark':<46} {'tsubame':>10}  {'peer':<22} {'peer time':>10}  {'ratio':>8}")
        if wanted("viewer") or wanted("compact"):
            store = self.make_store()
            size = f"{self.args.records:,} records, {store.stat().st_size / 1e9:.2f} GB"
            if wanted("viewer"):
                self.record(Figure(f"open the viewer ({size})", "cat store >/dev/null"),
                            lambda f: self.viewer(f, store))
            if wanted("compact"):
                flushed = Figure("delete one record and compact", "cp + sync FILE")
                plain = Figure("  the same against a plain copy", "cp (not flushed)")
                self.record(flushed, lambda f: self.compaction(f, plain, store))
                plain.failure = flushed.failure
                self.report(plain)
            store.unlink()
        if wanted("check"):
            mails = [bench_mails.make_mail(i) for i in range(self.args.mails)]
            kb = sum(map(len, mails)) / len(mails) / 1024
            server = self.start_dovecot()
            self.record(Figure(f"--check {len(mails)} mails of {kb:.1f} KB, loopback",
                               "mpop"), lambda f: self.check(f, server, server.port, mails))
            proxy = self.start_proxy(server.port)
            self.record(Figure(f"--check, +{self.args.delay_ms:g} ms each way", "mpop"),
                        lambda f: self.check(f, server, proxy, mails))
        if wanted("memory"):
            server = self.start_dovecot()
            self.record(MemoryFigure(f"--check peak memory, {self.args.attachment_mb} MB "
                                     "attachment", "the mail's size"),
                        lambda f: self.memory(f, server))
            self.record(MemoryFigure(f"--send peak memory, {self.args.send_attachment_mb} MB "
                                     "attachment", "the attachment's size"), self.send_memory)
        if wanted("send"):
            self.record(Figure(f"--send to {self.args.recipients} recipients in turn", "msmtp"),
                        self.send)
        if wanted("startup"):
            self.record(Figure("start-up to the painted main window", "minimal Qt window"),
                        self.startup)


def machine() -> str:
    cpu = "unknown CPU"
    for line in Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    memory_kb = int(Path("/proc/meminfo").read_text().split()[1])
    commit = subprocess.run(["git", "-C", str(REPO), "describe", "--always", "--dirty"],
                            capture_output=True, text=True).stdout.strip() or "unknown"
    return (f"machine: {os.cpu_count()} CPUs ({cpu}), {memory_kb / 1024 ** 2:.1f} GiB RAM, "
            f"{platform.system()} {platform.release()}; commit {commit}; medians, peer runs "
            "interleaved")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", default=str(REPO / "build" / "bench"))
    parser.add_argument("--only",
                        help="comma list of viewer,compact,check,memory,send,startup")
    parser.add_argument("--runs", type=int, default=3, help="runs of each heavy benchmark")
    parser.add_argument("--startup-runs", type=int, default=15)
    parser.add_argument("--records", type=int, default=32767)
    parser.add_argument("--mails", type=int, default=1000)
    parser.add_argument("--recipients", type=int, default=100)
    parser.add_argument("--delay-ms", type=float, default=10.0)
    parser.add_argument("--attachment-mb", type=int, default=50,
                        help="size of the attachment of the check's memory figure")
    parser.add_argument("--send-attachment-mb", type=int, default=100,
                        help="size of the attachment of the send's memory figure")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = parser.parse_args()
    bench = Bench(args)
    try:
        bench.run()
    finally:
        bench.close()
    if any(f.failure for f in bench.figures):
        sys.exit(1)


if __name__ == "__main__":
    main()
