"""The notification mail of tolvanectl.exe under Wine against that of the Linux build.

Usage: compare_test_mail.py WINE_RUN PREFIX WIN_TOLVANECTL LINUX_TOLVANECTL SMTP_SINK
Both programs store the same settings and send their test mail to one real SMTP server
(aiosmtpd, on loopback); the two messages must be the same bytes apart from the Date header.
Wine programs write to files, never to pipes: Wine's helper processes keep pipes open.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

from with_smtp_sink import smtp_sink

SUBJECT = "再起動のお知らせ ①～"
BODY = "IISを再起動しました。\\r\\n二行目 ﾃｽﾄ \"引用\""


def run(args, work, env, name):
    out_path = os.path.join(work, name + ".out")
    with open(out_path, "wb") as out:
        code = subprocess.call(args, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                               env=env, cwd=work, timeout=120)
    with open(out_path, "rb") as out:
        output = out.read()
    if code != 0:
        sys.exit("%s failed with %d: %r" % (" ".join(args), code, output))


def without_date(raw):
    return b"".join(line for line in raw.splitlines(keepends=True)
                    if not line.startswith(b"Date: "))


def main(wine_run, prefix, win_tolvanectl, linux_tolvanectl, script):
    work = tempfile.mkdtemp(prefix="tolvane-compare-")
    try:
        with smtp_sink(script) as (port, outdir):
            settings = ["set", "Smtp=127.0.0.1", "SmtpPort=" + port, "From=watch@example.jp",
                        "To=admin@example.jp;ops@example.jp", "Subject=" + SUBJECT,
                        "Body=" + BODY]
            env = dict(os.environ, LC_ALL="C.UTF-8",
                       TOLVANE_REGISTRY=os.path.join(work, "store.reg"))
            run([linux_tolvanectl] + settings, work, env, "linux-set")
            run([linux_tolvanectl, "send-test-mail"], work, env, "linux-send")
            run([wine_run, prefix, win_tolvanectl] + settings, work, env, "win-set")
            run([wine_run, prefix, win_tolvanectl, "send-test-mail"], work, env, "win-send")
            deadline = time.time() + 30
            while not os.path.exists(os.path.join(outdir, "2.done")):
                if time.time() > deadline:
                    sys.exit("the server did not receive both messages")
                time.sleep(0.05)
            files = {}
            for n in ("1", "2"):
                for part in ("from", "rcpt", "raw"):
                    with open(os.path.join(outdir, n + "." + part), "rb") as f:
                        files[n + part] = f.read()
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for part in ("from", "rcpt"):
        if files["1" + part] != files["2" + part]:
            sys.exit("envelope differs (%s): %r != %r" % (part, files["1" + part],
                                                            files["2" + part]))
    linux, windows = without_date(files["1raw"]), without_date(files["2raw"])
    if linux != windows or linux == files["1raw"]:
        sys.exit("messages differ:\n%r\n%r" % (files["1raw"], files["2raw"]))
    print("same message, %d bytes apart from the Date header" % len(linux))


if __name__ == "__main__":
    main(*sys.argv[1:])
