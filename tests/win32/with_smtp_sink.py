"""Runs a command beside a real SMTP server (aiosmtpd, on loopback).

Usage: with_smtp_sink.py SMTP_SINK [SINK_OPTIONS... --] COMMAND [ARGS...]
       with_smtp_sink.py SMTP_SINK --on-request COMMAND [ARGS...]
SINK_OPTIONS are smtp_sink.py's (--starttls CERT, --auth USER:PASS, ...), ended by "--".
With --on-request the command starts servers itself, each with options of its own: it
connects to the port in TOLVANE_TEST_SMTP_SINKS and sends one line, the options separated by
tabs (paths as Wine shows them, Z:/...); the answer is a line "PORT FOLDER", or "error", and
that server runs until the command closes the connection.
The server is started first; the command finds its port in TOLVANE_TEST_SMTP_PORT and the
folder where it stores what it receives (smtp_sink.py's files) in TOLVANE_TEST_SMTP_DIR.
A Windows program under Wine cannot start or end a Linux process it can wait for, so the
server lives on this side, for as long as the command runs. Exit code: the command's.
"""
import contextlib
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
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


def one_request(script, conn):
    with conn, conn.makefile("rb") as reader:
        line = reader.readline().decode().rstrip("\r\n")
        options = [o[2:] if o.startswith("Z:") else o for o in line.split("\t") if o]
        try:
            with smtp_sink(script, options) as (port, outdir):
                conn.sendall(("%s %s\n" % (port, outdir)).encode())
                while conn.recv(1024):
                    pass
        except (SystemExit, OSError):
            with contextlib.suppress(OSError):
                conn.sendall(b"error\n")


def serve_requests(script, listener, served):
    while True:
        conn, _ = listener.accept()
        served.append(threading.Thread(target=one_request, args=(script, conn), daemon=True))
        served[-1].start()


def main(script, *rest):
    if rest and rest[0] == "--on-request":
        listener = socket.create_server(("127.0.0.1", 0))
        served = []
        threading.Thread(target=serve_requests, args=(script, listener, served),
                         daemon=True).start()
        env = dict(os.environ, TOLVANE_TEST_SMTP_SINKS=str(listener.getsockname()[1]))
        status = subprocess.call(list(rest[1:]), stdin=subprocess.DEVNULL, env=env)
        for thread in list(served):  # the servers end with their connections
            thread.join(timeout=30)
        return status
    options, command = ((), rest)
    if "--" in rest:
        end = rest.index("--")
        options, command = rest[:end], rest[end + 1:]
    with smtp_sink(script, options) as (port, outdir):
        env = dict(os.environ, TOLVANE_TEST_SMTP_PORT=port, TOLVANE_TEST_SMTP_DIR=outdir)
        return subprocess.call(list(command), stdin=subprocess.DEVNULL, env=env)


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
