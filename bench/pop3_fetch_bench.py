#!/usr/bin/python3
"""The mail library's POP3 download against mpop: 1,000 mails of about 10 KB are delivered
afresh to a private Dovecot before every run; each run downloads, decodes and deletes them
all, once directly on loopback and once through a proxy that adds a delay each way.

    bench/pop3_fetch_bench.py [--build build/bench] [--mails 1000] [--runs 3] [--delay-ms 10]

Builds the driver pop3_fetch_bench (Release) unless --no-build is given."""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
from bench_mails import make_mail  # noqa: E402
from dovecot_server import PASSWORD, USER, DovecotServer, free_port, wait_for_port  # noqa: E402


def timed(argv, env=None):
    start = time.perf_counter()
    subprocess.run(argv, check=True, env=env, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=str(HERE.parent / "build" / "bench"))
    parser.add_argument("--mails", type=int, default=1000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--delay-ms", type=float, default=10.0)
    parser.add_argument("--no-build", action="store_true")
    args = parser.parse_args()

    build = Path(args.build)
    if not args.no_build:
        subprocess.run(["cmake", "-S", str(HERE.parent), "-B", str(build), "-G", "Ninja",
                        "-DCMAKE_BUILD_TYPE=Release", "-DTSUBAME_BUILD_TESTS=OFF"],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", str(build), "--target", "pop3_fetch_bench"],
                       check=True)
    driver = build / "bench" / "pop3_fetch_bench"
    mails = [make_mail(i) for i in range(args.mails)]
    total_kb = sum(len(m) for m in mails) / 1024

    with tempfile.TemporaryDirectory(prefix="tsubame-pop3-bench-") as tmp_name:
        tmp = Path(tmp_name)
        tmp.chmod(0o755)  # the Dovecot processes run as other users
        server = DovecotServer(tmp / "dovecot")
        server.start()
        proxy_port = free_port()
        proxy = subprocess.Popen(["/usr/bin/python3", str(HERE / "delay_proxy.py"),
                                  str(proxy_port), str(server.port), str(args.delay_ms)],
                                 stdout=subprocess.DEVNULL)
        try:
            wait_for_port(proxy_port)
            mpop_box = tmp / "mpop-maildir"
            mpop_config = tmp / "mpoprc"
            rows = []
            for label, port in (("loopback", server.port),
                                (f"+{args.delay_ms:g} ms each way", proxy_port)):
                mpop_config.write_text(
                    f"defaults\ntls off\naccount bench\nhost 127.0.0.1\nport {port}\n"
                    f"user {USER}\npassword {PASSWORD}\nauth user\n"
                    f"delivery maildir {mpop_box}\nkeep off\nuidls_file {tmp / 'mpop-uidls'}\n")
                mpop_config.chmod(0o600)
                ours, theirs = [], []
                for _ in range(args.runs):
                    server.deliver(mails)
                    env = dict(os.environ, TSUBAME_BENCH_POP3_SERVER=f"127.0.0.1:{port}",
                               TSUBAME_BENCH_POP3_USER=USER,
                               TSUBAME_BENCH_POP3_PASSWORD=PASSWORD)
                    ours.append(timed([str(driver)], env=env))
                    if server.waiting():
                        raise RuntimeError(f"the library left {server.waiting()} mails")

                    server.deliver(mails)
                    shutil.rmtree(mpop_box, ignore_errors=True)
                    for sub in ("new", "cur", "tmp"):
                        (mpop_box / sub).mkdir(parents=True)
                    theirs.append(timed(["mpop", "-C", str(mpop_config), "-q", "bench"]))
                    fetched = len(os.listdir(mpop_box / "new"))
                    if fetched != len(mails) or server.waiting():
                        raise RuntimeError(f"mpop fetched {fetched}, left {server.waiting()}")
                rows.append((label, statistics.median(ours), statistics.median(theirs)))
        finally:
            proxy.terminate()
            proxy.wait()
            server.stop()

    print(f"{args.mails} mails, {total_kb:.0f} KB, median of {args.runs} runs "
          "(download, decode, delete)")
    print(f"{'network':<22} {'tsubame':>10} {'mpop':>10} {'ratio':>7}")
    for label, ours, theirs in rows:
        print(f"{label:<22} {ours:>9.3f}s {theirs:>9.3f}s {ours / theirs:>7.2f}")


if __name__ == "__main__":
    main()
