"""A private Dovecot POP3 server on 127.0.0.1 for the benchmarks: its own configuration,
run and state folders, one user with a plain password and a Maildir that the benchmark fills
directly (a delivery is a file in new/). Runs as root (mail belongs to "nobody") or as an
ordinary user (mail belongs to that user)."""

import os
import pwd
import shutil
import socket
import subprocess
import time
from pathlib import Path

USER = "bench"
PASSWORD = "bench-secret"


def free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port: int, timeout: float = 10.0) -> None:
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError(f"nothing listens on 127.0.0.1:{port}")


class DovecotServer:
    def __init__(self, root: Path):
        self.root = root
        self.port = free_port()
        self.maildir = root / "mail" / USER
        if os.geteuid() == 0:
            owner = pwd.getpwnam("nobody")
            self.uid, self.gid = owner.pw_uid, owner.pw_gid
            login_user, internal_user = "dovenull", "dovecot"
        else:
            self.uid, self.gid = os.getuid(), os.getgid()
            login_user = internal_user = pwd.getpwuid(self.uid).pw_name
        self.process = None
        for sub in ("run", "state", "mail"):
            (root / sub).mkdir(parents=True, exist_ok=True)
        root.chmod(0o755)
        (root / "passwd").write_text(f"{USER}:{{PLAIN}}{PASSWORD}\n")
        self.config = root / "dovecot.conf"
        self.config.write_text(f"""\
base_dir = {root}/run
state_dir = {root}/state
log_path = {root}/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
default_login_user = {login_user}
default_internal_user = {internal_user}
first_valid_uid = 1
mail_location = maildir:{self.maildir}
pop3_uidl_format = %08Xu%08Xv
service pop3-login {{
  inet_listener pop3 {{
    address = 127.0.0.1
    port = {self.port}
  }}
}}
service imap-login {{
  inet_listener imap {{
    port = 0
  }}
}}
passdb {{
  driver = passwd-file
  args = scheme=PLAIN {root}/passwd
}}
userdb {{
  driver = static
  args = uid={self.uid} gid={self.gid} home={root}/mail/home
}}
""")
        self._reset_maildir()

    def start(self) -> None:
        self.process = subprocess.Popen(["dovecot", "-F", "-c", str(self.config)],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for_port(self.port)

    def stop(self) -> None:
        if self.process:
            self.process.terminate()
            self.process.wait(timeout=15)
            self.process = None

    def _reset_maildir(self) -> None:
        shutil.rmtree(self.maildir, ignore_errors=True)
        for sub in ("new", "cur", "tmp"):
            (self.maildir / sub).mkdir(parents=True)
        for path in [self.root / "mail", self.root / "mail" / USER] + \
                [self.maildir / s for s in ("new", "cur", "tmp")]:
            os.chown(path, self.uid, self.gid)

    def deliver(self, mails) -> None:
        """Empties the mailbox, then delivers the given raw mails (bytes) in order."""
        self._reset_maildir()
        stamp = int(time.time())
        for i, raw in enumerate(mails):
            path = self.maildir / "new" / f"{stamp}.M{i:06d}.bench"
            path.write_bytes(raw)
            os.chown(path, self.uid, self.gid)
            # Maildir order is the delivery time, then the name.
            os.utime(path, (stamp + i, stamp + i))

    def waiting(self) -> int:
        return sum(len(os.listdir(self.maildir / s)) for s in ("new", "cur"))
