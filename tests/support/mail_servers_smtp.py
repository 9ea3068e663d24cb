"""SMTP test server for the Tsubame tests: aiosmtpd storing mail into a Maildir, with
optional STARTTLS (or TLS from the first byte, as on port 465) and AUTH. Runs until SIGTERM."""
import argparse
import signal
import ssl
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.handlers import Mailbox
from aiosmtpd.smtp import AuthResult, LoginPassword


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--maildir", required=True)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--implicit-tls", action="store_true")
    parser.add_argument("--user")
    parser.add_argument("--password", default="")
    args = parser.parse_args()

    kwargs = {}
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
        kwargs["ssl_context" if args.implicit_tls else "tls_context"] = context

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login.decode() == args.user
              and auth_data.password.decode() == args.password)
        # handled=False: aiosmtpd answers a failure with 535 itself.
        return AuthResult(success=ok, handled=False)

    if args.user:
        kwargs.update(authenticator=authenticator, auth_require_tls=False,
                      auth_required=True)
    controller = Controller(Mailbox(args.maildir), hostname="127.0.0.1", port=args.port,
                            require_starttls=False,
                            server_hostname="localhost", **kwargs)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    controller.start()
    print("ready", flush=True)
    while not stop.wait(0.2):
        pass
    controller.stop()


if __name__ == "__main__":
    main()
