"""Differential test of the library's native twins: random programs of library calls run with
the twins on and with ZELKORA_TWINS=0 (the library's texts alone) must print the same bytes,
collector reports aside. Usage: twins.py BINARY [COUNT [SEED]]."""
import os
import random
import re
import subprocess
import sys

from common import Checker

binary = os.path.abspath(sys.argv[1])
count = int(sys.argv[2]) if len(sys.argv) > 2 else 60
seed = int(sys.argv[3]) if len(sys.argv) > 3 else 20261207
GC = re.compile(rb"gc: [^\n]*\n")

PRELUDE = """(setq abort 'abort)
(defun noisy (a b) (prin1 (list 'test a b)) (eql a b))
(defun failing (a b) (car a))
(defun leaving (a b) (throw 'out (list 'left a b)))
(defun one (x) (list x))
(defun two (x y) (cons y x))
(defun bad-arity (x y z) x)
(setq h (make-hash-table))
(setq hq (make-hash-table :test #'eq))
(setq he (make-hash-table :test #'equal))
(setq circ (list 1 2 3))
(rplacd (cddr circ) circ)
"""

ATOMS = ["0", "1", "-1", "7", "2147483647", "-2147483648", "1.5", "-0.5", "0.0", "1/2", "-3/4",
         "#\\a", "#\\b", "\"ab\"", "\"\"", "\"ab\"", "'x", "'y", "nil", "t", ":test"]


def atom(r):
    return r.choice(ATOMS)


def lst(r, depth=0, circular=False):
    kind = r.random() if circular else r.random() * 0.85
    n = r.randint(0, 6)
    items = [value(r, depth + 1) if r.random() < 0.3 else atom(r) for _ in range(n)]
    if kind < 0.7 or not items:
        return "(list " + " ".join(items) + ")"
    if kind < 0.85:
        return "'(" + " ".join(i.lstrip("'") for i in items) + " . " + atom(r).lstrip("'") + ")"
    return "circ"


def alist(r):
    pairs = ["(cons %s %s)" % (atom(r), atom(r)) for _ in range(r.randint(0, 5))]
    if r.random() < 0.1:
        pairs.append(atom(r))
    return "(list " + " ".join(pairs) + ")"


def value(r, depth=0):
    if depth > 2 or r.random() < 0.5:
        return atom(r)
    return lst(r, depth)


def fn(r, arity):
    choices = ["#'eql", "#'eq", "#'noisy", "#'failing", "#'leaving", "#'bad-arity", "#'equal",
               "#'(lambda (a b) (prin1 a) (equal a b))", "#'string-equal", "#'cons", "#'list",
               "#'char=", "#'<", "'car"]
    if arity == 1:
        choices = ["#'one", "#'car", "#'1+", "#'atom", "#'list", "#'null", "#'reverse",
                   "#'(lambda (x) (prin1 x) x)", "#'failing", "(lambda (x) (throw 'out x))",
                   "#'not", "#'two"]
    return r.choice(choices)


# SORT may call its test in another order than the text, with the same result for a strict
# order: its lists hold numbers whose differences do not wrap, so < is one.
def numbers(r):
    return "(list " + " ".join(r.choice(["0", "1", "-1", "7", "3", "100000", "-100000",
                                          "1.5", "-0.5", "2"]) for _ in range(r.randint(0, 9))) + ")"


