"""The README's operator table is the one doc/operators.py makes from the program's tables."""
import os
import sys

from common import Checker

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "doc"))
import operators  # noqa: E402

t = Checker()
readme = operators.read("README.md")
t.check(operators.readme_with(operators.table()) == readme,
        "README.md's operator table is up to date (python3 doc/operators.py --write)")
t.finish()
