"""Runs a command beside a real SMTP server (aiosmtpd, on loopback).

Usage: with_smtp_sink.py SMTP_SINK [SINK_OPTIONS... --] COMMAND [ARGS...]
SINK_OPTIONS are smtp_sink.py's (--starttls CERT, --auth USER:PASS, ...), ended by "--".
The server is started first; the command finds its port in TOLVANE_TEST_SMTP_PORT and the
folder where it stores what it receives (smtp_sink.py's files) in TOLVANE_TEST_SMTP_DIR.
A Windows program under Wine cannot start or end a Linux process it can wait for, so the
server lives on this side, for as long as the command runs. Exit code: the command's.
"""
import contextlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time


@contextlib.contextmanager
def smtp_sink(script, options=()):
    """Starts smtp_sink.py; yields (port, folder of the received mail); ends it afterwards."""
    work = tempfile.mkdtemp(prefix="tolvane-smtp-")
    outdir = os.path.join(work, "mail")
    os.mkdir(outdir)
    portfile = os.path.join(work, "port")
    sink = subprocess.Popen(["/usr/bin/python3", script, *options, outdir, portfile],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    try:
        deadline = time.time() + 30
        while not os.path.exists(portfile):
            if time.time() > deadline or sink.poll() is not None:
                sys.exit("the SMTP server did not start; is Debian's python3-aiosmtpd installed?")
            time.sleep(0.05)
        with open(portfile) as f:
            yield f.read().strip(), outdir
    finally:
        sink.send_signal(signal.SIGTERM)
        sink.wait(timeout=30)
        shutil.rmtree(work, ignore_errors=True)


def main(script, *rest):
    options, command = ((), rest)
    if "--" in rest:
        end = rest.index("--")
        options, command = rest[:end], rest[end + 1:]
    with smtp_sink(script, options) as (port, outdir):
        env = dict(os.environ, TOLVANE_TEST_SMTP_PORT=port, TOLVANE_TEST_SMTP_DIR=outdir)
        return subprocess.call(list(command), stdin=subprocess.DEVNULL, env=env)


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
