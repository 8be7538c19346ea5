"""Differential test of the library's native twins: random programs of library calls and of
library macros (run, and expanded with MACROEXPAND on random argument lists) run with the twins
on and with ZELKORA_TWINS=0 (the library's texts alone) must print the same bytes, collector
reports aside. The programs try what breaks fast paths: MULTIPLE-VALUE-LIST around calls and
values in their arguments, callbacks that change the list being walked, collect, allocate,
throw or redefine a library function, hash tables sharing conses with each other and with
definitions, and every twin called after one of the names its text reaches was redefined to
print. Usage: twins.py BINARY [COUNT [SEED]]: COUNT programs of calls and half as many of
macros, of disturbances and of redefinitions."""
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

from common import Checker, quiet

binary = os.path.abspath(sys.argv[1])
# --seconds N: new seeds, 100 programs of each kind at a time, until N seconds have passed.
budget = float(sys.argv[3]) if len(sys.argv) > 3 and sys.argv[2] == "--seconds" else None
count = 100 if budget else int(sys.argv[2]) if len(sys.argv) > 2 else 60
seed = int(sys.argv[3]) if len(sys.argv) > 3 and not budget else 20261207
GC = re.compile(rb"gc: [^\n]*\n")
# BACKTRACE's lines after its first (the failed form): the calls and LET frames around it, which
# differ where a twin called the failing test or function in place of its text's recursion.
ACTIVATIONS = re.compile(rb"^[1-9][0-9]*: [^\n]*\n", re.M)
# The build that collects at every step reuses every freed cell at once: a little allocation
# in a callback is enough there, and thousands of conses would each cost a collection.
STRESS = os.environ.get("ZELKORA_STRESS") == "1"
churn = "40" if STRESS else "3000"

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
(setq hd (list 'hash-table 'eql (cons 1 'a) (cons 2 'b) (cons 1 'c) (cons 'a 'd) (cons 2 'e)
               (cons 1 'f)))
(setq n3 3)
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


def arith(r):
    """+, -, 1+ or 1- on atoms, whose step the evaluator may take in place where a value is read."""
    def a():
        return r.choice([atom(r), "n3", "zz", "0", "1", "-1", "7", "2147483647", "-2147483648",
                         "1/2", "1.5"])
    if r.random() < 0.5:
        return "(%s %s %s)" % (r.choice(["+", "-"]), a(), a())
    return r.choice(["(1+ %s)", "(1- %s)", "(+ %s)", "(- %s 1 2)"]) % a()


def fn(r, arity):
    choices = ["#'eql", "#'eq", "#'noisy", "#'failing", "#'leaving", "#'bad-arity", "#'equal",
               "#'(lambda (a b) (prin1 a) (equal a b))", "#'string-equal", "#'cons", "#'list",
               "#'char=", "#'<", "'car", "#'prog1", "#'(lambda (a b) (return-from nil 'rf))"]
    if arity == 1:
        choices = ["#'one", "#'car", "#'1+", "#'atom", "#'list", "#'null", "#'reverse",
                   "#'(lambda (x) (prin1 x) x)", "#'failing", "(lambda (x) (throw 'out x))",
                   "#'not", "#'two", "#'quote", "#'progn", "#'(lambda (x) (return-from nil x))"]
    return r.choice(choices)


def keywords(r, counting):
    """Keyword arguments of MEMBER, ASSOC and FIND (and with `counting`, REMOVE and DELETE):
    :KEY, :TEST-NOT, both with :TEST, repeated ones, and ones refused (unknown, or no value)."""
    forms = [":key %s" % fn(r, 1), ":test-not %s" % fn(r, 2),
             ":key %s :test %s" % (fn(r, 1), fn(r, 2)), ":test-not %s :key #'car" % fn(r, 2),
             ":key nil :test-not nil", ":test %s :test-not %s" % (fn(r, 2), fn(r, 2)),
             ":key #'car :key %s" % fn(r, 1), ":start 0", ":key", "5 6", ":test #'eql :from"]
    if counting:
        forms += [":from-end t :count %s" % r.choice(["0", "1", "2", "-1", "1.5"]),
                  ":count 1 :from-end %s :key %s" % (r.choice(["t", "nil"]), fn(r, 1)),
                  ":from-end t", ":count 2 :test-not %s" % fn(r, 2), ":count 1 :from-end"]
    return forms


# SORT may call its test in another order than the text, with the same result for a strict
# order: its lists hold numbers whose differences do not wrap, so < is one.
def numbers(r):
    return "(list " + " ".join(r.choice(["0", "1", "-1", "7", "3", "100000", "-100000",
                                          "1.5", "-0.5", "2"]) for _ in range(r.randint(0, 9))) + ")"


def call(r):
    k = r.randrange(27)
    if k == 26:  # the texts read NIL and T as variables, which a program may assign
        return ("(let ((r (progn (setq %s 5) (list (not %s) (listp %s) (member 9 (list 1)) "
                "(< 1 2) (mapcar #'atom (list 1))))))  (setq nil 'nil) (setq t 't) r)"
                % (r.choice(["nil", "t"]), atom(r), atom(r)))
    if k == 22:
        return "(let ((x %s)) (list (remove %s x%s) x))" % (lst(r), atom(r), r.choice(
            ["", " :test %s" % fn(r, 2), " :count %s" % r.choice(["0", "1", "2", "-1", "1.5"]),
             " :count 1 :test %s" % fn(r, 2), " :test"] + keywords(r, True)))
    if k == 23:
        return "(let ((x %s)) (list (delete %s x%s) x))" % (lst(r), atom(r), r.choice(
            ["", " :test %s" % fn(r, 2), " :count %s" % r.choice(["0", "1", "2"]),
             " :test %s :count 1" % fn(r, 2)] + keywords(r, True)))
    if k == 24:
        seq = r.choice([lst(r), "\"abcdef\"", "\"\"", "'(1 2 . 3)", atom(r)])
        return "(subseq %s %s)" % (seq, r.choice(["0", "1", "2", "3", "-1", "1.0", "0 2", "1 1",
                                                  "2 1", "1 3", "0 7", "2 'a"]))
    if k == 25:
        return "(let ((x %s) (y %s)) (list (nconc x %s y %s) x y))" % (
            r.choice([lst(r), "nil", "5"]), r.choice([lst(r), "nil"]), r.choice(["nil", "(list 9)", "7"]),
            r.choice(["nil", "(list 8)", "x", "y"]))
    v, l = value, lst
    if k == 0:  # atoms alone take a short path: variables, an unbound one, a circular list too
        def a():
            return r.choice([atom(r), atom(r), "n3", "zz", "circ", arith(r)])
        return "(%s %s %s)" % (r.choice(["<", ">", "<=", ">=", "mod", "rem"]), a(), a())
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
        return "(%s %s %s %s)" % (r.choice(["member", "find"]), atom(r), l(r), r.choice(
            [":test %s" % fn(r, 2)] + keywords(r, False)))
    if k == 11:
        return "(assoc %s %s)" % (atom(r), alist(r))
    if k == 12:
        return "(assoc %s %s %s)" % (atom(r), alist(r), r.choice(
            [":test %s" % fn(r, 2)] + keywords(r, False)))
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
        if r.random() < 0.5:  # COPY: fresh conses, one reached twice copied twice, atoms shared
            return ("(let* ((y %s) (x (list y %s y))) (let ((c (copy x))) (list c (eq (car c) "
                    "(caddr c)) (eq (car c) y) (eq (cadr c) (cadr x)))))" % (v(r), v(r)))
        if r.random() < 0.5:  # CONSN: the element first, then copies of it, atoms shared
            return ("(let* ((y %s) (c (consn %s y))) (list c (eq (car c) y) (eq (cadr c) (caddr c)) "
                    "(eq (car (cadr c)) (car (caddr c)))))" % (
                        r.choice([v(r), "(list (list 1) 'z)"]),
                        r.choice(["0", "1", "3", "'a", "n3", "\"ab\"", "nil"])))
        return "(list (reverse %s) (multiple-value-list (values 1 2)))" % v(r)
    if k == 20:
        if r.random() < 0.5:  # any test, any elements: the text's calls in the text's order
            items = " ".join(r.choice(["1", "2", "3", "1.5", "'a", "'b", "nil", "(list 1)",
                                       "2147483647", "-2147483648", "\"s\"", "0"])
                             for _ in range(r.randint(0, 7)))
            return "(let ((x (list %s))) (list (sort x %s) x))" % (items, r.choice(
                ["#'<", "#'>", "#'<=", "#'>=", "#'equal", "#'eq", "#'eql", "#'string-equal",
                 "#'cons", "#'(lambda (a b) (< (car a) 5))", "#'(lambda (a b) (< a (1+ b)))",
                 "#'(lambda (a b) (prin1 a) (< a b))", "#'< :key #'car",
                 "#'< :key #'(lambda (x) (+ x 1))", "#'> :key #'(lambda (x) (- x))"]))
        return "(let ((x %s)) (list (sort x %s) x))" % (numbers(r), r.choice(
            ["#'<", "#'>", "#'(lambda (a b) (< b a))", "#'<="]))
    pairs = "(list " + " ".join("(list %s 'k%d)" % (r.choice(["1", "2", "3", "0.5"]), i)
                                for i in range(r.randint(0, 7))) + ")"
    return "(let ((x %s)) (list (sort x #'< :key #'car) x))" % pairs


# After each form: BACKTRACE, which shows the failed form and the calls around it when the form
# opened a debug loop, then ABORT out of it (ABORT is bound to itself for a form that did not).
END = "\n(backtrace)\nabort\nabort\n"


def tested(r, form):
    """The form as it often stands, read by a test (IF, COND, AND, OR) or as NOT's argument: a
    value twin's call there takes its step in place."""
    return r.choice([form, form, form, "(if %s 'yes 'no)" % form, "(cond (%s) (t 'none))" % form,
                     "(and %s 'both)" % form, "(or %s 'other)" % form, "(not %s)" % form,
                     "(if (not %s) 'no 'yes)" % form, "(if (< (progn %s 1) 2) 'lt 'ge)" % form,
                     "(if %s)" % form])


def table_call(r, table, keys):
    key = r.choice(keys)
    if r.random() < 0.15:  # tables that share their entries, and a table over a definition
        return r.choice([
            "(progn (setq hb (cons 'hash-table (cdr %s))) (list (gethash %s hb) (setf (gethash %s %s) 'x)"
            " (multiple-value-list (gethash %s hb)) (setf (gethash 'new hb) 'y) %s))"
            % (table, key, key, table, key, table),
            "(progn (setq hn (cons 'hash-table (cons 'eql (cdr (symbol-function '%s))))) (list"
            " (gethash 'n hn) (setf (gethash 'n hn) '(n)) (remhash 'block hn) (%s 1 (list 'a 'b 'c))))"
            % ((r.choice(["nth", "second", "nthcdr"]),) * 2),
            "(let ((e (list (cons %s 'shared)))) (setq hb (list 'hash-table 'eql)) (rplacd (cdr hb) e)"
            " (rplacd (cdr %s) (append (cddr %s) e)) (list (remhash %s hb) (gethash %s %s)"
            " (setf (gethash 'z %s) 1) hb))" % (key, table, table, key, key, table, table),
        ])
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


# ---- macros -------------------------------------------------------------------------------
# Half the macro programs never change a cons in place, so the twins' path for data that cannot
# be circular runs too; the other half start with a circular list, an array and a hash table.
MUTATING_PRELUDE = """(setq circ (list 1 2 3))
(rplacd (cddr circ) circ)
(setq h (make-hash-table))
(setq arr (make-array '(2 3)))
(setq l2 (list (list 1 2) (list 3 4 5) (list (list 6 7) 8) 9))
"""

SYMBOLS = ["x", "y", "nil", "t", "otherwise", "car", "cdr", "rest", "nth", "first", "second",
           "third", "tenth", "cadr", "caddr", "cdar", "cddr", "cddddr", "cadadr", "caar",
           "gethash", "aref", "foo", "label", "list", "count", "values", "setq", ":test"]
LITERALS = ["0", "1", "-1", "1.5", "1/2", "\"s\"", "#\\a"]
MACROS = ["prog", "return", "loop", "loop1", "dolist", "dotimes", "with-open-file", "lambda",
          "multiple-value-setq", "multiple-value-setq$", "multiple-value-bind", "case", "setf",
          "append"]


def sexp(r, depth=0):
    """A random datum: symbols, literals, lists proper and dotted."""
    if depth > 3 or r.random() < 0.45:
        return r.choice(SYMBOLS) if r.random() < 0.7 else r.choice(LITERALS)
    items = [sexp(r, depth + 1) for _ in range(r.randint(0, 4))]
    if items and r.random() < 0.15:
        return "(" + " ".join(items) + " . " + r.choice(SYMBOLS + LITERALS) + ")"
    return "(" + " ".join(items) + ")"


def args_for(r, name):
    """An argument list for the macro: mostly the shapes its text expects, often not."""
    if r.random() < 0.04:
        return ". " + r.choice(SYMBOLS + LITERALS)
    if r.random() < 0.25:
        items = [sexp(r) for _ in range(r.randint(0, 4))]
        tail = " . " + r.choice(SYMBOLS + LITERALS) if items and r.random() < 0.2 else ""
        return " ".join(items) + tail
    body = " ".join(sexp(r) for _ in range(r.randint(0, 3)))
    if name in ("dolist", "dotimes"):
        head = r.choice(["(x l)", "(x l r)", "(x l r extra)", "(x)", "x", "()", "(x l . r)",
                         "(x . l)", "((a b) l)", "(x l nil)"])
        return head + " " + body + (" . z" if r.random() < 0.1 else "")
    if name == "setf":
        place = r.choice(["x", "nil", "5", "\"s\"", "(car x)", "(cdr x)", "(rest x)",
                          "(nth 1 x)", "(nth 1)", "(first x)", "(tenth x y)", "(cadr x)",
                          "(caddr x)", "(cdar x)", "(cddddr x)", "(caaar x)", "(cdaddr x)",
                          "(gethash k h)", "(gethash k)", "(aref a 1 2)", "(aref a . 1)",
                          "(foo x)", "(car)", "((car) x)", "(5 x)", "(car . x)",
                          "(second x . y)", "(list x)", "(cons 1 2)"])
        value = r.choice(["1", "(prin1 2)", "y", "'(a b)"])
        return place + " " + value + r.choice(["", "", "", " extra", " . z"])
    if name == "case":
        clauses = " ".join(r.choice(["(1 a)", "((1 2) b)", "(otherwise c)", "(t d)", "(nil e)",
                                     "(x)", "((x . y) f)", "(\"s\" g)", "()", "5", "(1 . 2)",
                                     "((a) h i)"]) for _ in range(r.randint(0, 4)))
        return r.choice(["k", "(f k)", "1"]) + " " + clauses
    if name in ("multiple-value-bind", "multiple-value-setq", "multiple-value-setq$"):
        vars_ = r.choice(["(a b)", "(a)", "()", "a", "(a . b)", "(a b c)", "((a) b)"])
        vals = r.choice(["(values 1 2)", "(1 2)", "(1)", "()", "5", "(1 . 2)", "(f x)"])
        extra = body if name == "multiple-value-bind" else r.choice(["", "", " extra"])
        return vars_ + " " + vals + " " + extra
    if name == "with-open-file":
        return r.choice(["(s \"f\")", "(s \"f\" :direction :output)", "(s)", "s", "()",
                         "(s . \"f\")"]) + " " + body
    if name == "prog":
        return r.choice(["()", "(a b)", "a", "(a . b)"]) + " " + body
    return body


def expand(r, mutating):
    if mutating and r.random() < 0.1:
        # a circular datum inside the argument list (never along its spine)
        return r.choice(["(macroexpand (list 'dolist (list 'x 'l) circ))",
                         "(macroexpand (list 'setf (list 'car circ) circ))",
                         "(macroexpand (list 'case 'k (list 1 circ) (list circ 2)))",
                         "(macroexpand (list 'loop circ 'x))",
                         "(macroexpand (list 'prog circ circ))",
                         "(macroexpand (list 'multiple-value-setq$ '(a b) (list circ 2)))",
                         "(macroexpand (list 'multiple-value-bind '(a) circ circ))"])
    name = r.choice(MACROS)
    return "(marks (macroexpand '(%s %s)) 0)" % (name, args_for(r, name))


def seq(r):
    return r.choice(["(list 1 2 3)", "'(a b c d)", "nil", "'(1 . 2)", "5", "(list 'x nil 'y)",
                     "'((1 2) (3))", "(list 3 1 2 3)"])


def count_form(r):
    return r.choice(["0", "3", "-2", "5/2", "1.5", "'a", "(length '(1 2))", "(prin1 2)", "n3",
                     "unbound", "i", "-2147483648"])


def loop_body(r, var):
    """Statements of a PROG body: jumps go forward only, so every loop ends."""
    forms = [r.choice([
        "(setq acc (cons %s acc))", "(prin1 %s)", "(if (eql %s 3) (return 'three))",
        "(if (eql %s 2) (go skip))", "(if (eql %s 'b) (return))",
        "(if (equal %s 1) (return 'one 'extra))",
        "(case %s (1 (prin1 'one)) ((2 3) (prin1 'two-three)) (otherwise nil))",
        "(setf acc (cons (list %s) acc))",
        "(multiple-value-bind (q) (values %s 0) (setq acc (cons q acc)))",
        # the counter moved to the end of the integers, or off them
        "(if (eql %s 1) (setq %s 2147483645))", "(if (eql %s 2) (setq %s 'z))"]).replace("%s", var)
        for _ in range(r.randint(0, 3))]
    if any("(go skip)" in f for f in forms):
        forms.append("skip")
    return " ".join(forms)


def run_macro(r, mutating, path):
    """A macro form that is evaluated, so its expansion runs."""
    k = r.randrange(16)
    if k == 0:
        head = "(x %s%s)" % (seq(r), r.choice(["", " acc", " (length acc)", " x"]))
        return "(let ((acc nil)) (list (dolist %s %s) acc))" % (head, loop_body(r, "x"))
    if k == 1:
        head = "(i %s%s)" % (count_form(r), r.choice(["", " acc", " i", " (prin1 'done)"]))
        if r.random() < 0.2:  # counting up to the last integer, from near it
            head = "(i 2147483647 i)"
            return ("(let ((acc nil)) (list (dotimes %s (if (eql i 0) (setq i 2147483644)) %s)"
                    " acc))" % (head, loop_body(r, "i")))
        return "(let ((acc nil)) (list (dotimes %s %s) acc))" % (head, loop_body(r, "i"))
    if k == 2:
        return ("(let ((acc nil) (k 0)) (list (loop (setq k (1+ k)) %s (if (> k %d) (return k)))"
                " acc))" % (loop_body(r, "k"), r.randint(0, 4)))
    if k == 3:
        return ("(let ((acc nil)) (list (prog (p q) (setq p 1) top (setq q (cons p q)) %s"
                " (if (< p 3) (progn (setq p (1+ p)) (go top))) (return (list p q))) acc))"
                % loop_body(r, "p"))
    if k == 4:
        return "(block nil (prin1 0) (return%s) (prin1 1))" % r.choice(
            ["", " 5", " (values 1 2)", " 1 2", " . 5"])
    if k == 5:
        return ("(dolist (x '(1 2)) (dolist (y '(a b)) (prin1 (list x y)) (if (eq y 'b) "
                "(return))) (dotimes (i x) (prin1 i)))")
    if k == 6:
        key = r.choice(["1", "2", "'x", "\"s\"", "#\\a", "nil", "2.5", "(prin1 3)", "'(a)", "t"])
        clauses = " ".join(r.choice(["(1 'one)", "((2 3) 'two-three)", "(x 'ex)", "(nil 'nil-key)",
                                     "(otherwise 'other)", "(t 'tee)", "(\"s\" 'str)", "(#\\a)",
                                     "((a) 'a-list)", "(2.5 'float)", "()", "5"])
                           for _ in range(r.randint(0, 4)))
        return "(case %s %s)" % (key, clauses)
    if k == 7:
        vars_ = r.choice(["(a b)", "(a)", "()", "(a b c)", "a", "(a . b)"])
        vals = r.choice(["(values 1 2)", "(floor 7/2)", "5", "(values)", "'(1 2)",
                         "(values 'x nil 'z)"])
        return "(multiple-value-bind %s %s %s)" % (vars_, vals, r.choice(
            ["(list a)", "(prin1 'body) (list a)", "", "(list a b)"]))
    if k == 8:
        vars_ = r.choice(["(a b)", "(a)", "()", "(a b c)", "a"])
        vals = r.choice(["(values 1 2)", "(floor 2.5)", "7", "(values 'x 'y 'z 'w)"])
        return "(let ((a 0) (b 0) (c 0)) (list (multiple-value-setq %s %s) a b c))" % (vars_, vals)
    if k == 9:
        return "(mapcar %s '(1 2 3))" % r.choice(
            ["(lambda (x) (* x 2))", "(lambda (x) (prin1 x) (list x))", "(lambda)",
             "(lambda (x y) x)", "(lambda x x)"])
    if k == 10:
        return ("(with-open-file (s \"%s\" :direction :output) (print %s s) (print 'second s))"
                % (path, r.choice(["'(1 2)", "\"str\"", "1/2", "'sym"])))
    if k == 11:
        return "(with-open-file (s \"%s\") (list (read s) %s))" % (
            path, r.choice(["(read s)", "(read-line s)", "(prin1 'in)", "(read s nil 'eof)"]))
    if k == 12 and mutating:
        place = r.choice(["(car l)", "(cdr l)", "(rest l)", "(nth 3 l)", "(nth 20 l)",
                          "(first l)", "(second l)", "(fifth l)", "(tenth l)", "(cadr l)",
                          "(cddr l)", "(caddr l)", "(cadddr l)", "(cdar l2)", "(caar l2)",
                          "(cadar l2)", "(cdadr l2)", "(caaddr l2)", "(gethash 'k h)",
                          "(gethash (car l) h)", "(aref arr 1 2)", "(aref arr 5 5)",
                          "(foo l)", "(car)", "5", "zz", "(nth 1)"])
        value = r.choice(["'v", "(prin1 'val)", "(list 1 2)", "nil"])
        return "(let ((l (list 1 2 3 4 5 6 7 8 9 10 11))) (list (setf %s %s) l l2))" % (
            place, value)
    if k == 13 and mutating:
        return r.choice([
            "(list (gethash 'k h) (hash-table-count h))",
            "(let ((p (find-nth-name 'third))) (rplacd p 0) (macroexpand '(setf (third x) 1)))",
            "(let ((p (find-a-name 'cadr))) (rplacd p 'car) (macroexpand '(setf (cadr x) 1)))",
            "(let ((p (find-d-name 'cdar))) (rplaca p 'cdr) (macroexpand '(setf (cdr x) 1)))",
            "(rplaca (cdr (symbol-function 'prog)) '(args &rest bd))",
            "(defmacro case (k &rest b) (list 'quote b))",
            "(defun append1 (x y) (if (null x) y (cons (car x) (append1 (cdr x) y))))",
            "(defun find-nth-name (n) nil)",
            "(progn (set-array (find-a-name 'cadar)) 'broken)"])
    if k == 14:
        # NIL and T assigned, around macros whose texts reach no function twin while expanding
        form = r.choice(["(macroexpand '(dotimes (i 3) x))", "(macroexpand '(dotimes (i 3 r) x))",
                         "(macroexpand '(case k (1 a) (t b) (otherwise c) ((x y) d)))",
                         "(macroexpand '(case k))", "(macroexpand '(multiple-value-setq$ () ()))",
                         "(macroexpand '(multiple-value-setq$ (a b c) (1)))"])
        return "(unwind-protect (progn (setq %s) (list %s)) (setq nil 'nil) (setq t 't))" % (
            r.choice(["nil 5", "t nil", "t 7", "nil 'x"]), form)
    if k == 15:
        return r.choice(["(setf zz %s)" % r.choice(["1", "(prin1 5)", "'(a b)"])] + IDENTITIES)
    return expand(r, mutating)


# Shows which symbols of an expansion are uninterned (they print like interned ones).
MARKS = """(defun marks (e d)
  (cond ((> d 40) 'deep)
        ((consp e) (cons (marks (car e) (1+ d)) (marks (cdr e) (1+ d))))
        ((and (symbolp e) (not (eq e (intern (symbol-name e))))) (list 'uninterned e))
        (t e)))
"""

IDENTITIES = [
    # the uninterned symbols: one per macro, the same in every expansion
    "(let ((a (macroexpand '(loop))) (b (macroexpand '(loop1))) (c (macroexpand '(loop x))))"
    " (list (eq (caddr a) (caddr b)) (eq (caddr a) (caddr c)) (eq (caddr a) (cadr (car (last a))))))",
    "(let ((a (macroexpand '(dolist (x l) y))) (b (macroexpand '(dolist (z m) y))))"
    " (list (eq (caar (cadr a)) (caar (cadr b))) (eq (caar (cadr a)) (caddr (caddr a)))))",
    "(let ((a (macroexpand '(dotimes (i n)))) (b (macroexpand '(dotimes (j m) x))))"
    " (list (eq (cadddr a) (cadddr b)) (eq (cadddr a) (cadr (car (last a))))))",
    "(let ((a (macroexpand '(multiple-value-bind (x) y)))"
    " (b (macroexpand '(multiple-value-bind (z w) v x))))"
    " (list (eq (caar (cadr a)) (caar (cadr b))) (symbol-name (caar (cadr a)))))",
    # SETF's two error forms: each its own string, the same one every time
    "(let ((a (macroexpand '(setf 5 1))) (b (macroexpand '(setf (foo) 1)))"
    " (c (macroexpand '(setf (foo x) 1))) (d (macroexpand '(setf (1 2) 3))))"
    " (list (eq (cadr a) (cadr b)) (eq (cadr a) (cadr c)) (eq (cadr c) (cadr d)) (eq a b)))",
    # expansions are fresh, the forms in them copied
    "(let* ((f (list 'print 1)) (a (macroexpand (list 'dolist '(x l) f))))"
    " (list (eq (nth 6 (caddr a)) f) (equal (nth 6 (caddr a)) f)))",
    "(let* ((k (list 'f 1)) (a (macroexpand (list 'case k '(1 2) '(3 4)))))"
    " (list (eq (cadr (car (cadr a))) k) (eq (cadr (car (cadr a))) (cadr (car (caddr a))))))",
    # an evaluated expansion hands out nothing of its forms: a quoted list, what a user macro
    # quotes, each fresh on every evaluation
    "(let ((g (lambda () (setf (gethash 'k h) '(1 2))))) (list (eq (funcall g) (funcall g))"
    " (gethash 'k h)))",
    "(progn (defmacro qm (x) (list 'quote x)) (let ((g (lambda () (setf (gethash 'k h)"
    " (list (qm (a b))))))) (eq (car (funcall g)) (car (funcall g)))))",
    "(let ((g (lambda (x) (setf (gethash (mod x 3) h) (cons x (1+ x)))))) (list (funcall g 4)"
    " (funcall g 5) (gethash 1 h) (gethash 2 h) (funcall g 'a)))",
    # nor does a change in place reach a form not yet evaluated
    "(progn (setq ent (list 'list 1)) (setq tb (list 'hash-table 'eq ent)) (eval (list 'setf"
    " (list 'gethash (list 'setf-hash ''list 'tb (list 'list 2)) 'h) ent)))",
]


def macro_program(r, path):
    mutating = r.random() < 0.5
    prelude = PRELUDE + MUTATING_PRELUDE if mutating else PRELUDE[:PRELUDE.index("(setq circ")]
    forms = "".join((run_macro(r, mutating, path) if r.random() < 0.6 else expand(r, mutating)) +
                    END for _ in range(40))
    return prelude + MARKS + "(defun f (x) (prin1 x) x)\n(setq k 1)\n" + forms


# ---- disturbances ----------------------------------------------------------------------------
# Callbacks that, at their TRIP-th call, do what HOW says to the list CUR the twin is walking.
DISTURB_PRELUDE = """(setq abort 'abort)
(setq cur nil) (setq junk nil) (setq calls 0) (setq trip 1) (setq how 0)
(defun churn () (gc) (dotimes (i CHURN) (setq junk (cons 'j junk))) (setq junk nil) (gc))
(defun disturb ()
  (cond ((= how 0) (rplacd cur nil) (churn))
        ((= how 1) (if (consp (cdr cur)) (rplacd (cdr cur) (cdddr cur))) (churn))
        ((= how 2) (rplaca cur 'changed))
        ((= how 3) (if (consp (cdr cur)) (setf (nth 1 cur) 'set-nth)))
        ((= how 4) (nconc cur (list 'added 'more)))
        ((= how 5) (rplacd cur 5))
        ((= how 6) (throw 'out 'thrown))
        ((= how 7) (defun not (e) (princ "NOT ") (if e nil t)))
        ((= how 8) (defun append1 (x y) (princ "A1 ") (if (atom x) y (cons (car x) (append1 (cdr x) y)))))
        ((= how 9) (setq cur (list 'fresh)) (churn))
        ((= how 10) (setf (cdr cur) (list 'tail)) (churn))
        ((= how 11) (setq nil 5))
        (t (churn))))
(defun tick () (setq calls (1+ calls)) (if (= calls trip) (disturb)))
(defun mut (a b) (tick) (prin1 b) (eql a b))
(defun mut-eq (a b) (tick) (eq a b))
(defun mut1 (x) (tick) (if (numberp x) (floor x 2) (values x 'more)))
(defun mut2 (x y) (tick) (list x y))
"""


def disturbing_call(r):
    """A twin that calls user code, on CUR, with a callback that disturbs it once."""
    trip = r.randint(1, 4)
    how = r.randrange(13)
    data = r.choice(["(list 1 2 3 4 5)", "(list (list 1) (list 2) (list 3) (list 4))",
                     "(list 'a 'b 'a 'c 'a)", "(list (cons 1 'a) (cons 2 'b) (cons 3 'c) (cons 1 'd))",
                     "(list 1.5 2 3/2 'x)"])
    item = r.choice(["1", "'a", "'c", "3", "99", "(list 2)", "2"])
    call = r.choice([
        "(member %s cur :test #'mut)" % item,
        "(assoc %s cur :test #'mut)" % item,
        "(assoc %s cur :test #'mut-eq)" % item,
        "(mapcar #'mut1 cur)",
        "(mapcar #'mut2 cur (list 'p 'q 'r 's 't 'u))",
        "(remove %s cur :test #'mut)" % item,
        "(remove %s cur :test #'mut :count 1)" % item,
        "(delete %s cur :test #'mut)" % item,
        "(delete %s cur :test #'mut :count %d)" % (item, r.randint(0, 2)),
        "(sort cur #'(lambda (a b) (tick) (and (numberp a) (numberp b) (< a b))))",
        "(sort cur #'< :key #'(lambda (x) (tick) (if (numberp x) x 0)))",
    ])
    if r.random() < 0.5:
        call = "(multiple-value-list %s)" % call
    return ("(progn (setq calls 0) (setq trip %d) (setq how %d) (setq cur %s) (setq keep cur)"
            " (list (catch 'out %s) keep))\n(setq nil 'nil)" % (trip, how, data, call))


def values_call(r):
    """Twinned calls left at the top level, or under MULTIPLE-VALUE-LIST, with values around."""
    form = r.choice([
        "(not (floor 5/2))", "(zerop (floor 5 2))", "(first (values (list 1 2) 3))",
        "(mod (floor 7 2) 2)", "(equal (floor 5/2) 2)", "(< (floor 5/2) 3)",
        "(nconc (list 1) (values (list 2) 3))", "(subseq (list 1 2 3) (floor 3 2))",
        "(hash-table-count (values h 1))", "(make-hash-table)", "(append (list 1) (values (list 2) 9))",
        "(reverse (values (list 1 2) 3))", "(last (values (list 1 2) 3))",
        "(remove 1 (list 1 2) :test #'(lambda (a b) (values (eql a b) 7)))",
        "(delete 1 (list 2 1) :test #'(lambda (a b) (floor 1) (eql a b)))",
        "(assoc 1 (list (cons 1 2)) :test #'(lambda (a b) (values (eql a b) 'x)))",
        "(member 'a (values '(a b) 5))", "(mapcar #'(lambda (x) (floor x)) '(5/2 7/2))",
        "(sort (list 3 1 2) #'(lambda (a b) (values (< a b) 'z)))",
        "(gethash 1 h)", "(setf (gethash 1 h) (floor 5 2))", "(remhash 1 h)",
        "(nth (floor 3 2) (list 'a 'b))", "(copy (values (list 1) 2))", "(equal 1 (values 1 2))",
        # an argument that turns the twin off before it would answer
        "(nth (progn (setq how 8) (disturb) 1) (list 'a 'b 'c))",
        "(member 2 (progn (setq how 7) (disturb) (list 1 2)) :test #'=)",
        "(remove 2 (progn (setq how 8) (disturb) (list 1 2 3)) :test #'=)",
        "(list (not (progn (setq nil 5) 3)) (setq nil 'nil))",
        "(list (mapcar #'1+ (progn (setq t 5) (list 1 2))) (setq t 't))",
    ])
    return form if r.random() < 0.4 else "(multiple-value-list %s)" % form


# ---- redefinitions ---------------------------------------------------------------------------
# Which library names each twin's text reaches, worked out here from the definitions (read with
# SYMBOL-FUNCTION in a separate run), and calls of each twin to make after one is redefined.
LIBRARY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "library", "texts.cpp")
NAME = re.compile(r"\((?:defun|defmacro) ([^\s()]+)|'defmacro '([^\s()]+)|defun load")

TWIN_CALLS = {
    "<": ["(< 1 2)", "(< 2 1.5)"], ">": ["(> 1 2)", "(> 3 1)"], "<=": ["(<= 1 1)"], ">=": ["(>= 1 2)"],
    "not": ["(not nil)", "(not 3)"], "listp": ["(listp 3)", "(listp nil)"], "zerop": ["(zerop 0)"],
    "equal": ["(equal (list 1 (list 2)) (list 1 (list 2)))"], "copy": ["(copy (list 1 (list 2)))"],
    "first": ["(first (list 1 2))"], "rest": ["(rest (list 1 2))"], "nth": ["(nth 1 (list 'a 'b 'c))"],
    "nthcdr": ["(nthcdr 2 (list 1 2 3))"], "last": ["(last (list 1 2 3))"],
    "append1": ["(append1 (list 1) (list 2))"], "reverse": ["(reverse (list 1 2 3))", "(reverse \"ab\")"],
    "reverse1": ["(reverse1 (list 1 2))"], "member": ["(member 2 (list 1 2 3))",
                                                     "(member 2 (list 1 2) :test #'=)"],
    "assoc": ["(assoc 2 (list (cons 1 'a) (cons 2 'b)))", "(assoc 2 (list (cons 2 'b)) :test #'=)"],
    "mapcar": ["(mapcar #'1+ (list 1 2))", "(mapcar #'cons (list 1) (list 2))"],
    "mod": ["(mod 7 3)"], "remove": ["(remove 1 (list 1 2 1))", "(remove 1 (list 1 2) :test #'=)"],
    "delete": ["(delete 2 (list 1 2 3))", "(delete 1 (list 1 2))"],
    "subseq": ["(subseq (list 1 2 3) 1)", "(subseq \"abc\" 1 2)"],
    "nconc": ["(nconc (list 1) (list 2) (list 3))"], "sort": ["(sort (list 3 1 2) #'<)"],
    "gethash": ["(multiple-value-list (gethash 1 h))"], "setf-hash": ["(setf-hash 5 h 'v)"],
    "remhash": ["(remhash 5 h)"], "hash-table-count": ["(hash-table-count h)"],
    "make-hash-table": ["(make-hash-table :test #'eq)"],
    "append": ["(append (list 1) (list 2) (list 3))"], "prog": ["(prog (a) (setq a 1) (return a))"],
    "return": ["(block nil (return 5))"], "loop": ["(let ((k 0)) (loop (if (= k 2) (return k)) (setq k (1+ k))))"],
    "loop1": ["(let ((k 0)) (loop1 (if (= k 2) (return k)) (setq k (1+ k))))"],
    "dolist": ["(let ((s nil)) (dolist (x (list 1 2) s) (setq s (cons x s))))"],
    "dotimes": ["(let ((s 0)) (dotimes (i 3 s) (setq s (+ s i))))"],
    "with-open-file": ["(with-open-file (s \"/dev/null\") 1)"], "lambda": ["(funcall (lambda (x) x) 1)"],
    "multiple-value-setq": ["(let ((a 0) (b 0)) (multiple-value-setq (a b) (floor 7 2)) (list a b))"],
    "multiple-value-setq$": ["(let ((a 0)) (multiple-value-setq$ (a) (1)) a)"],
    "multiple-value-bind": ["(multiple-value-bind (a b) (floor 7 2) (list a b))"],
    "case": ["(case 2 (1 'one) ((2 3) 'two) (otherwise 'x))"],
    "setf": ["(let ((l (list 1 2 3))) (setf (second l) 'x) (setf (gethash 2 h) 3) l)"],
}
for cxr in ["caar", "cadr", "cdar", "cddr", "caddr", "cdadr", "cadddr", "cddddr"]:
    TWIN_CALLS[cxr] = ["(%s '((1 2) (3 4) 5 6))" % cxr]
for i, ordinal in enumerate(["second", "third", "fourth", "fifth", "sixth", "seventh", "eighth",
                             "ninth", "tenth"]):
    TWIN_CALLS[ordinal] = ["(%s (list 1 2 3 4 5 6 7 8 9 10 11))" % ordinal]

MENTIONS = """(defun in (x l) (cond ((atom l) nil) ((eq x (car l)) t) (t (in x (cdr l)))))
(defun syms (x acc) (cond ((consp x) (syms (cdr x) (syms (car x) acc)))
  ((and (symbolp x) x (eq x (intern (symbol-name x))) (not (in x acc))) (cons x acc)) (t acc)))
"""


def library_reach():
    """Every twin name with the library names its definition reaches, transitively."""
    text = open(LIBRARY, encoding="utf-8").read()
    names = []
    for m in NAME.finditer(text):
        name = m.group(1) or m.group(2) or "load"
        if name not in names:
            names.append(name)
    program = MENTIONS + "".join("(print (cons '%s (syms (cdr (symbol-function '%s)) nil)))\n"
                                 % (n, n) for n in names)
    out = subprocess.run([binary], input=program.encode(), stdout=subprocess.PIPE,
                         timeout=120, env=dict(os.environ, ZELKORA_TWINS="0")).stdout.decode()
    lib = {n.upper() for n in names}
    direct = {}
    for line in out.splitlines():
        line = line.strip()
        if line.startswith("(") and not line.startswith("(SYMS"):
            words = line.strip("()").split()
            if words and words[0] in lib:
                direct[words[0]] = [w for w in words[1:] if w in lib and w != words[0]]
    reach = {}
    for name in TWIN_CALLS:
        seen, work = set(), [name.upper()]
        while work:
            for d in direct.get(work.pop(), []):
                if d not in seen and d != name.upper():
                    seen.add(d)
                    work.append(d)
        reach[name] = sorted(seen)
    return reach, direct


def macro_names():
    text = open(LIBRARY, encoding="utf-8").read()
    return {m.group(1).upper() for m in re.finditer(r"\(defmacro ([^\s()]+)", text)} | \
        {m.group(1).upper() for m in re.finditer(r"'defmacro '([^\s()]+)", text)}


def redefinition_program(r, reach, macros):
    """Redefine one name a twin reaches with a version that prints, then call the twin."""
    forms = ["(setq h (make-hash-table))", "(setf (gethash 1 h) 'one)"]
    done = set()
    for _ in range(3):
        twin = r.choice(sorted(t for t in TWIN_CALLS if set(reach[t]) - done))
        dep = r.choice(sorted(set(reach[twin]) - done))
        done.add(dep)
        saved = "saved-" + dep.lower().replace("$", "s")
        kind = "defmacro" if dep in macros else "defun"
        forms.append("(eval (cons '%s (cons '%s (cdr (symbol-function '%s)))))" % (kind, saved, dep))
        if kind == "defmacro":
            forms.append("(defmacro %s (&rest a) (princ \"<%s>\") (cons '%s a))" % (dep, dep, saved))
        else:
            forms.append("(defun %s (&rest a) (princ \"<%s>\") (apply #'%s a))" % (dep, dep, saved))
        forms += ["(multiple-value-list %s)" % tested(r, c) for c in TWIN_CALLS[twin]]
    return "(setq abort 'abort)\n" + "".join(f + END for f in forms)


# Arrays: AREF and SETF of AREF on long rows (the twins index those) and short ones, with odd
# indices, and surgery on the rows between the reads: a row shortened, lengthened, replaced,
# shared with a list, turned circular, a cons of it made an array, arrays dropped and collected
# so their conses are reused by new ones.
INDICES = ["0", "1", "2", "15", "16", "19", "20", "39", "40", "-1", "1.0", "'a", "nil", "k"]


def array_call(r):
    n = r.choice(["3", "20", "40"])
    shape = r.randrange(4)
    make = ["(make-array %s :initial-element 0)" % n,
            "(make-array (list 2 %s) :initial-element 'e)" % n,
            "(make-array %s :element-type 'character)" % n,
            "(set-array (cons 1 (cons 'all s)))"][shape]
    if STRESS and shape < 3:  # MAKE-ARRAY's text takes thousands of steps, each a collection here
        rows = "(list %s)" % " ".join(["0"] * int(n))
        make = ["(set-array (cons 1 (cons 'all %s)))" % rows,
                "(set-array (list 2 'all %s %s))" % (rows, rows),
                "(coerce %s 'string)" % ("(list %s)" % " ".join(["#\\a"] * int(n)))][shape]
    rank = 2 if shape == 1 else 1
    row = "(car (cdr (array-cdr a)))" if rank == 2 else "(cdr (array-cdr a))"

    good = [i for i in ["0", "1", "2", "15", "16", "19", "20", "39"] if int(i) < int(n)]

    def place():  # mostly indices in range: a failure ends the form
        count = rank if r.random() < 0.95 else r.choice([0, 1, 3])
        ranges = [["0", "1"], good + ["k"]] if rank == 2 else [good + ["k"]]
        return "a " + " ".join(r.choice(INDICES if r.random() < 0.1 or d >= len(ranges)
                                        else ranges[d]) for d in range(count))
    ops = []
    for _ in range(r.randint(3, 12)):
        k = r.randrange(12)
        if k < 4:
            ops.append("(setq r (cons (aref %s) r))" % place())
        elif k < 7:
            ops.append("(setq r (cons (setf (aref %s) %s) r))" % (
                place(), r.choice(["'x", "5", "#\\a", "(list 1)", "k"])))
        elif k == 7:
            ops.append(r.choice(["(rplacd (nthcdr %s %s) (list 'p 'q))" % (
                r.choice(["1", "17", "30"]), row), "(nconc %s (list 'n1 'n2))" % row,
                "(rplacd s (cddddr s))"]))
        elif k == 8:
            ops.append(r.choice(["(rplaca (cdr (array-cdr a)) (list 1 2 3))",
                                 "(rplaca (cdr (array-cdr a)) s)", "(setq k (+ k 7))"]))
        elif k == 9:
            ops.append("(set-array (nthcdr %s %s))" % (r.choice(["2", "18"]), row))
        elif k == 10:
            ops.append("(dotimes (i 3) (setq b (set-array (cons 1 (cons 'all (list %s))))) "
                       "(setq r (cons (aref b 25) r)) (gc))" % " ".join(["i"] * 30))
        else:
            ops.append("(setq k (- k))")
    if r.random() < 0.2:  # a circular row last: NTH walks around it, and nothing may print it
        plain = lambda: "a " + " ".join(r.choice(["0", "2", "19", "45", "k"]) for _ in range(rank))
        ops.append("(progn (rplacd (last %s) %s) (setq k 3) (setq r (cons (aref %s) r)) "
                   "(setq r (cons (setf (aref %s) 'w) r)) (setq cut t))"
                   % (row, row, plain(), plain()))
    return ("(let* ((s (list 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21)) "
            "(a %s) (r nil) (k 3) (b nil) (cut nil)) %s (if cut r (list r a s)))"
            % (make, " ".join(ops)))


# Expansions kept from one evaluation of a macro call to the next: the same call evaluated again
# and again while, between two evaluations, its own conses are changed, a name it calls becomes
# a macro, NIL or T is assigned, SETF's tables are changed, a collection runs, or a quoted list
# it handed out is changed.
KEPT_PRELUDE = """(setq abort 'abort)
(setq a (make-array 20 :initial-element 0))
(setq y (list 1 2 3 4))
(setq h (make-hash-table))
(defun g1 (x) (list 'g x))
(setq code (list 'setf (list 'car 'y) (list '+ 1 2)))
"""
KEPT_FORMS = ["(setf (car y) (g1 i))", "(setf (aref a i) (list i))", "(setf (cadr y) 'q)",
              "(setf (gethash i h) (* i i))", "(setf z '(1 2))", "(case i (1 'one) (t 'other))",
              "(setf (nth 2 y) (append y nil))", "(eval code)", "(setq y (cons i y))",
              "(setf (aref a (1+ i)) (aref a i))", "(setf (cdr (last y)) (list i))",
              "(setf z (g1 (list i)))"]
KEPT_DISTURB = ["(rplaca (cddr code) (list '- 9 i))", "(rplaca (cadr code) 'cdr)",
                "(rplacd (cddr code) (list 7))", "(defmacro g1 (x) (list 'list ''m x x))", "(defmacro g1 (x) (list 'quote x))",
                "(defun g1 (x) (princ x) x)", "(setq t 3)", "(setq nil 4)", "(setq t 't)",
                "(setq nil 'nil)", "(gc)", "(if (consp z) (rplaca z 'changed))",
                "(rplaca (find-a-name 'cadr) 'cdr)", "(rplacd (find-d-name 'cddr) 'car)",
                "(setq y (list 5 6 7 8))", "(rplacd (cdr y) nil)"]


def kept_program(r):
    forms = []
    for k in range(r.randint(2, 5)):
        body = " ".join(r.choice(KEPT_FORMS) for _ in range(r.randint(1, 3)))
        disturb = r.choice(KEPT_DISTURB)
        forms.append("(defun k%d () (setq z nil) (dotimes (i 4) %s (if (= i %d) %s) "
                     "(prin1 (list i y z)) (if (consp z) (rplaca z i))) (list (aref a 3) (gethash 2 h)))" % (
                         k, body, r.randrange(4), disturb))
        forms.append("(k%d)" % k)
        forms.append("(k%d)" % k)
    return KEPT_PRELUDE + "".join(f + END for f in forms) + "(list y code)\n"


# Calls of functions DEFUN made with plain lambda lists, which the evaluator binds and runs by a
# shorter path once it has seen their shape: wrong argument counts, dotted argument lists,
# RETURN-FROM, THROW, closures over the frame, multiple values, and argument forms that redefine
# the function or change its definition in place (lambda list, BLOCK, body) mid-call.
PLAIN_PRELUDE = """(setq abort 'abort)
(defun p1 (x) (list 'p1 x))
(defun p2 (x y) (if (numberp x) (+ x y) (list x y)))
(defun p3 (a b c) (if (eql a 0) (return-from p3 (list c b a))) (list a b c))
(defun rec (n acc) (if (< n 1) acc (rec (1- n) (cons n acc))))
(defun clo (x) (function (lambda (y) (setq x (+ x y)))))
(defun mv (x) (values x (list x)))
(setq f1 (clo 10))
(defun cut (x how) (< (progn (cond ((eql how 1) (rplacd (cdr (caddr (caddr (symbol-function 'cut)))) nil))
                                   ((eql how 2) (rplacd (cddr (caddr (caddr (symbol-function 'cut))))
                                                        (list 9))))
                             x)
                      5))
"""
PLAIN_CHANGES = [  # SYMBOL-FUNCTION gives (FUNCTION lambda-list (BLOCK name . body))
    "(rplaca (cadr (symbol-function '{f})) 'q)",
    "(rplacd (cadr (symbol-function '{f})) nil)",
    "(rplacd (cadr (symbol-function '{f})) (list 'extra))",
    "(rplaca (caddr (symbol-function '{f})) 'progn)",
    "(rplaca (cdr (caddr (symbol-function '{f}))) 'other)",
    "(rplacd (cdr (caddr (symbol-function '{f}))) nil)",
    "(set-array (cddr (caddr (symbol-function '{f}))))",
    "(rplaca (cddr (caddr (symbol-function '{f}))) '(list 'changed x))",
    "(rplacd (cddr (symbol-function '{f})) (list '(list 'more)))",
    "(defun {f} (x y) (list 'new x y))",
    "(defun {f} (x) (list 'one x))",
    "(defmacro {f} (&rest a) (list 'quote a))",
    "(gc)",
]


def plain_call(r):
    f = r.choice(["p1", "p2", "p3"])
    arity = {"p1": 1, "p2": 2, "p3": 3}[f]
    args = [r.choice(["0", "1", "'a", "(mv 2)", "(p1 3)", "(rec 3 nil)", "(funcall f1 1)", arith(r)])
            for _ in range(max(0, arity + r.choice([-1, 0, 0, 0, 1])))]
    if args and r.random() < 0.4:
        k = r.randrange(len(args))
        args[k] = "(progn %s %s)" % (r.choice(PLAIN_CHANGES).format(f=f), args[k])
    tail = r.choice(["", "", "", " . x", " . 5"]) if args else ""
    call = "(%s %s%s)" % (f, " ".join(args), tail)
    return r.choice([call, call, call,
                     "(multiple-value-list %s)" % call,
                     "(catch 'tag (%s (throw 'tag %s)))" % (f, r.choice(["1", "(mv 4)"])),
                     "(list %s %s)" % (call, call),
                     "(rec %d nil)" % r.randrange(6),
                     "(p2 %s %s)" % (arith(r), arith(r)), "(p1 %s)" % arith(r),
                     "(cut %s %d)" % (r.choice(["1", "9", "'a"]), r.choice([0, 0, 1, 2]))])


def plain_program(r):
    forms = [tested(r, plain_call(r)) for _ in range(20)]
    return PLAIN_PRELUDE + "".join(f + END for f in forms) + "(funcall f1 0)\n"


# ---- EQUAL tables ------------------------------------------------------------------------------
# EQUAL tables, which the twins index by a hash of each key's structure: string, number,
# character and cons keys, keys changed in place after they went in (SETF of AREF on a string,
# RPLACA and RPLACD on a cons), a table holding a circular key, circular keys looked up, keys
# that hold the table's own conses (an entry, a string whose characters run through an entry
# whose value SETF changes), tables that share entries or are built by hand with keys repeated,
# and EQUAL redefined. EQUAL of two circular keys runs until the stack is exhausted, and the
# debug loop then shows another depth with the twins on, so no form compares two of them:
# circular keys are only looked up in tables without one, and HC, the one table with one, is
# given no circular key.
EQUAL_PRELUDE = """(setq abort 'abort)
(setq he (make-hash-table :test #'equal))
(setq s1 (coerce (list #\\a #\\b) 'string))
(setq s2 (coerce (list #\\a #\\b) 'string))
(setq k1 (list 1 2))
(setq k2 (list 1 (list "ab" 2.5) #\\a))
(setq cy (list 1 2))
(rplacd (cdr cy) cy)
(setq hd (list 'hash-table 'equal (cons "ab" 1) (cons (list 1 2) 2) (cons "ab" 3) (cons 1 4)))
(setq hs he)
(setq hc (make-hash-table :test #'equal))
(setf (gethash '(1 2 1) hc) 'before)
(setf (gethash cy hc) 'circular)
(setf (gethash "ab" hc) 'after)
"""
EQUAL_KEYS = ["\"ab\"", "\"ba\"", "\"\"", "s1", "s2", "k1", "k2", "(list 1 2)", "'(1 . 2)",
              "(list 1 (list \"ab\" 2.5) #\\a)", "1", "1.0", "-0.0", "0.0", "1/2", "#\\a", "#\\b",
              "'a", "'character", "nil", "(coerce (list #\\b #\\a) 'string)", "(list #\\a #\\b)",
              "(list 'character #\\a)", "(car (cddr he))", "'(1 2 1)", "'(1 2 3)"]
# Keys that are or may be circular (the table itself, once it holds itself), looked up only.
LOOKED_UP_KEYS = ["cy", "(list cy)", "he", "(cddr he)"]
EQUAL_CHANGES = [  # {t}: a table, {v}: a value
    "(setf (aref s1 0) #\\b)", "(setf (aref s1 1) #\\a)", "(setf (aref s2 0) #\\b)",
    "(rplaca k1 {v})", "(rplacd (cdr k1) (list 3))", "(rplacd (cdr k1) nil)",
    "(rplaca (cadr k2) {v})", "(rplacd (cdr cy) (list 3))", "(rplacd (cdr cy) cy)",
    "(if (cddr {t}) (rplaca (car (cddr {t})) {v}))",
    # a string whose characters run on through the entry of #\a, whose value SETF then changes
    "(progn (setf (gethash #\\a {t}) (list #\\z)) (setq sb (list 1 'character #\\b))"
    " (rplacd (cddr sb) (car (last {t}))) (set-array sb) (setf (gethash sb {t}) 'str)"
    " (list (gethash \"baz\" {t}) (setf (gethash #\\a {t}) (list #\\y)) (gethash \"baz\" {t})"
    " (gethash \"bay\" {t}) (gethash sb {t})))",
    # tables sharing their entries, their spine or their test's cons
    "(setq hs (cons 'hash-table (cdr he)))", "(setq hs (cons 'hash-table (cons 'equal (cddr he))))",
    "(setq hs (cons 'hash-table (cons 'equal (cdr (cddr he)))))",
    "(defun equal (a b) (prin1 (list 'eq? a b)) (eql a b))",
    "(setq he (make-hash-table :test 'equal))", "(gc)",
]


def equal_table_call(r):
    table = r.choice(["he", "he", "hs", "hd", "hc"])
    key = r.choice(EQUAL_KEYS)
    if r.random() < 0.2:
        return r.choice(EQUAL_CHANGES).format(
            t=table, v=r.choice(["0", "'x", "\"ab\"", "(list 1 2)", "#\\a"]))
    looked_up = key if table == "hc" or r.random() < 0.8 else r.choice(LOOKED_UP_KEYS)
    return r.choice([
        "(setf (gethash %s %s) %s)" % (key, table, r.choice(["1", "'v", "(list 1 2)", key])),
        "(setf (gethash %s %s) %s)" % (key, table, atom(r)),
        "(multiple-value-list (gethash %s %s))" % (looked_up, table),
        "(multiple-value-list (gethash %s %s))" % (looked_up, table),
        "(gethash %s %s)" % (looked_up, table),
        "(remhash %s %s)" % (looked_up, table),
        "(list (hash-table-count %s) %s)" % (table, table),
    ])


def equal_table_program(r):
    forms = [tested(r, equal_table_call(r)) for _ in range(30)]
    return EQUAL_PRELUDE + "".join(f + END for f in forms) + "(list he hs hd hc)\n"


def equal_tables(seed):
    r = random.Random(seed * 7 + 3)
    for i in range(max(1, count // 4)):
        compare(equal_table_program(r), f"EQUAL table program {i} (seed {seed})")


def run(program, twins, whole=False):
    env = dict(os.environ)
    env["ZELKORA_TWINS"] = "1" if twins else "0"
    try:
        p = subprocess.run([binary], input=program.encode(), stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=120, env=env)
    except subprocess.TimeoutExpired:  # a hang fails, its program saved like any other
        return None, b"", b"no end after 120 s"
    out = GC.sub(b"", p.stdout)
    return p.returncode, out if whole else ACTIVATIONS.sub(b"", out), p.stderr


def first_difference(a, b):
    i = next((k for k in range(min(len(a), len(b))) if a[k] != b[k]), min(len(a), len(b)))
    return "first difference at byte %d:\n  on:    %r\n  texts: %r\n" % (
        i, a[max(0, i - 200):i + 200], b[max(0, i - 200):i + 200])


def compare(program, title, reset=lambda: None, whole=False):
    """whole: BACKTRACE compared in full, for programs where no twin calls the program's code."""
    reset()
    on = run(program, True, whole)
    reset()
    off = run(program, False, whole)
    saved = ""
    if on != off or quiet(on[2]):
        fd, saved = tempfile.mkstemp(prefix="zelkora-twins-", suffix=".lisp")
        os.write(fd, program.encode())
        os.close(fd)
    t.check(on == off and not quiet(on[2]), title + (" (saved in %s)" % saved if saved else ""),
            first_difference(on[1], off[1]) + program + "\n--- twins on ---\n" + on[1].decode(errors="replace")[-1500:] +
            "\n--- texts ---\n" + off[1].decode(errors="replace")[-1500:] +
            on[2].decode(errors="replace")[-500:])


def run_all(seed):
    r = random.Random(seed)
    for i in range(count):
        if i % 2:
            table = r.choice(["h", "hq", "he", "hd"])  # hd: a table built by hand, keys repeated
            keys = r.sample(["1", "2", "'a", "'b", "1.5", "#\\a", "\"ab\"", "(/ 1.0 3)", "1/2",
                             "'(1 2)", "-0.0", "0.0"], 4)
            forms = [table_call(r, table, keys) for _ in range(25)]
        else:
            forms = [tested(r, call(r)) for _ in range(25)]
        program = PRELUDE + "".join(f + END for f in forms) + "(list h hq he hd)\n"
        compare(program, f"program {i} (seed {seed})")
    for i in range(max(1, count // 2)):
        forms = [disturbing_call(r) if r.random() < 0.7 else tested(r, values_call(r))
                 for _ in range(25)]
        program = DISTURB_PRELUDE.replace("CHURN", churn) + "(setq h (make-hash-table))\n" + "".join(
            f + END for f in forms)
        compare(program, f"disturbing program {i} (seed {seed})")
    for i in range(max(1, count // 2)):
        program = PRELUDE + "".join(array_call(r) + END
                                    for _ in range(4 if STRESS else 15))
        compare(program, f"array program {i} (seed {seed})")
    for i in range(max(1, count // 2)):
        compare(kept_program(r), f"kept expansion program {i} (seed {seed})")
    for i in range(max(1, count // 2)):
        compare(plain_program(r), f"plain call program {i} (seed {seed})", whole=True)
    reach, direct = library_reach()
    t.check(len(direct) > 100 and "APPEND1" in reach["remove"] and "KEYS$" in reach["remove"],
            "the reach worked out from the definitions", repr(reach.get("remove")))
    macros = macro_names()
    for i in range(max(1, count // 2)):
        compare(redefinition_program(r, reach, macros), f"redefinition program {i} (seed {seed})")
    scratch = tempfile.mkdtemp(prefix="zelkora-twins-")
    try:
        path = os.path.join(scratch, "file.txt")

        def reset():
            if os.path.exists(path):
                os.unlink(path)
        for i in range(max(1, count // 2)):
            compare(macro_program(r, path), f"macro program {i} (seed {seed})", reset)
    finally:
        shutil.rmtree(scratch)
    equal_tables(seed)


t = Checker()
if budget:
    import time
    start, seed = time.time(), int(time.time())
    while time.time() - start < budget:
        print("seed", seed, flush=True)
        run_all(seed)
        seed += 1
else:
    run_all(seed)
t.finish()
