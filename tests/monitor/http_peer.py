"""A raw HTTP server for the answers a real web server will not give.

Usage: http_peer.py [--certs CERTDIR] PORTFILE
       http_peer.py [--certs CERTDIR] --run COMMAND [ARGS...]
Listens on a free loopback port. The first form writes that port to PORTFILE once it accepts
connections and serves until it is ended (SIGTERM). The second runs the command beside the
server, with the port in TOLVANE_TEST_HTTP_PORT, and ends with it, giving its exit code: a
Windows test program under Wine cannot start a Linux process it can wait for.

With --certs the same answers are also served over TLS on a second port, with CERTDIR's
server.pem and server.key (tests/support/make_test_certs.sh): PORTFILE then holds both ports,
"PLAIN TLS", and the second form puts the TLS one in TOLVANE_TEST_HTTPS_PORT. A response over
TLS ends with the session's close_notify, then the connection's end.

Every connection is read up to the end of its request head; the request's path picks the
answer (see ANSWERS). Each connection has a thread of its own, so one that never answers holds
up no other.
"""
import os
import socket
import ssl
import subprocess
import sys
import threading
import time

BODY_LIMIT = 64 * 1024


def send(conn, data):
    conn.sendall(data)


def hold(conn):
    """Keeps the connection open, silent, until the client closes it."""
    while conn.recv(4096):
        pass


def trickle(conn, data):
    """One byte a second, for as long as the client listens."""
    for i in range(len(data)):
        conn.sendall(data[i:i + 1])
        time.sleep(1)
    hold(conn)


def fixed(status, body, extra=b""):
    head = b"HTTP/1.1 " + status + b"\r\nContent-Length: " + str(len(body)).encode() + \
        b"\r\n" + extra + b"Connection: close\r\n\r\n"
    return lambda conn, request: send(conn, head + body)


def chunked(conn, request):
    """"needle" split over two chunks, "second part" whole in the later one."""
    send(conn, b"HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n"
         b"F;part=one\r\nfirst part, nee\r\n")
    time.sleep(0.2)  # the later chunk comes in a later read
    send(conn, b"1a\r\ndle, then the second part.\r\n0\r\nX-Trailer: yes\r\n\r\n")


def endless(conn, request):
    """A body without a length that never ends while the client reads."""
    send(conn, b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n")
    while True:
        send(conn, b"a" * 4096)


def endless_head(conn, request):
    send(conn, b"HTTP/1.1 200 OK\r\n")
    while True:
        send(conn, b"X-Fill: " + b"f" * 1000 + b"\r\n")


ANSWERS = {
    "/ok": fixed(b"200 OK", b"<p>all well: needle</p>"),
    "/503": fixed(b"503 Service Unavailable", b"<h1>Service Unavailable</h1>"),
    "/redirect": fixed(b"302 Found", b"", b"Location: /ok\r\n"),
    "/echo": lambda conn, request: fixed(b"200 OK", request)(conn, request),
    "/lf-only": lambda conn, request: send(conn, b"HTTP/1.0 200 OK\nContent-Length: 6\n\nneedle"),
    "/early-hints": lambda conn, request: send(
        conn, b"HTTP/1.1 103 Early Hints\r\nLink: </s.css>; rel=preload\r\n\r\n"
        b"HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nneedle"),
    "/silent": lambda conn, request: hold(conn),
    "/close": lambda conn, request: None,
    "/trickle": lambda conn, request: trickle(
        conn, b"HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nneedle"),
    "/trickle-body": lambda conn, request: (
        send(conn, b"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n"),
        trickle(conn, b"a" * 1000)),
    "/garbage": lambda conn, request: (send(conn, b"\x00\xff<html>garbage</html>\r\n"),
                                       hold(conn)),
    "/bad-status": lambda conn, request: (send(conn, b"HTTP/1.1 OK\r\n\r\n"), hold(conn)),
    "/big-header": lambda conn, request: (
        send(conn, b"HTTP/1.1 200 OK\r\nX-Big: " + b"b" * (70 * 1024) + b"\r\n\r\n"), hold(conn)),
    "/endless-head": endless_head,
    "/status-then-close": lambda conn, request: send(conn, b"HTTP/1.1 200 OK\r\n"),
    "/short-body": lambda conn, request: send(
        conn, b"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nonly this"),
    "/chunked": chunked,
    "/bad-chunk": lambda conn, request: (
        send(conn, b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nneedle\r\n"),
        hold(conn)),
    "/endless": endless,
    # The text just inside the first 64 KiB of the body, and just past them.
    "/text-at-limit": fixed(b"200 OK", b"a" * (BODY_LIMIT - 6) + b"needle"),
    "/text-past-limit": fixed(b"200 OK", b"a" * (BODY_LIMIT - 5) + b"needle"),
}


def serve_one(conn, context=None):
    try:
        if context is not None:
            conn = context.wrap_socket(conn, server_side=True)
        with conn:
            request = b""
            while b"\r\n\r\n" not in request and len(request) < 65536:
                data = conn.recv(4096)
                if not data:
                    return
                request += data
            parts = request.split(b" ", 2)
            path = parts[1].decode("latin-1").split("?")[0] if len(parts) > 2 else ""
            answer = ANSWERS.get(path, fixed(b"404 Not Found", b"no such answer"))
            answer(conn, request)
            if context is not None:
                # close_notify, as web servers end a response over TLS, without waiting for the
                # client's; then the connection ends as below.
                conn.setblocking(False)
                try:
                    conn.unwrap()
                except ssl.SSLWantReadError:
                    pass
                conn.setblocking(True)
            # Closed only once the client has read: an unread request would reset it instead.
            conn.shutdown(socket.SHUT_WR)
            hold(conn)
    except OSError:
        pass  # the client went away, as checks that give up do, or refused the handshake


def start(context=None):
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.bind(("127.0.0.1", 0))
    server.listen(64)

    def accept():
        while True:
            conn, _ = server.accept()
            # The handshake too runs in the connection's thread: a client that stalls in it
            # holds up no other.
            threading.Thread(target=serve_one, args=(conn, context), daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()
    return server.getsockname()[1]


def tls_context(certdir):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(certdir, "server.pem"),
                            os.path.join(certdir, "server.key"))
    return context


def main(args):
    env = dict(os.environ)
    ports = []
    if args[:1] == ["--certs"]:
        tls_port = start(tls_context(args[1]))
        env["TOLVANE_TEST_HTTPS_PORT"] = str(tls_port)
        ports.append(tls_port)
        args = args[2:]
    port = start()
    ports.insert(0, port)
    if args[:1] == ["--run"]:
        env["TOLVANE_TEST_HTTP_PORT"] = str(port)
        return subprocess.call(args[1:], stdin=subprocess.DEVNULL, env=env)
    with open(args[0] + ".tmp", "w") as out:
        out.write(" ".join(str(p) for p in ports))
    os.rename(args[0] + ".tmp", args[0])
    while True:
        time.sleep(3600)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
