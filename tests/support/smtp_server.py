#!/usr/bin/python3
# A real SMTP server for the tests, on 127.0.0.1: each mail it accepts is stored, byte for
# byte as it came, in its own numbered file of the folder given. Prints "ready PORT" once it
# takes connections, and runs until it is killed or its input closes.
import socket
import sys
import threading
from pathlib import Path

from aiosmtpd.controller import Controller


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


def main():
    port = free_port()
    controller = Controller(Store(sys.argv[1]), hostname="127.0.0.1", port=port)
    controller.start()
    print(f"ready {port}", flush=True)
    sys.stdin.read()  # the test's end closes it
    controller.stop()


main()
