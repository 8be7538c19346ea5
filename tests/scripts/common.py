"""Helpers for the script tests: run the interpreter on given bytes."""
import os
import re
import subprocess
import sys

BANNER = b"Zelkora for Linux version2.18\nCopyright (C) 2026 the Zelkora developers\n"
GC_LINE = re.compile(rb"gc: \xe3\x82\xbb\xe3\x83\xab (\d+)\xe5\x80\x8b \xe6\xb5\xae\xe5\x8b\x95\xe5\xb0\x8f\xe6\x95\xb0\xe7\x82\xb9\xe6\x95\xb0 (\d+)\xe5\x80\x8b \xe6\x95\xb4\xe6\x95\xb0 (\d+)\xe5\x80\x8b \xe4\xbd\xbf\xe7\x94\xa8\xe4\xb8\xad ([ *])\n")

# The line naming what failed, on standard error at each error.
DETAIL_LINE = re.compile("^詳細: [^\n]*\n".encode(), re.M)


def quiet(err):
    """Standard error without the lines naming what failed."""
    return DETAIL_LINE.sub(b"", err)


class Checker:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, ok, title, detail=""):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print(f"FAIL {title}")
            if detail:
                print(detail[:3000])

    def finish(self):
        print(f"{self.passed} passed, {self.failed} failed")
        sys.exit(1 if self.failed else 0)


def run(binary, data, timeout=300, cwd=None):
    proc = subprocess.run([os.path.abspath(binary)], input=data, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=timeout, cwd=cwd)
    return proc.returncode, proc.stdout, proc.stderr
