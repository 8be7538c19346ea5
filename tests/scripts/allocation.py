"""Allocation is part of what a user sees: the collector's reports count every cell, float and
integer handed out, and their moments follow from it. These programs trigger several automatic
collections; their whole output, reports included, must stay as recorded in allocation/*.out
(with the library's twins off, which allocate differently by design). Programs named builtin_*
call no library function, so they run with the twins on too: the evaluator's own shortcuts,
which are on with them, must count as the operators do."""
import os
import pathlib
import subprocess
import sys

from common import Checker, quiet

binary = os.path.abspath(sys.argv[1])
here = pathlib.Path(__file__).resolve().parent / "allocation"
t = Checker()
for program in sorted(here.glob("*.lisp")):
    for twins in ["0", "1"] if program.name.startswith("builtin_") else ["0"]:
        env = dict(os.environ, ZELKORA_TWINS=twins)
        got = subprocess.run([binary], stdin=program.open("rb"), stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, env=env, timeout=600)
        want = program.with_suffix(".out").read_bytes()
        t.check(got.stdout == want and got.returncode == 0 and not quiet(got.stderr),
                f"{program.name} (twins {twins})",
                f"status {got.returncode}\n--- got ---\n{got.stdout.decode(errors='replace')[-2000:]}"
                f"\n--- want ---\n{want.decode(errors='replace')[-2000:]}")
t.finish()
