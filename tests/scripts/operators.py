"""The README's operator table is the one doc/operators.py makes from the program's tables."""
import os
import re
import sys

from common import Checker

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "doc"))
import operators  # noqa: E402

t = Checker()
readme = operators.read("README.md")
t.check(operators.readme_with(operators.table()) == readme,
        "README.md's operator table is up to date (python3 doc/operators.py --write)")

# The README's table of messages glosses every message the program prints.
NOT_MESSAGES = {"Banner", "Notice", "Usage", "LineEditingOn", "LineEditingOff", "InputCancelled",
                "GcReport", "DetailAtLeast"}
root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
with open(os.path.join(root, "heap", "messages.h"), encoding="utf-8") as fh:
    catalogue = fh.read()
section = readme.split("## Messages\n", 1)[-1].split("\n## ", 1)[0]
for name, text in re.findall(r'constexpr const char\* (\w+) = "((?:[^"\\]|\\.)*)"', catalogue):
    if name in NOT_MESSAGES:
        continue
    shown = re.sub(r"%(ld|zu|s|c)", "…", text.replace("\\n", "").replace('\\"', '"'))
    t.check(f"| `{shown}` |" in section, f"README.md's Messages table glosses {name}: `{shown}`")
# And the start-up library's and the --cl prelude's own messages.
for source in [("library", "texts.cpp"), ("library", "cl.lisp")]:
    with open(os.path.join(root, *source), encoding="utf-8") as fh:
        for text in sorted(set(re.findall(r'"(エラー: [^"]*)"', fh.read()))):
            shown = text.rstrip() + (" …" if text.endswith(" ") else "")
            t.check(f"| `{shown}` |" in section, f"README.md's Messages table glosses `{shown}`")
t.finish()
