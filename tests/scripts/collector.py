"""The collector: its report line, its counts, and values that must survive it."""
import sys

from common import BANNER, GC_LINE, Checker, run

binary = sys.argv[1]
t = Checker()

# (GC) at start reports the start-up data in use, a blank in the last place, and returns T.
code, out, err = run(binary, b"(gc)\n(gc)\n")
reports = GC_LINE.findall(out)
t.check(code == 0 and not err and len(reports) == 2, "two reports", repr(out))
if len(reports) == 2:
    t.check(reports[0][3] == b" ", "no wrap at start", repr(reports[0]))
    t.check(int(reports[0][0]) > 1000, "start-up cells are in use", repr(reports[0]))
    t.check(reports[0] == reports[1], "a second collection finds the same data", repr(reports))
    t.check(out.startswith(BANNER + b"[1]gc: ") and b"\nT\n[2]gc: " in out, "report then T", repr(out))

# Garbage is reclaimed; a list still bound survives any number of collections.
prog = b"""(defun build (n) (let ((l nil)) (dotimes (i n) (setq l (cons i l))) l))
(setq keep (build 300000))
(gc)
(setq junk (build 300000))
(setq junk nil)
(gc)
(length keep)
(car keep)
"""
code, out, err = run(binary, prog)
reports = GC_LINE.findall(out)
t.check(code == 0 and not err, "build lists", repr(out[-500:]) + repr(err[-2000:]))
t.check(len(reports) >= 2, "collections ran", repr(out[-500:]))
if len(reports) >= 2:
    t.check(reports[-1][0] == reports[-2][0] or int(reports[-1][0]) <= int(reports[-2][0]) + 50,
            "dropped list reclaimed", repr(reports))
t.check(out.endswith(b"300000\n[8]299999\n[9]"), "kept list intact", repr(out[-200:]))

# Forms that protect an empty values list on the cell stack (PROG1 of a single value) leave
# nothing behind: once they return, a collection finds what it found before.
code, out, err = run(binary, b"(gc)\n(dotimes (i 1000) (prog1 (list i 2 3) 1))\n(gc)\n")
reports = GC_LINE.findall(out)
t.check(code == 0 and len(reports) == 2 and reports[0] == reports[1],
        "no cells kept after PROG1", repr(reports))

# Allocation wraps the cell pool: from then on every report shows '*'.
prog = b"""(defun churn (n) (dotimes (i n) (list 1 2 3 4 5 6 7 8 9 10)))
(churn 400000)
(gc)
"""
code, out, err = run(binary, prog)
reports = GC_LINE.findall(out)
t.check(code == 0 and len(reports) >= 2, "churn collects", repr(out[-300:]))
if reports:
    t.check(reports[-1][3] == b"*", "wrapped pool is marked", repr(reports[-3:]))

# Closures and lists made and dropped while many collections run keep giving right results.
prog = b"""(defun make (k) (let ((n k)) (lambda (x) (setq n (+ n x)))))
(defun stress (count) (let ((sum 0) (f nil)) (dotimes (i count) (setq f (make i)) (setq sum (+ sum (funcall f 1))) (setq sum (- sum (length (list i i i))))) sum))
(stress 200000)
(setq keep (make 100))
(stress 200000)
(funcall keep 5)
(funcall keep 5)
"""
code, out, err = run(binary, prog)
reports = GC_LINE.findall(out)
expected = sum(i + 1 - 3 for i in range(200000)) % 2**32
expected = expected - 2**32 if expected >= 2**31 else expected  # integers wrap at 32 bits
t.check(code == 0 and not err, "closure stress runs", repr(out[-300:]) + repr(err[-2000:]))
t.check(len(reports) >= 2, "closure stress collects", repr(len(reports)))
text = GC_LINE.sub(b"", out)
t.check(text.count(str(expected).encode() + b"\n") == 2, "closure stress sums", repr(text[-300:]))
t.check(text.endswith(b"105\n[7]110\n[8]"), "closure kept across collections", repr(text[-100:]))

# Values held only by a pending THROW survive a collection in a cleanup form.
prog = b"""(catch 'a (unwind-protect (throw 'a (list 1 2 3)) (gc) (dotimes (i 200000) (list i))))
"""
code, out, err = run(binary, prog)
text = GC_LINE.sub(b"", out)
t.check(code == 0 and text.endswith(b"[1](1 2 3)\n[2]"), "throw value kept", repr(text[-200:]))

t.finish()
