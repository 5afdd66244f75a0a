#!/usr/bin/python3
"""A private SMTP server for tests: records each message it accepts.

Usage: smtp_recorder.py FOLDER [--cert CERT --key KEY [--implicit]]
                               [--auth USER:PASSWORD] [--no-plain]
                               [--xoauth2 USER:TOKEN]
Listens on a loopback port the system picks and prints that port on the first
line of its output. Each accepted message N becomes FOLDER/N.env (MAIL FROM
address, then one line per RCPT TO address, then "auth=USER" when the client
signed in and "tls" when the session was encrypted) and FOLDER/N.eml (the message bytes exactly as received, after the
transparency dots are removed). With a certificate it offers STARTTLS, or
with --implicit speaks TLS from the first byte; with --auth it accepts that
sign-in (PLAIN and LOGIN; --no-plain leaves only LOGIN); with --xoauth2 it
takes that OAuth2 token (XOAUTH2; a wrong one gets the 334 challenge, then
535). Ends when its
standard input closes or on SIGTERM.
"""
import argparse
import base64
import asyncio
import os
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Recorder:
    def __init__(self, folder, xoauth2=None):
        self.folder = folder
        self.count = 0
        self.xoauth2 = xoauth2

    async def auth_XOAUTH2(self, server, args):
        user, _, token = (self.xoauth2 or "").partition(":")
        given = base64.b64decode(args[1]) if len(args) > 1 else b""
        if self.xoauth2 and given == ("user=%s\x01auth=Bearer %s\x01\x01" % (user, token)).encode():
            return AuthResult(success=True, auth_data=LoginPassword(user.encode(), b""))
        await server.challenge_auth(b'{"status":"401"}')
        return AuthResult(success=False, handled=False)

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "%06d" % self.count)
        with open(base + ".env", "w") as f:
            f.write(envelope.mail_from + "\n")
            for rcpt in envelope.rcpt_tos:
                f.write(rcpt + "\n")
            if session.authenticated:
                f.write("auth=%s\n" % session.auth_data.login.decode())
            if server.transport.get_extra_info("ssl_object") is not None:
                f.write("tls\n")
        # .eml appears last and whole, so a reader never sees half a message.
        with open(base + ".eml.part", "wb") as f:
            f.write(envelope.original_content)
        os.rename(base + ".eml.part", base + ".eml")
        return "250 OK"


async def main(args):
    context = None
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
    user, _, password = (args.auth or "").partition(":")

    def authenticator(server, session, envelope, mechanism, data):
        ok = bool(args.auth) and data.login.decode() == user and data.password.decode() == password
        return AuthResult(success=ok, handled=False, auth_data=data if ok else None)

    options = dict(decode_data=False, hostname="recorder.test")
    if args.auth or args.xoauth2:
        options.update(authenticator=authenticator, auth_require_tls=not args.implicit)
        if args.no_plain:
            options["auth_exclude_mechanism"] = ["PLAIN"]
    if context and not args.implicit:
        options["tls_context"] = context
    loop = asyncio.get_running_loop()
    # One recorder for every connection: its count names the files.
    recorder = Recorder(args.folder, args.xoauth2)
    server = await loop.create_server(
        lambda: SMTP(recorder, **options), "127.0.0.1", 0,
        ssl=context if args.implicit else None)
    print(server.sockets[0].getsockname()[1], flush=True)
    await loop.run_in_executor(None, sys.stdin.buffer.read)
    server.close()


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--implicit", action="store_true")
    parser.add_argument("--auth")
    parser.add_argument("--no-plain", action="store_true")
    parser.add_argument("--xoauth2")
    asyncio.run(main(parser.parse_args()))
