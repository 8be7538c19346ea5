"""Tables and stores that fill up: the documented message, then exit 1 or the loop goes on."""
import sys

from common import BANNER, Checker, run

binary = sys.argv[1]
t = Checker()

code, out, err = run(binary, b"(dotimes (i 4000) (set (intern (int-to-string i)) i))\n'never\n")
t.check(code == 1 and not err and
        out == BANNER + "[1]エラー: グローバル変数領域が不足しています。終了します。\n".encode(),
        "global table full", f"{code} {out[-300:]!r} {err[-500:]!r}")

code, out, err = run(binary, b"(dotimes (i 4000) (eval (list 'defun (intern (int-to-string i)) nil nil)))\n")
t.check(code == 1 and not err and
        out == BANNER + "[1]エラー: 関数領域が一杯になりました。終了します。\n".encode(),
        "function table full", f"{code} {out[-300:]!r} {err[-500:]!r}")

# A full symbol table refuses new symbols but the session goes on with the ones it has.
code, out, err = run(binary, b"(dotimes (i 100000) (make-symbol \"G\"))\n(car '(1 2))\n")
t.check(code == 0 and not err and
        out == BANNER + "[1]エラー: ストリングの数が多すぎます\n[2]1\n[3]".encode(),
        "symbol table full", f"{code} {out[-300:]!r} {err[-500:]!r}")

t.finish()
