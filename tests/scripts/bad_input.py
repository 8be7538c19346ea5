"""Bad input at the prompt: the documented message or a sound one, never a crash or hang."""
import os
import random
import re
import subprocess
import sys
import tempfile

from common import BANNER, Checker, quiet, run

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "doc"))
import operators  # noqa: E402  the operators' and library's names, as the README's table has them

binary = sys.argv[1]
t = Checker()
GC_ANY = re.compile(rb"gc: [^\n]*\n")


# Standard error holds nothing but where a LOADed file's form failed: "FILE:LINE: text".
WHERE = re.compile(rb"(rand\.lisp:[0-9]+: [^\n]*\n)*")


def sound(code, err):
    return code in (0, 1) and WHERE.fullmatch(quiet(err)) is not None


def case(title, data, expect_in=None, expect_end=None, status=0, timeout=300):
    with tempfile.TemporaryDirectory() as tmp:
        try:
            code, out, err = run(binary, data, cwd=tmp, timeout=timeout)
        except subprocess.TimeoutExpired:
            return t.check(False, title, f"no end after {timeout} s")
    ok = code == status and not quiet(err)
    if expect_in is not None:
        ok = ok and expect_in in out
    if expect_end is not None:
        ok = ok and out.endswith(expect_end)
    t.check(ok, title, f"status {code}\nstdout tail: {out[-400:]!r}\nstderr: {err[-2000:]!r}")


E_LONG = "エラー: S式が長過ぎます。".encode()
E_REWRITE = "エラー: Ｓ式が長すぎます".encode()
E_CLOSE = "エラー: )が多すぎます。".encode()
DEBUG = "デバッグモードに入りました。\nABORTと入力すれば抜けられます。\n".encode()

case("NUL bytes are dropped", b"(list 1\x00 2\x00)\n", expect_end=b"[1](1 2)\n[2]")
case("a 1 MB line inside a list is refused, its rest dropped, and the session goes on",
     b"(list " + b"a" * 1000000 + b")\n(+ 1 2)\nabort\n(+ 3 4)\n",
     expect_end=b"[1]" + E_LONG + b"\n" + DEBUG + b"*[1]3\n*[2][2]7\n[3]")
# A line reaches the reader whole, so an atom line longer than a form is refused as one.
case("a 1 MB atom line is refused whole", b"a" * 1000000 + b"\n'ok\n",
     expect_end=b"[1]" + E_LONG + b"\n" + DEBUG + b"*[1]OK\n*[2]")
case("a form longer than the limit over many lines",
     b"(list\n" + b"1 2 3 4 5 6 7 8 9\n" * 1200 + b")\nabort\n'ok\n",
     expect_in=E_LONG, expect_end=b"OK\n*[92]")
case("a rewritten form reaching the limit is an error and the session goes on",
     b"(list " + b"'a " * 2900 + b")\nabort\n'ok\n",
     expect_end=b"[1]" + E_REWRITE + b"\n" + DEBUG + b"*[1][2]OK\n[3]")
# READ-LINE takes a line whole, however long: no byte of it is ever read as a form.
case("a 30,000-byte line READ-LINE takes at the prompt never runs as code",
     b"(progn (setq r (read-line)) (length r))\n" + b"x" * 19998 + b"(print (quote injected))"
     + b"y" * 9978 + b"\n(char r 29999)\n",
     expect_end=b"[1]30000\n[2]#\\y\n[3]")
case("a line too long for the cells is refused after it was read whole",
     b"(read-line)\n" + b"(print 'injected)" * 120000 + b"\n'ok\nabort\n(read-line)\nnext\n",
     expect_end=b"[1]" + "エラー: セル領域が一杯です".encode() + b"\n" + DEBUG
     + b"*[1]OK\n*[2][2]\"next\" ;\nNIL\n[3]")
# A form left open at the end of input is reported, not dropped, and the run fails.
OPEN_AT_END = "[1]エラー: 括弧の数が合いません。\n".encode()
case("unbalanced parentheses at the end of input", b"(((\n", expect_end=OPEN_AT_END, status=1)
case("an unterminated string at the end of input", b"\"abc\n", expect_end=OPEN_AT_END, status=1)
case("stray closing parentheses", b"))))\nabort\n'ok\n",
     expect_end=b"[1]" + E_CLOSE + b"\n" + DEBUG + b"*[1][2]OK\n[3]")
