"""Tables and stores that fill up: the documented message, then exit 1 or the loop goes on."""
import os
import signal
import subprocess
import sys
import tempfile
import time

from common import BANNER, GC_LINE, Checker, quiet, run

binary = sys.argv[1]
t = Checker()

code, out, err = run(binary, b"(dotimes (i 4000) (set (intern (int-to-string i)) i))\n'never\n")
t.check(code == 1 and not quiet(err) and
        out == BANNER + "[1]エラー: グローバル変数領域が不足しています。終了します。\n".encode(),
        "global table full", f"{code} {out[-300:]!r} {err[-500:]!r}")

code, out, err = run(binary, b"(dotimes (i 4000) (eval (list 'defun (intern (int-to-string i)) nil nil)))\n")
t.check(code == 1 and not quiet(err) and
        out == BANNER + "[1]エラー: 関数領域が一杯になりました。終了します。\n".encode(),
        "function table full", f"{code} {out[-300:]!r} {err[-500:]!r}")

# Uninterned symbols nothing refers to are reclaimed; kept ones fill the symbol table, and
# that is an error with the debug loop, the reserve left for names typed there; once they are
# dropped, new symbols come again.
code, out, err = run(binary, b"(dotimes (i 200000) (make-symbol \"G\"))\n"
                     b"(setq keep nil)\n(dotimes (i 100000) (setq keep (cons (make-symbol \"K\") keep)))\n"
                     b"(print 'typed-in-the-debug-loop)\nabort\n(setq keep nil)\n(make-symbol \"AGAIN\")\n")
t.check(code == 0 and not quiet(err) and out.startswith(BANNER + b"[1]NIL\n[2]NIL\n[3]") and
        "[3]エラー: ストリングの数が多すぎます\nデバッグモードに入りました。".encode() in out and
        out.endswith("TYPED-IN-THE-DEBUG-LOOP TYPED-IN-THE-DEBUG-LOOP\n*[2][4]NIL\n[5]AGAIN ;\nNIL\n[6]"
                     .encode()),
        "symbol table full", f"{code} {out[-300:]!r} {err[-500:]!r}")

# A macro that makes a symbol at every expansion runs for ever in bounded memory: a million
# expansions take about what ten thousand do (the sanitizers' quarantine of freed memory off).
def expansions(count):
    with tempfile.TemporaryFile() as given, tempfile.TemporaryFile() as got:
        given.write(b"(defmacro m (x) (let ((g (gensym))) (list 'let (list (list g x)) g)))\n"
                    b"(setq s 0)\n(dotimes (i %d) (setq s (+ s (m 1))))\n(print s)\n" % count)
        given.seek(0)
        env = dict(os.environ, ASAN_OPTIONS="quarantine_size_mb=0")
        proc = subprocess.Popen([os.path.abspath(binary)], stdin=given, stdout=got,
                                stderr=subprocess.STDOUT, env=env)
        _, status, usage = os.wait4(proc.pid, 0)
        got.seek(0)
        return status, got.read(), usage.ru_maxrss


_, _, few = expansions(10000)
status, out, many = expansions(1000000)
t.check(status == 0 and b"\n1000000 " in out and many < few * 3 // 2 + 16 * 1024,
        "a million GENSYMs in bounded memory", f"{status} {few} KB, {many} KB {out[-300:]!r}")

# A pool that fills with live data stops the program with the pool's message (or, for a
# recursion, the depth guard, whichever comes first); after ABORT the session and its
# definitions go on. Spare ABORTs at the prompt only open and close a debug loop.
POOL_LOW = ("エラー: セル領域が一杯です\n", "エラー: 数値領域が一杯です\n", "エラー: 整数領域が一杯です\n",
            "エラー: 再帰が深すぎます\n")
SURVIVES = b"abort\nabort\nabort\n(square 7)\n"
for shape in ["(* n (f (1- n)))", "(+ 1 (f n))", "(cons n (f n))", "(f (list n n n))",
              "(f (+ n 0.5))"]:
    code, out, err = run(binary, b"(defun square (x) (* x x))\n(defun f (n) " + shape.encode() +
                         b")\n(f 5)\n" + SURVIVES)
    text = out.decode()
    t.check(code == 0 and not quiet(err) and any(m in text for m in POOL_LOW) and
            "終了します" not in text and text.rstrip("[]0123456789*").endswith("]49\n"),
            f"runaway {shape}", f"{code} {text[-600:]!r} {err[-500:]!r}")

# A library function whose text recurses through a circular value stops at the depth guard, as
# the text does; its twin declines that value once, not again at every level of the recursion.
code, out, err = run(binary, b"(setq c (list 1 2))\n(rplacd (cdr c) c)\n(copy c)\nabort\nabort\n"
                     b"abort\n(length (copy '(1 (2) 3)))\n")
text = out.decode()
t.check(code == 0 and not quiet(err) and "[3]エラー: 再帰が深すぎます\n" in text and
        text.rstrip("[]0123456789*").endswith("]3\n"),
        "COPY of a circular list", f"{code} {text[-600:]!r}")

# Live data filling the cells: freeing the global in the debug loop lets the session go on,
# and a collection finds the pool back to normal.
code, out, err = run(binary, b"(setq g nil)\n(loop (setq g (cons (list 1 2 3) g)))\n(setq g nil)\n"
                     b"abort\n(gc)\n(length (let ((l nil)) (dotimes (i 100000) (setq l (cons i l))) l))\n(length g)\n")
text = out.decode()
t.check(code == 0 and not quiet(err) and "エラー: セル領域が一杯です\n" in text and
        text.endswith("[4]100000\n[5]0\n[6]") and "終了します" not in text,
        "freeing a global after the cells ran short", f"{code} {text[-600:]!r}")

