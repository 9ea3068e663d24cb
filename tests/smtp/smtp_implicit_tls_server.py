"""SMTP server that speaks TLS from the first byte (as on port 465), storing mail into a
Maildir. For the tests of "smtps://" sending. Runs until SIGTERM."""
import argparse
import signal
import ssl
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.handlers import Mailbox


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--maildir", required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    args = parser.parse_args()

    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(args.cert, args.key)
    controller = Controller(Mailbox(args.maildir), hostname="127.0.0.1", port=args.port,
                            ssl_context=context, server_hostname="localhost")
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    controller.start()
    print("ready", flush=True)
    while not stop.wait(0.2):
        pass
    controller.stop()


if __name__ == "__main__":
    main()