case("a lone #\\ at the end of input", b"#\\", expect_in=b"[1]")
case("a lone #\\ inside a list at the end of input", b"(list #\\", expect_end=OPEN_AT_END,
     status=1)
case("prefix characters alone wait for a datum", b"'\n''\n`\n,\n'x\n", expect_end=b"\n[2]")
case("lists nested 9000 deep by the reader",
     b"'" + b"(" * 9000 + b")" * 9000 + b"\n",
     expect_end=b"(" * 8999 + b"NIL" + b")" * 8999 + b"\n[2]")
case("a list nested 100000 deep through its car is built, collected and printed",
     b"(setq x nil)\n(dotimes (i 100000) (setq x (list x)))\n(gc)\nx\n(length x)\n",
     expect_end=b"(" * 100000 + b"NIL" + b")" * 100000 + b"\n[5]1\n[6]")
# Its innermost call answers, the next fails: each level on the way down does not walk the
# calls inside it again (quadratic: minutes), nor overflow the machine stack doing so.
case("a failing call nested 200000 deep is evaluated once",
     b"(setq x 0)\n(dotimes (i 200000) (setq x (list 'zerop x)))\n(eval x)\nabort\n'done\n",
     expect_end=b"*[1][4]DONE\n[5]", timeout=60)
case("a very long list prints", b"(setq l nil)\n(dotimes (i 200000) (setq l (cons i l)))\n(length l)\n",
     expect_end=b"[3]200000\n[4]")
# The printer reaches an array's contents past the cons of its element type: a cycle through that
# cons is labelled where the printer meets it, not printed without end.
case("an array holding itself, printed through the cons of its element type",
     b"(setq x (make-array 1))\n(setf (aref x 0) x)\n(array-cdr x)\n",
     expect_end=b"[3](ALL . #1=(#A#1#))\n[4]")
# Memory filled twice by recursions, the second in the first one's debug loop: leaving it unwinds
# the recursion with a pool at its reserve, which must not collect once a level (a minute and more).
case("ABORT out of a recursion that filled memory from a debug loop returns promptly",
     b"(setq big nil)\n(dotimes (i 1590000) (setq big (cons i big)))\n"
     b"(defun f (n) (cons 0 (f (1- n))))\n(f 0)\n(f 0)\nabort\n(f 0)\nabort\nabort\n"
     b"(setq big nil)\n'ok\n", expect_end=b"**[1]*[3][5]NIL\n[6]OK\n[7]", timeout=8)
case("bytes above 0x7f in symbols and strings",
     bytes([0x28, 0x6c, 0x69, 0x73, 0x74, 0x20, 0x27, 0xff, 0xfe, 0x20, 0x22, 0x80, 0x22, 0x29, 0x0a]),
     expect_end=b"[1](\xff\xfe \"\x80\")\n[2]")

# Random bytes, and random fragments of Lisp, must never crash, hang or damage the heap.
pieces = [b"(", b")", b"'", b"`", b",", b",@", b"\"", b"#\\", b"#'", b" ", b"\n", b"abort\n",
          b"car", b"(defun f (x) (f x))", b"(f 1)", b"nil", b"1/0", b"(values 1 2)", b"(gc)",
          b"(setq a", b"(rplacd a a)", b"(list a a)", b"(let ((x 1)) x", b";", b"\t", b"\r",
          b"(throw 'x 1)", b"(catch 'x", b"(block b (return-from b", b"(prog** (i) l (go l))",
          b"(1+ 'a)", b"(/ 1 0)", b"1.5e999", b"-2147483648/-1", b"(expt 2 100)"]
for seed in range(6):
    rng = random.Random(seed)
    if seed % 2:
        data = bytes(rng.randrange(256) for _ in range(20000))
    else:
        data = b"".join(rng.choice(pieces) for _ in range(3000))
    with tempfile.TemporaryDirectory() as tmp:
        code, out, err = run(binary, data, cwd=tmp)
    t.check(sound(code, err) and out.startswith(BANNER), f"random input seed {seed}",
            f"status {code}\nstderr: {err[-3000:]!r}")

# Dotted backquote tails and symbols made and dropped, among the same fragments (no endless
# PROG loop among them, so every run ends).
symbol_pieces = [p for p in pieces if b"go l" not in p] + [
    b" . ,", b" . ,@", b"(gensym)", b"(make-symbol \"G\")", b"(dotimes (i 3000) (gensym))"]
