"""TLS servers for the TLS stream's tests, one loopback port per kind of peer.

Usage: tls_peer.py CERTDIR PORTFILE
       tls_peer.py CERTDIR --run COMMAND [ARGS...]
CERTDIR holds make_test_certs.sh's files. The kinds:
  good       server.pem (the test root's, for localhost and 127.0.0.1)
  other      other.pem (the test root's, for other.example)
  untrusted  untrusted.pem (for localhost, from a root nobody trusts)
  old        server.pem, but TLS 1.0 and 1.1 only
  closing    server.pem; echoes one line, then ends the session with its close_notify alone,
             leaving the connection open until the client closes it
  stall      accepts the connection, then never answers the handshake
  plain      no TLS at all: answers every connection with a line of plain text
Each TLS peer echoes every line it receives back, prefixed "echo: ", until the client closes.
The first form writes "kind=port" lines to PORTFILE once every port accepts connections and
serves until it is ended (SIGTERM); the second runs the command beside the servers, with
"kind=port,kind=port,..." in TOLVANE_TEST_TLS_PORTS, and ends with it, giving its exit code:
a Windows test program under Wine cannot start a Linux process it can wait for.
"""
import os
import socket
import ssl
import subprocess
import sys
import threading
import warnings


def listener():
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(("127.0.0.1", 0))
    sock.listen(16)
    return sock


def echo(conn, context):
    try:
        with conn:
            if context is None:
                conn.sendall(b"220 not TLS\r\n")
                while conn.recv(4096):
                    pass
                return
            tls = context.wrap_socket(conn, server_side=True)
            reader = tls.makefile("rb")
            for line in reader:
                tls.sendall(b"echo: " + line)
    except (OSError, ssl.SSLError):
        pass  # a client that refused the certificate ends the handshake: nothing to answer


def close_after_a_line(conn, context):
    try:
        with conn:
            tls = context.wrap_socket(conn, server_side=True)
            tls.sendall(b"echo: " + tls.makefile("rb").readline())
            tls.unwrap()  # sends close_notify, then waits for the client's or its leaving
            while conn.recv(4096):
                pass
    except (OSError, ssl.SSLError):
        pass


def stall(conn):
    with conn:
        while conn.recv(4096):  # reads the client's hello and never answers it
            pass


def serve(sock, handle):
    while True:
        conn, _ = sock.accept()
        threading.Thread(target=handle, args=(conn,), daemon=True).start()


def context_for(certdir, name):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(certdir, name + ".pem"),
                            os.path.join(certdir, name + ".key"))
    return context


def old_context(certdir):
    """A server of before TLS 1.2, which a client must refuse however it is asked."""
    context = context_for(certdir, "server")
    context.set_ciphers("DEFAULT@SECLEVEL=0")  # Debian's default level allows 1.2 at least
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)
        context.minimum_version = ssl.TLSVersion.TLSv1
        context.maximum_version = ssl.TLSVersion.TLSv1_1
    return context


def start(certdir):
    kinds = {}
    contexts = {kind: context_for(certdir, cert)
                for kind, cert in (("good", "server"), ("other", "other"),
                                   ("untrusted", "untrusted"))}
    contexts["old"] = old_context(certdir)
    for kind, context in contexts.items():
        kinds[kind] = (listener(), lambda conn, c=context: echo(conn, c))
    kinds["closing"] = (listener(), lambda conn, c=contexts["good"]: close_after_a_line(conn, c))
    kinds["stall"] = (listener(), stall)
    kinds["plain"] = (listener(), lambda conn: echo(conn, None))
    for sock, handle in kinds.values():
        threading.Thread(target=serve, args=(sock, handle), daemon=True).start()
    return {kind: sock.getsockname()[1] for kind, (sock, _) in kinds.items()}


def main():
    certdir = sys.argv[1]
    ports = start(certdir)
    if sys.argv[2] == "--run":
        env = dict(os.environ)
        env["TOLVANE_TEST_TLS_PORTS"] = ",".join("%s=%d" % item for item in ports.items())
        sys.exit(subprocess.call(sys.argv[3:], env=env))
    portfile = sys.argv[2]
    with open(portfile + ".tmp", "w") as out:
        out.write("".join("%s=%d\n" % item for item in ports.items()))
    os.rename(portfile + ".tmp", portfile)
    threading.Event().wait()


if __name__ == "__main__":
    main()
