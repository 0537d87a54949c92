#!/usr/bin/python3
# A real SMTP server for the tests, on 127.0.0.1: each mail it accepts is stored, byte for
# byte as it came, in its own numbered file of the folder given. Prints "ready PORT" once it
# takes connections, and runs until it is killed or its input closes.
#
#   smtp_server.py FOLDER [--tls CERT KEY] [--auth USER:PASSWORD] [--forever]
#
# --tls offers STARTTLS with that certificate and refuses mail before it; --auth then requires
# AUTH with that one user; --forever runs until killed, whatever its input.
import argparse
import socket
import ssl
import sys
import threading
from pathlib import Path

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Store:
    def __init__(self, folder):
        self.folder = Path(folder)
        self.count = 0
        self.lock = threading.Lock()

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            name = self.folder / f"mail-{self.count:04d}.eml"
        header = f"X-Envelope-From: {envelope.mail_from}\r\n"
        header += "".join(f"X-Envelope-To: {rcpt}\r\n" for rcpt in envelope.rcpt_tos)
        name.write_bytes(header.encode() + envelope.original_content)
        return "250 Message accepted"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class OneUser:
    def __init__(self, pair):
        user, _, password = pair.partition(":")
        self.user = user.encode()
        self.password = password.encode()

    def __call__(self, server, session, envelope, mechanism, auth_data):
        ok = isinstance(auth_data, LoginPassword) and (
            auth_data.login == self.user and auth_data.password == self.password)
        return AuthResult(success=ok, handled=False)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--auth", metavar="USER:PASSWORD")
    parser.add_argument("--forever", action="store_true")
    args = parser.parse_args()
    options = {}
    if args.tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(*args.tls)
        options.update(tls_context=context, require_starttls=True)
    if args.auth:
        options.update(authenticator=OneUser(args.auth), auth_required=True,
                       auth_require_tls=bool(args.tls))
    port = free_port()
    controller = Controller(Store(args.folder), hostname="127.0.0.1", port=port, **options)
    controller.start()
    print(f"ready {port}", flush=True)
    if args.forever:
        threading.Event().wait()
    sys.stdin.read()  # the test's end closes it
    controller.stop()


main()