def call(r):
    k = r.randrange(26)
    if k == 22:
        return "(let ((x %s)) (list (remove %s x%s) x))" % (lst(r), atom(r), r.choice(
            ["", " :test %s" % fn(r, 2), " :count %s" % r.choice(["0", "1", "2", "-1", "1.5"]),
             " :count 1 :test %s" % fn(r, 2), " :test"]))
    if k == 23:
        return "(let ((x %s)) (list (delete %s x%s) x))" % (lst(r), atom(r), r.choice(
            ["", " :test %s" % fn(r, 2), " :count %s" % r.choice(["0", "1", "2"]),
             " :test %s :count 1" % fn(r, 2)]))
    if k == 24:
        seq = r.choice([lst(r), "\"abcdef\"", "\"\"", "'(1 2 . 3)", atom(r)])
        return "(subseq %s %s)" % (seq, r.choice(["0", "1", "2", "3", "-1", "1.0", "0 2", "1 1",
                                                  "2 1", "1 3", "0 7", "2 'a"]))
    if k == 25:
        return "(let ((x %s) (y %s)) (list (nconc x %s y %s) x y))" % (
            r.choice([lst(r), "nil", "5"]), r.choice([lst(r), "nil"]), r.choice(["nil", "(list 9)", "7"]),
            r.choice(["nil", "(list 8)", "x", "y"]))
    v, l = value, lst
    if k == 0:
        return "(%s %s %s)" % (r.choice(["<", ">", "<=", ">="]), atom(r), atom(r))
    if k == 1:
        return "(%s %s)" % (r.choice(["not", "zerop", "listp", "first", "rest", "last"]),
                            r.choice([v(r), "circ"]))
    if k == 2:
        return "(equal %s %s)" % (v(r), v(r))
    if k == 3:
        return "(%s %s)" % (r.choice(["cadr", "cddr", "caar", "cdar", "caddr", "cdadr", "cadddr",
                                      "cddddr", "second", "third", "tenth"]), l(r))
    if k == 4:
        return "(nth %s %s)" % (r.choice(["0", "1", "2", "5", "1.0", "'a"]), l(r, 0, True))
    if k == 5:
        return "(nthcdr %s %s)" % (r.choice(["0", "1", "3", "-2", "'a"]),
                                   l(r, 0, True))
    if k == 6:
        return "(append1 %s %s)" % (l(r), v(r))
    if k == 7:
        return "(append %s)" % " ".join(l(r) for _ in range(r.randint(0, 3)))
    if k == 8:
        return "(%s %s)" % (r.choice(["reverse", "reverse1"]), r.choice([l(r), atom(r)]))
    if k == 9:
        return "(member %s %s)" % (atom(r), l(r))
    if k == 10:
        return "(member %s %s :test %s)" % (atom(r), l(r), fn(r, 2))
    if k == 11:
        return "(assoc %s %s)" % (atom(r), alist(r))
    if k == 12:
        return "(assoc %s %s :test %s)" % (atom(r), alist(r), fn(r, 2))
    if k == 13:
        return "(mapcar %s %s)" % (fn(r, 1), l(r))
    if k == 14:
        return "(mapcar %s %s %s)" % (fn(r, 2), l(r), l(r))
    if k == 15:
        return "(mod %s %s)" % (atom(r), atom(r))
    if k == 16:
        return "(catch 'out (list (mapcar %s %s)))" % (fn(r, 1), l(r))
    if k == 17:
        return "(catch 'out (member %s %s :test %s))" % (atom(r), l(r), fn(r, 2))
    if k == 18:
        return "(block b (mapcar #'(lambda (x) (return-from b x)) %s))" % l(r)
    if k == 19:
        return "(list (reverse %s) (multiple-value-list (values 1 2)))" % v(r)
    if k == 20:
        return "(let ((x %s)) (list (sort x %s) x))" % (numbers(r), r.choice(
            ["#'<", "#'>", "#'(lambda (a b) (< b a))", "#'<="]))
    pairs = "(list " + " ".join("(list %s 'k%d)" % (r.choice(["1", "2", "3", "0.5"]), i)
                                for i in range(r.randint(0, 7))) + ")"
    return "(let ((x %s)) (list (sort x #'< :key #'car) x))" % pairs


def table_call(r, table, keys):
    key = r.choice(keys)
    return r.choice([
        "(setf (gethash %s %s) %s)" % (key, table, atom(r)),
        "(setf (gethash %s %s) %s)" % (key, table, atom(r)),
        "(multiple-value-list (gethash %s %s))" % (key, table),
        "(multiple-value-list (gethash %s %s))" % (key, table),
        "(remhash %s %s)" % (key, table),
        "(list (hash-table-count %s) %s)" % (table, table),
        "(let ((e (cddr %s))) (if e (rplacd (cdr %s) (cdr e))) %s)" % (table, table, table),
        "(make-hash-table %s)" % r.choice(["", ":test #'equal", ":test", "1 2"]),
    ])


def run(program, twins):
    env = dict(os.environ)
    env["ZELKORA_TWINS"] = "1" if twins else "0"
    p = subprocess.run([binary], input=program.encode(), stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, timeout=120, env=env)
    return p.returncode, GC.sub(b"", p.stdout), p.stderr


t = Checker()
r = random.Random(seed)
for i in range(count):
    if i % 2:
        table = r.choice(["h", "hq", "he"])
        keys = r.sample(["1", "2", "'a", "'b", "1.5", "#\\a", "\"ab\"", "(/ 1.0 3)", "1/2",
                         "'(1 2)", "-0.0", "0.0"], 4)
        forms = [table_call(r, table, keys) for _ in range(25)]
    else:
        forms = [call(r) for _ in range(25)]
    program = PRELUDE + "".join(f + "\nabort\nabort\n" for f in forms) + "(list h hq he)\n"
    on, off = run(program, True), run(program, False)
    t.check(on == off and not on[2], f"program {i} (seed {seed})",
            program + "\n--- twins on ---\n" + on[1].decode(errors="replace")[-1500:] +
            "\n--- texts ---\n" + off[1].decode(errors="replace")[-1500:])
t.finish()
