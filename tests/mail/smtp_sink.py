"""A real SMTP server (aiosmtpd) for the mail tests.

Usage: smtp_sink.py [OPTIONS] OUTDIR PORTFILE
Listens on a free loopback port and writes that port to PORTFILE once it accepts
connections. Every message it receives is stored in OUTDIR as N.from, N.rcpt (one recipient
per line), N.raw (the content as received, dots unstuffed), and N.subject and N.body (UTF-8,
as Python's email package decodes them), N.session ("tls=0|1", "auth=MECHANISM|-",
"user=NAME|-" lines), then N.done marks the message complete.
Ends on SIGTERM or SIGINT.

Options (none: plain SMTP, no STARTTLS, no AUTH):
  --starttls CERT    offer STARTTLS with CERT.pem/CERT.key (a path without the extension)
  --tls CERT         TLS from the first byte (implicit TLS) with that certificate
  --auth USER:PASS   accept AUTH PLAIN and LOGIN (only over TLS) for this user alone
  --login-only       offer LOGIN and not PLAIN
  --xoauth2 TOKEN    also offer XOAUTH2 and accept this bearer token (for --auth's user);
                     a wrong token gets the 334 error challenge, then 535
  --stall-starttls   no aiosmtpd: greets, offers STARTTLS, answers it with 220 and then never
                     answers the TLS handshake
"""
import argparse
import asyncio
import base64
import email
import email.header
import os
import signal
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Sink:
    def __init__(self, outdir, user=None, password=None, token=None):
        self.outdir = outdir
        self.count = 0
        self.user = user
        self.password = password
        self.token = token

    def authenticate(self, server, session, envelope, mechanism, auth_data):
        good = (isinstance(auth_data, LoginPassword) and self.user is not None and
                auth_data.login.decode() == self.user and
                auth_data.password.decode() == self.password)
        if good:
            session.mechanism = mechanism
        return AuthResult(success=good, handled=False, auth_data=auth_data)

    async def auth_XOAUTH2(self, server, args):
        if len(args) != 2:
            await server.push("501 5.5.2 initial response required")
            return AuthResult(success=False, handled=True)
        fields = base64.b64decode(args[1]).split(b"\x01")
        expected = [b"user=" + self.user.encode(), b"auth=Bearer " + self.token.encode(), b"", b""]
        if fields == expected:
            server.session.mechanism = "XOAUTH2"
            return AuthResult(success=True, auth_data=LoginPassword(self.user.encode(), b""))
        await server.challenge_auth(b'{"status":"401","schemes":"bearer"}')
        return AuthResult(success=False, handled=False)

    def write(self, name, data):
        with open(os.path.join(self.outdir, name), "wb") as out:
            out.write(data)

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        n = self.count
        raw = envelope.original_content or envelope.content
        self.write("%d.from" % n, envelope.mail_from.encode("utf-8", "surrogateescape"))
        self.write("%d.rcpt" % n, "".join(r + "\n" for r in envelope.rcpt_tos).encode(
            "utf-8", "surrogateescape"))
        self.write("%d.raw" % n, raw)
        try:
            message = email.message_from_bytes(raw)
            parts = email.header.decode_header(message.get("subject", ""))
            subject = "".join(
                text.decode(charset or "ascii") if isinstance(text, bytes) else text
                for text, charset in parts)
            payload = message.get_payload(decode=True) or b""
            body = payload.decode(message.get_content_charset() or "ascii")
        except Exception as error:  # the raw bytes still tell the test what went wrong
            subject = body = "decode error: %r" % (error,)
        self.write("%d.subject" % n, subject.encode("utf-8"))
        self.write("%d.body" % n, body.encode("utf-8"))
        login = getattr(session, "login_data", None)
        self.write("%d.session" % n, ("tls=%d\nauth=%s\nuser=%s\n" % (
            1 if session.ssl is not None or server.transport.get_extra_info("ssl_object") else 0,
            getattr(session, "mechanism", "-"),
            login.decode() if isinstance(login, bytes) else "-")).encode())
        self.write("%d.done" % n, b"")
        return "250 OK"


def context_for(cert):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert + ".pem", cert + ".key")
    return context


class StallStartTls(asyncio.Protocol):
    """Offers STARTTLS, agrees to it, and never answers the handshake that follows."""

    def connection_made(self, transport):
        self.transport = transport
        self.buffer = b""
        self.started = False
        transport.write(b"220 stall ESMTP\r\n")

    def data_received(self, data):
        if self.started:
            return  # the client's hello, never answered
        self.buffer += data
        while b"\n" in self.buffer:
            line, self.buffer = self.buffer.split(b"\n", 1)
            verb = line.strip().upper()
            if verb.startswith(b"EHLO"):
                self.transport.write(b"250-stall\r\n250 STARTTLS\r\n")
            elif verb == b"STARTTLS":
                self.transport.write(b"220 go ahead\r\n")
                self.started = True
                return
            else:
                self.transport.write(b"250 OK\r\n")


async def main(options):
    loop = asyncio.get_running_loop()
    user, password = (options.auth.split(":", 1) if options.auth else (None, None))
    sink = Sink(options.outdir, user, password, options.xoauth2)

    def smtp():
        extra = {}
        if options.starttls:
            extra["tls_context"] = context_for(options.starttls)
        if options.auth:
            extra["authenticator"] = sink.authenticate
            # aiosmtpd counts only STARTTLS as TLS; implicit TLS is TLS as well.
            extra["auth_require_tls"] = not options.tls
        excluded = ([] if options.xoauth2 else ["XOAUTH2"]) + (
            ["PLAIN"] if options.login_only else [])
        extra["auth_exclude_mechanism"] = excluded
        return SMTP(sink, **extra)

    if options.stall_starttls:
        server = await loop.create_server(StallStartTls, host="127.0.0.1", port=0)
    else:
        server = await loop.create_server(
            smtp, host="127.0.0.1", port=0,
            ssl=context_for(options.tls) if options.tls else None)
    port = server.sockets[0].getsockname()[1]
    with open(options.portfile + ".tmp", "w") as out:
        out.write(str(port))
    os.rename(options.portfile + ".tmp", options.portfile)
    stop = asyncio.Event()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    loop.add_signal_handler(signal.SIGINT, stop.set)
    await stop.wait()
    server.close()
    await server.wait_closed()


def parse(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--starttls")
    parser.add_argument("--tls")
    parser.add_argument("--auth")
    parser.add_argument("--login-only", action="store_true")
    parser.add_argument("--xoauth2")
    parser.add_argument("--stall-starttls", action="store_true")
    parser.add_argument("outdir")
    parser.add_argument("portfile")
    return parser.parse_args(argv)


if __name__ == "__main__":
    asyncio.run(main(parse(sys.argv[1:])))
