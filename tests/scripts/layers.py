"""The source tree's layers: every #include points at the same layer or one below it.

    heap/cell.h, heap/keywords.h, heap/messages.h  <  heap/  <  reader, printer, numbers, text,
    streams, time  <  eval/  <  library/  <  shell/

Within the middle layer only the listed sideways includes are allowed.
"""
import pathlib
import re
import sys

from common import Checker

ROOT = pathlib.Path(__file__).resolve().parents[2]
BASE = {"heap/cell.h", "heap/keywords.h", "heap/messages.h"}
RANK = {"heap": 1, "reader": 2, "printer": 2, "numbers": 2, "text": 2, "streams": 2, "time": 2,
        "eval": 3, "library": 4, "shell": 5}
SIDEWAYS = {("streams", "reader"), ("streams", "text"), ("printer", "reader"),
            ("reader", "numbers")}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def rank(path):
    return 0 if path in BASE else RANK[path.split("/")[0]]


t = Checker()
files = sorted(p for d in RANK for p in (ROOT / d).glob("*.[ch]*"))
t.check(len(files) > 30, "source files found", f"{len(files)} under {ROOT}")
for f in files:
    src = str(f.relative_to(ROOT))
    for target in INCLUDE.findall(f.read_text(encoding="utf-8")):
        if target.split("/")[0] not in RANK:
            continue
        a, b = src.split("/")[0], target.split("/")[0]
        ok = rank(target) < rank(src) or a == b and rank(target) == rank(src) or (a, b) in SIDEWAYS
        if src in BASE:
            ok = target in BASE
        t.check(ok, f"{src} includes {target}", "an include that points upward or sideways")
t.finish()
