"""A scripted SMTP server that offers AUTH but no STARTTLS, so any login would travel in
clear text. Writes every line it receives into --log and accepts no login. With
--require-auth it refuses mail without a login (530), otherwise it takes the mail.
--reply VERB=TEXT answers VERB (MAIL, RCPT, DATA, or END for the end of the text) with TEXT.
Runs until SIGTERM."""
import argparse
import signal
import socket
import threading


def serve(connection, log, require_auth, replies):
    reader = connection.makefile("rb")

    def reply(text):
        connection.sendall(text.encode() + b"\r\n")

    reply("220 scripted ESMTP")
    in_data = False
    while True:
        line = reader.readline()
        if not line:
            return
        with open(log, "ab") as out:
            out.write(line)
        if in_data:
            if line in (b".\r\n", b".\n"):
                in_data = False
                reply(replies.get(b"END", "250 2.0.0 queued"))
            continue
        verb = line.split(b" ")[0].strip().upper()
        if verb in replies and verb != b"END":
            reply(replies[verb])
        elif verb == b"EHLO":
            reply("250-scripted")
            reply("250-AUTH PLAIN LOGIN")
            reply("250 8BITMIME")
        elif verb == b"HELO":
            reply("250 scripted")
        elif verb == b"AUTH":
            reply("535 5.7.8 no logins here")
        elif verb == b"MAIL":
            reply("530 5.7.0 Authentication required" if require_auth else "250 2.1.0 ok")
        elif verb == b"RCPT":
            reply("250 2.1.5 ok")
        elif verb == b"DATA":
            in_data = True
            reply("354 go ahead")
        elif verb == b"QUIT":
            reply("221 bye")
            return
        else:
            reply("250 ok")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--require-auth", action="store_true")
    parser.add_argument("--reply", action="append", default=[])
    args = parser.parse_args()
    replies = {verb.encode(): text for verb, text in (r.split("=", 1) for r in args.reply)}

    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", args.port))
    listener.listen()
    listener.settimeout(0.2)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    while not stop.is_set():
        try:
            connection, _ = listener.accept()
        except socket.timeout:
            continue
        # A client that hangs up at once (the test's look whether the port listens) must not
        # end the server.
        with connection:
            try:
                serve(connection, args.log, args.require_auth, replies)
            except OSError:
                pass


if __name__ == "__main__":
    main()
