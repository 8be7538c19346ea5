"""How a run ends: a failed write is reported and fails the run, and every way out (the end,
BYE, an error, SIGTERM, Ctrl-C in a program file) first flushes and closes the program's files."""
import os
import signal
import subprocess
import sys
import tempfile
import time

from common import Checker

binary = os.path.abspath(sys.argv[1])
t = Checker()
E_WRITE = "エラー: 書き込みに失敗しました".encode()
E_STDOUT = "エラー: 標準出力に書き込めません".encode()
E_FILES = "エラー: ファイルに書き込めなかったデータがあります".encode()


def script(tmp, text, name="prog.lisp"):
    path = os.path.join(tmp, name)
    with open(path, "w") as fh:
        fh.write(text)
    return path


with tempfile.TemporaryDirectory() as tmp:
    # A full disk: the writing operator or CLOSE fails, and the session goes on.
    p = subprocess.run([binary], input=b'(setq s (open "/dev/full" :direction :output))\n'
                       b'(dotimes (i 3000) (print i s))\nabort\n(close s)\nabort\n'
                       b'(with-open-file (s "/dev/full" :direction :output) (print 1 s))\n'
                       b'abort\n(print (quote alive))\n', stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, cwd=tmp)
    t.check(p.returncode == 0 and p.stdout.count(E_WRITE) == 3 and b"ALIVE" in p.stdout,
            "writing to a full disk fails in the operator or in CLOSE", repr(p.stdout[-600:]))

    # A file left open on a full disk when the session ends: reported, status 1.
    p = subprocess.run([binary], input=b'(setq s (open "/dev/full" :direction :output))\n'
                       b'(print 1 s)\n', stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=tmp)
    t.check(p.returncode == 1 and E_FILES in p.stderr, "a file whose data is lost at the end",
            repr((p.returncode, p.stderr)))

    # Standard output on a full disk: a message on standard error and status 1.
    prog = script(tmp, "(print 'hello)\n(dotimes (i 3000) (print i))\n(print 'done)\n")
    with open("/dev/full", "wb") as full:
        p = subprocess.run([binary, prog], stdout=full, stderr=subprocess.PIPE, cwd=tmp)
    t.check(p.returncode == 1 and E_STDOUT in p.stderr, "a program whose output is lost fails",
            repr((p.returncode, p.stderr)))
    with open("/dev/full", "wb") as full:
        p = subprocess.run([binary, script(tmp, "(print 1)\n")], stdout=full,
                           stderr=subprocess.PIPE, cwd=tmp)
    t.check(p.returncode == 1 and E_STDOUT in p.stderr, "even a little output lost fails",
            repr((p.returncode, p.stderr)))

    # Standard output a pipe that closes (prog | head -2): the run ends as a failed write
    # does, whether it prints in one long form or form after form, and its files keep their data.
    for body, title in [("(dotimes (i 1000000) (print i))\n", "during one long form"),
                        ("(print 1)\n" * 100000, "between forms")]:
        prog = script(tmp, '(setq s (open "kept.txt" :direction :output))\n'
                           "(print 'important-data s)\n" + body, "pipe.lisp")
        proc = subprocess.Popen([binary, prog], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, cwd=tmp)
        proc.stdout.readline()
        proc.stdout.readline()
        proc.stdout.close()
        stderr = proc.stderr.read()
        proc.wait(timeout=60)
        with open(os.path.join(tmp, "kept.txt"), "rb") as fh:
            kept = fh.read()
        t.check(proc.returncode in (1, 141) and kept == b"\nIMPORTANT-DATA ",
                "standard output closed " + title, repr((proc.returncode, kept, stderr)))

    # A signal while a program file runs, or waits for input: its files keep what it wrote.
    loop = script(tmp, '(setq s (open "out.txt" :direction :output))\n(print (quote kept) s)\n'
                       '(princ "shown")\n(loop (setq x 1))\n', "loop.lisp")
    wait = script(tmp, '(setq s (open "out.txt" :direction :output))\n(print (quote kept) s)\n'
                       '(print (read))\n', "wait.lisp")
    for prog, sig, status, title in [
            (loop, signal.SIGTERM, 143, "SIGTERM while a program runs"),
            (loop, signal.SIGINT, 130, "Ctrl-C while a program runs"),
            (wait, signal.SIGTERM, 143, "SIGTERM while a program waits for input")]:
        out = os.path.join(tmp, "out.txt")
        if os.path.exists(out):
            os.unlink(out)
        proc = subprocess.Popen([binary, prog], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, cwd=tmp)
        time.sleep(0.5)
        proc.send_signal(sig)
        stdout, stderr = proc.communicate(timeout=60)
        proc.stdin.close()
        with open(out, "rb") as fh:
            kept = fh.read()
        want_out = b"shown" if prog == loop else b""
        t.check(proc.returncode == status and kept == b"\nKEPT " and stdout == want_out,
                title, repr((proc.returncode, kept, stdout, stderr)))
t.finish()
