"""A real SMTP server (aiosmtpd) for the mail tests.

Usage: smtp_sink.py OUTDIR PORTFILE
Listens on a free loopback port and writes that port to PORTFILE once it accepts
connections. Every message it receives is stored in OUTDIR as N.from, N.rcpt (one recipient
per line), N.raw (the content as received, dots unstuffed), and N.subject and N.body (UTF-8,
as Python's email package decodes them), then N.done marks the message complete.
Ends on SIGTERM or SIGINT.
"""
import asyncio
import email
import email.header
import os
import signal
import sys

from aiosmtpd.smtp import SMTP


class Sink:
    def __init__(self, outdir):
        self.outdir = outdir
        self.count = 0

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
        self.write("%d.done" % n, b"")
        return "250 OK"


async def main(outdir, portfile):
    loop = asyncio.get_running_loop()
    sink = Sink(outdir)
    server = await loop.create_server(lambda: SMTP(sink), host="127.0.0.1", port=0)
    port = server.sockets[0].getsockname()[1]
    with open(portfile + ".tmp", "w") as out:
        out.write(str(port))
    os.rename(portfile + ".tmp", portfile)
    stop = asyncio.Event()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    loop.add_signal_handler(signal.SIGINT, stop.set)
    await stop.wait()
    server.close()
    await server.wait_closed()


if __name__ == "__main__":
    asyncio.run(main(sys.argv[1], sys.argv[2]))