for seed in range(3):
    rng = random.Random(50 + seed)
    data = b"".join(rng.choice(symbol_pieces) for _ in range(3000))
    with tempfile.TemporaryDirectory() as tmp:
        code, out, err = run(binary, data, cwd=tmp)
    t.check(sound(code, err) and out.startswith(BANNER), f"random backquote tails seed {seed}",
            f"status {code}\nstderr: {err[-3000:]!r}")

# Random bytes in a file, read by READ, READ-LINE and LOAD.
file_pieces = [b"(", b")", b"\"", b"#\\", b";", b"\n", b"'", b"`", b",@", b"abc", b"1/0", b" ",
               b"\r\n", b"(car 1)", b"nil", b"\\", b"\x00", b"\xff"]
for seed in range(4):
    rng = random.Random(100 + seed)
    if seed % 2:
        content = bytes(rng.randrange(256) for _ in range(5000))
    else:
        content = b"".join(rng.choice(file_pieces) for _ in range(2000))
    prog = (b'(setq s (open "rand.lisp"))\n(dotimes (i 300) (read s nil))\n(read-line s)\n'
            b'(close s)\n(load "rand.lisp")\n' + b"abort\n" * 50)
    with tempfile.TemporaryDirectory() as tmp:
        with open(f"{tmp}/rand.lisp", "wb") as fh:
            fh.write(content)
        code, out, err = run(binary, prog, cwd=tmp)
    t.check(sound(code, err) and out.startswith(BANNER), f"random file seed {seed}",
            f"status {code}\nstderr: {err[-3000:]!r}")

# A call whose argument's evaluation cuts short, ends in an atom or grows the list of argument
# forms still to come (its own, reached through SYMBOL-FUNCTION): every operator and library
# function, binding lists and backquote templates, twins on and off alike, and never a crash.
names = [n for n in sorted(operators.builtins()) + sorted(operators.library())
         if n not in ("BYE", "QUIT", "EXIT", "READ-LINE", "READ", "BREAK", "NOW", "RANDOM",
                      "LOCAL-TIME", "DEFUN", "DEFMACRO", "LOOP", "LOOP1")]  # LOOP never ends
calls = []
for name in names:
    for pos in (0, 1):
        path = "(cdr (caddr (caddr (symbol-function 'g))))"
        for _ in range(pos):
            path = "(cdr %s)" % path
        for cut in ("nil", "5", "(list 9 8 7)"):
            for args in (["1", "2", "3"], ["'(1 2)", "'(3 . 4)", "\"ab\""]):
                args = list(args)
                args[pos] = "(progn (rplacd %s %s) %s)" % (path, cut, args[pos])
                calls.append("(defun g () (%s %s))\n(g)\nabort\nabort\n" % (name.lower(), " ".join(args)))
# Binding lists and backquote templates cut short or grown the same way.
BODY = "(caddr (caddr (symbol-function 'g)))"
for cut in ("nil", "5", "(list 9 8 7)", "(list '(d 4) '(e 5))"):
    for form in ("(let ((a (progn (rplacd (cadr B) C) 1)) (b 2) (c 3)) (list a b))",
                 "(let* ((a (progn (rplacd (cadr B) C) 1)) (b 2) (c 3)) (list a b))",
                 "(let ((a (progn (rplacd (car (cadr B)) C) 1))) a)",
                 "(cond ((progn (rplacd (cadr B) C) t) 1) (t 2))",
                 "`(1 ,(progn (rplacd (cdr (cadr B)) C) 2) 3)",
                 "`(1 ,@(progn (rplacd (cddr (cadr B)) C) (list 2)) 3)",
                 "`(1 . ,(progn (rplacd (cdr (cadr B)) C) 2))"):
        calls.append("(defun g () %s)\n(g)\nabort\nabort\n" % form.replace("B", BODY).replace("C", cut))
program = ("".join(calls) + "'end\n").encode()
outs = []
for twins in ("1", "0"):
    os.environ["ZELKORA_TWINS"] = twins
    with tempfile.TemporaryDirectory() as tmp:
        code, out, err = run(binary, program, cwd=tmp)
    outs.append(GC_ANY.sub(b"", out))
    t.check(code == 0 and not quiet(err) and re.search(rb"\[\d+\]END\n\**\[\d+\]$", out) is not None,
            f"calls changing their own argument list, twins {twins}",
            f"status {code}\nstdout tail: {out[-600:]!r}\nstderr: {err[-2000:]!r}")
del os.environ["ZELKORA_TWINS"]
t.check(outs[0] == outs[1], "calls changing their own argument list: twins on and off alike")

t.finish()
