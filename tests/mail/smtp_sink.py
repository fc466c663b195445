"""A real SMTP server (aiosmtpd) for the mail tests: listens on a free loopback port, writes
the port to PORTFILE once it accepts connections, and stores every message it receives in
OUTDIR as N.json: the envelope, the raw content in base64, and the subject and body as
Python's email package decodes them."""
import asyncio
import base64
import email
import email.header
import json
import os
import signal
import sys

from aiosmtpd.smtp import SMTP


class Sink:
    def __init__(self, outdir):
        self.outdir = outdir
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        raw = envelope.original_content or envelope.content
        record = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "content": base64.b64encode(raw).decode("ascii"),
        }
        try:
            message = email.message_from_bytes(raw)
            parts = email.header.decode_header(message.get("subject", ""))
            record["subject"] = "".join(
                text.decode(charset or "ascii") if isinstance(text, bytes) else text
                for text, charset in parts)
            payload = message.get_payload(decode=True) or b""
            record["body"] = payload.decode(message.get_content_charset() or "ascii")
        except Exception as error:  # the raw bytes still tell the test what went wrong
            record["decode_error"] = repr(error)
        name = os.path.join(self.outdir, "%d.json" % self.count)
        with open(name + ".tmp", "w", encoding="utf-8") as out:
            json.dump(record, out, ensure_ascii=False)
        os.rename(name + ".tmp", name)
        return "250 OK"


async def main(outdir, portfile):
    loop = asyncio.get_running_loop()
    sink = Sink(outdir)
    server = await loop.create_server(lambda: SMTP(sink, enable_SMTPUTF8=False),
                                      host="127.0.0.1", port=0)
    port = server.sockets[0].getsockname()[1]
    with open(portfile + ".tmp", "w") as out:
        out.write(str(port))
    os.rename(portfile + ".tmp", portfile)
    stop = asyncio.Event()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    loop.add_signal_handler(signal.SIGINT, stop.set)
    await stop.wait()
    server.close()


if __name__ == "__main__":
    asyncio.run(main(sys.argv[1], sys.argv[2]))