# A legitimate deep recursion that keeps an integer per level completes: its return path
# collects when the pool runs short.
code, out, err = run(binary, b"(defun cnt (n) (if (= n 0) 0 (1+ (cnt (1- n)))))\n(cnt 1000000)\n")
t.check(code == 0 and not quiet(err) and (out.endswith(b"1000000\n[3]") or "再帰が深すぎます".encode() in out),
        "a million-deep recursion", f"{code} {out[-300:]!r}")

# A runaway recursion in a program file stops at the depth guard in bounded memory, and its
# backtrace on standard error keeps the innermost and the outermost calls, saying how many it
# left out. The sanitizers' shadow memory is not the program's: their build skips the bound.
def run_file(args, text):
    """Runs text as a program file: status, standard output and error, peak memory in kB."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "prog.lisp")
        with open(path, "wb") as fh:
            fh.write(text)
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = subprocess.Popen([os.path.abspath(binary)] + args + [path], stdout=out,
                                    stderr=err)
            _, status, usage = os.wait4(proc.pid, 0)
            out.seek(0)
            err.seek(0)
            return os.waitstatus_to_exitcode(status), out.read(), err.read(), usage.ru_maxrss


RUNAWAY = b"(defun inf (n) (1+ (inf n)))\n(inf 1)\n"
code, out, err, kb = run_file([], RUNAWAY)
lines = err.decode().splitlines()
t.check(code == 1 and out == "エラー: 再帰が深すぎます\n".encode() and len(lines) == 2 + 20 + 1 + 5 and
        lines[0].endswith("prog.lisp:2: (inf 1)") and  # the failed form: where the guard tripped
        lines[1].startswith("詳細: 失敗した式 (") and lines[1].endswith(" ((INF 1) の中)") and
        lines[2].startswith("0: (") and lines[21] == "19: (INF 1)" and lines[22].startswith("...: ") and
        lines[23].split(":")[0] == str(int(lines[22].split(":")[1].split("個")[0]) + 20),
        "a runaway recursion's backtrace: the innermost 20 and the outermost 5 calls",
        f"{code} {out!r} {err[-2000:]!r}")
sanitized = b"__asan" in open(binary, "rb").read()
if not sanitized:
    t.check(kb < 256 * 1024, "a runaway recursion stops well within 256 MB", f"{kb} kB")

# Legitimate deep recursion: a plain function 100,000 deep, and 10,000 levels through MAPCAR,
# FUNCALL and APPLY callbacks; --stack gives a program more room, or less.
DEEP = (b"(defun d (n) (if (= n 0) 0 (1+ (d (1- n)))))\n(print (d 100000))\n"
        b"(defun m (n) (if (= n 0) 0 (1+ (car (mapcar #'(lambda (x) (m (1- x))) (list n))))))\n"
        b"(print (m 10000))\n"
        b"(defun fc (n) (if (= n 0) 0 (1+ (funcall #'(lambda (x) (fc (1- x))) n))))\n(print (fc 10000))\n"
        b"(defun ap (n) (if (= n 0) 0 (1+ (apply #'(lambda (x) (ap (1- x))) (list n)))))\n"
        b"(print (ap 10000))\n")
code, out, err, _ = run_file([], DEEP)
t.check(code == 0 and out == b"\n100000 \n10000 \n10000 \n10000 " and not err,
        "deep recursion within the default limit", f"{code} {out!r} {err[-500:]!r}")
code, out, err, _ = run_file(["--stack", "8"], DEEP)
t.check(code == 1 and out == "エラー: 再帰が深すぎます\n".encode(), "--stack 8 is too little for it",
        f"{code} {out!r}")
if not sanitized:  # whose frames are several times larger
    code, out, err, _ = run_file(["--stack", "600"], b"(defun d (n) (if (= n 0) 0 (1+ (d (1- n)))))\n"
                              b"(print (d 1000000))\n")
    t.check(code == 0 and GC_LINE.sub(b"", out) == b"\n1000000 ", "--stack 600: a million deep",
            f"{code} {out!r} {err[-300:]!r}")
for bad in ["0", "-5", "12x", "99999999999999999999"]:
    code, out, err, _ = run_file(["--stack", bad], b"(print 1)\n")
    t.check(code == 2 and out.decode().startswith(f"エラー: --stack {bad}: 1から"), f"--stack {bad} refused",
            f"{code} {out!r}")

# Printing a value that shares structure would go on for ever: SIGTERM ends it at once with
# 143, the program's open file flushed and closed; without a terminal Ctrl-C ends it with 130.
# EQUAL of two such values walks as long: SIGTERM ends it too.
for sig, status, walk in [(signal.SIGTERM, 143, b"(print x)"), (signal.SIGINT, 130, b"(print x)"),
                          (signal.SIGTERM, 143, b"(equal x (list x))")]:
    with tempfile.TemporaryDirectory() as folder:
        proc = subprocess.Popen([os.path.abspath(binary)], stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=folder)
        proc.stdin.write(b"(setq s (open \"kept.txt\" :direction :output))\n(print 'kept s)\n"
                         b"(setq x (list 'a))\n(dotimes (i 40) (setq x (cons x x)))\n" + walk + b"\n")
        proc.stdin.flush()
        time.sleep(1)  # the walk has started
        proc.send_signal(sig)
        try:
            proc.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.communicate()
        with open(os.path.join(folder, "kept.txt"), "rb") as fh:
            kept = fh.read()
        t.check(proc.returncode == status and kept == b"\nKEPT ",
                f"signal {sig} stops {walk.decode()}", f"{proc.returncode} {kept!r}")

t.finish()
