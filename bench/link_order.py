#!/usr/bin/env python3
"""Writes shell/link.order: the functions a run touches, start-up first, for the linker to lay
out together. The kernel maps a program's pages 64 kB at a time around each first touch, so
start-up code scattered over the binary costs most of its memory at start.

    python3 bench/link_order.py build

Needs valgrind (every function entered, in order) and perf (the page faults of a native start,
which valgrind does not see alike); the build must link with lld. Run it after large changes;
a stale list only costs memory, never correctness.
"""
import bisect
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
ORDER = os.path.join(ROOT, "shell", "link.order")
# String and memory routines come in one variant per instruction set, chosen at start by the
# processor: keep every variant of one that runs beside it.
VARIANT = re.compile(r"^(__\w+?)_(sse2|ssse3|sse4_1|sse4_2|sse42|avx|avx2|evex|evex512|erms)\w*$")


def run(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, text=True, check=True, **kw).stdout


def symbols(binary):
    out = []
    for line in run(["nm", "-n", "--defined-only", binary]).splitlines():
        p = line.split()
        if len(p) == 3 and p[1] in "tTwWiI":
            out.append((int(p[0], 16), p[2]))
    return out


def entered(binary, stdin_path, syms, order, seen):
    """Functions in the order valgrind first enters them."""
    with tempfile.NamedTemporaryFile() as log, open(stdin_path, "rb") as fh:
        subprocess.run(["valgrind", "--tool=lackey", "--trace-superblocks=yes",
                        f"--log-file={log.name}", binary], stdin=fh,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        addrs = [a for a, _ in syms]
        for line in open(log.name):
            if not line.startswith("SB "):
                continue
            i = bisect.bisect_right(addrs, int(line[3:], 16)) - 1
            j = i
            while j >= 0 and syms[j][0] == syms[i][0]:
                if syms[j][1] not in seen:
                    seen.add(syms[j][1])
                    order.append(syms[j][1])
                j -= 1


def faulting(binary, stdin_path, build):
    """Functions whose code a native run first touches outside the laid-out range."""
    with tempfile.NamedTemporaryFile() as data, open(stdin_path, "rb") as fh:
        subprocess.run(["perf", "record", "-q", "-e", "page-faults", "-c", "1", "-d",
                        "-o", data.name, binary], stdin=fh,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=build)
        out = run(["perf", "script", "--no-demangle", "-i", data.name, "-F", "ip,sym"],
                  stderr=subprocess.DEVNULL)
    return [line.split()[1] for line in out.splitlines()
            if len(line.split()) == 2 and line.split()[1] != "[unknown]"]


def main():
    build = os.path.abspath(sys.argv[1])
    binary = os.path.join(build, "zelkora")
    bye = tempfile.NamedTemporaryFile(suffix=".lisp", delete=False)
    bye.write(b"(bye)\n")
    bye.close()
    syms = symbols(binary)
    order, seen = [], set()
    entered(binary, bye.name, syms, order, seen)
    start = len(order)
    entered(binary, os.path.join(HERE, "link_order.lisp"), syms, order, seen)
    names = {name for _, name in syms}
    link = open(os.path.join(build, "CMakeFiles", "zelkora.dir", "link.txt")).read().strip()
    if "--symbol-ordering-file=" not in link:
        sys.exit("the build does not link with lld's --symbol-ordering-file")
    for _ in range(20):  # each round finds what one fault per 64 kB window reveals
        with open(ORDER, "w") as fh:
            fh.write("\n".join(order) + "\n")
        subprocess.run(link, shell=True, check=True, cwd=build)
        new = [n for n in dict.fromkeys(faulting(binary, bye.name, build)) if n not in seen]
        if not new:
            break
        seen.update(new)
        order[start:start] = new
        start += len(new)
    # Other processors' variants after everything this one runs, so they do not spread it.
    for name in list(order):
        m = VARIANT.match(name)
        if m:
            for other in sorted(names):
                if other.startswith(m.group(1) + "_") and other not in seen:
                    seen.add(other)
                    order.append(other)
    with open(ORDER, "w") as fh:
        fh.write("\n".join(order) + "\n")
    subprocess.run(link, shell=True, check=True, cwd=build)
    os.unlink(bye.name)
    print(f"{ORDER}: {len(order)} functions, {start} of them at start-up")


if __name__ == "__main__":
    main()
