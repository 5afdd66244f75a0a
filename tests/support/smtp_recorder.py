#!/usr/bin/python3
"""A private SMTP server for tests: records each message it accepts.

Usage: smtp_recorder.py FOLDER
Listens on a loopback port the system picks and prints that port on the first
line of its output. Each accepted message N becomes FOLDER/N.env (MAIL FROM
address, then one line per RCPT TO address) and FOLDER/N.eml (the message
bytes exactly as received, after the transparency dots are removed). Ends
when its standard input closes or on SIGTERM.
"""
import asyncio
import os
import sys

from aiosmtpd.smtp import SMTP


class Recorder:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "%06d" % self.count)
        with open(base + ".env", "w") as f:
            f.write(envelope.mail_from + "\n")
            for rcpt in envelope.rcpt_tos:
                f.write(rcpt + "\n")
        # .eml appears last and whole, so a reader never sees half a message.
        with open(base + ".eml.part", "wb") as f:
            f.write(envelope.original_content)
        os.rename(base + ".eml.part", base + ".eml")
        return "250 OK"


async def main(folder):
    loop = asyncio.get_running_loop()
    # One recorder for every connection: its count names the files.
    recorder = Recorder(folder)
    server = await loop.create_server(
        lambda: SMTP(recorder, decode_data=False, hostname="recorder.test"),
        "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    await loop.run_in_executor(None, sys.stdin.buffer.read)
    server.close()


if __name__ == "__main__":
    asyncio.run(main(sys.argv[1]))
