#!/usr/bin/env python3
"""Benchmarks: median wall time and peak RSS of whole runs of the interpreter.

    python3 bench/run.py path/to/zelkora [runs] [name ...]

Names, when given, pick the cases to run (start-up and the bench/*.lisp programs by file name).

Start-up feeds `(bye)` on standard input; the others feed a bench/*.lisp program. The runs are
made by bench/measure (built beside the interpreter), so the figures are the interpreter's own.
Against each peer a program runs again, at least 11 times, alternating with the peer's runs,
so that the ratio compares runs made at the same moments.
"""
import os
import re
import shlex
import subprocess
import sys
import shutil
import statistics
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def measure(tool, binary, data, runs):
    with tempfile.NamedTemporaryFile(delete=False) as fh:
        fh.write(data)
        path = fh.name
    try:
        out = subprocess.run([tool, str(runs), path, binary], check=True,
                             stdout=subprocess.PIPE).stdout.split()
    finally:
        os.unlink(path)
    return float(out[0]), int(out[1])


def interleaved(tool, contenders, runs):
    """Median time and peak memory of each (binary, program) pair, their runs taken in turn, so
    that a machine that slows down for a while slows every contender alike."""
    times = [[] for _ in contenders]
    peaks = [0] * len(contenders)
    for _ in range(runs):
        for i, (binary, data) in enumerate(contenders):
            t, p = measure(tool, binary, data, 1)
            times[i].append(t)
            peaks[i] = max(peaks[i], p)
    return [(statistics.median(t), p) for t, p in zip(times, peaks)]


# What each program prints when it computed the right answer: a fast wrong answer fails.
EXPECT = {"lists_twins": b"OK 400000 0 400 19721100",
          "sort_big": b"OK 100000 24 999997",
          "hash_big": b"OK 99000 100000",
          "fib": b"OK 317811",
          "tak": b"OK 9",
          "strings": b"OK 240000",
          "macros": b"((60000 40000) 28981429)",
          "closures": b"OK 2000000",
          "lists_rounds": b"OK 39700",
          "wordcount": b"OK 5000 200000 39",
          "live_big": b"OK 1000000 999999",
          "fft": b"OK 51153 51153 3372223 3372223 8 1024 2 512 512",
          "puzzle": b"OK 3 10814 54 375",
          "destruct": b"OK 1 234 1549 609621"}
GC_LINE = re.compile(rb"gc: [^\n]*\n")

# The same programs for other Lisps, run beside ours when they are installed; each reads its
# program on standard input, as ours does.
PEERS = [("newLISP", "newlisp", ".lsp"), ("PicoLisp", "picolisp", ".l"), ("CLISP", "clisp", ".cl")]
# Arguments a peer needs for that. CLISP: a script from standard input, without banner, prompts
# or echoed values, and an error ends the run instead of opening its debugger.
PEER_ARGS = {"clisp": ["-q", "-norc", "-"]}


def peer_command(cmd, folder):
    """The peer as one program without arguments, as bench/measure runs it: a peer that needs
    arguments gets a shell script in folder that passes them (it costs the peer an exec)."""
    path = shutil.which(cmd)
    if cmd not in PEER_ARGS:
        return path
    script = os.path.join(folder, cmd)
    with open(script, "w") as fh:
        fh.write(f"#!/bin/sh\nexec {shlex.join([path] + PEER_ARGS[cmd])}\n")
    os.chmod(script, 0o755)
    return script


def check(binary, name, data):
    want = EXPECT.get(name)
    if want is None:
        return
    out = GC_LINE.sub(b"", subprocess.run([binary], input=data, stdout=subprocess.PIPE,
                                          check=True).stdout)
    if want not in out:
        sys.exit(f"{name}: wrong result, expected {want.decode()}")


def main():
    binary = os.path.abspath(sys.argv[1])
    tool = os.path.join(os.path.dirname(binary), "bench_measure")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 21
    wanted = set(sys.argv[3:])
    names = ("arith", "arith_ratio", "sort", "hash", "lists", "lists_twins", "sort_big",
             "hash_big", "fib", "tak", "strings", "macros", "closures", "live_big",
             "lists_rounds", "fft", "puzzle", "destruct", "wordcount")
    unknown = wanted - set(names) - {"start-up"}
    if unknown:
        sys.exit(f"no such benchmark: {' '.join(sorted(unknown))}")
    cases = [("start-up", b"(bye)\n", runs)]
    for name in names:
        with open(os.path.join(HERE, name + ".lisp"), "rb") as fh:
            cases.append((name, fh.read() + b"(bye)\n", 5))
    if wanted:
        cases = [case for case in cases if case[0] in wanted]
    folder = tempfile.mkdtemp()
    try:
        run_cases(binary, tool, cases, folder)
    finally:
        shutil.rmtree(folder)


def run_cases(binary, tool, cases, folder):
    peers = [(label, peer_command(cmd, folder), ext) for label, cmd, ext in PEERS
             if shutil.which(cmd)]
    if not peers:
        labels = ", ".join(label for label, _, _ in PEERS)
        print(f"({labels}: none installed, Zelkora's figures alone)")
    print(f"{'benchmark':<14}{'median':>12}{'peak RSS':>12}  runs")
    for name, data, n in cases:
        check(binary, name, data)
        others = []
        for label, cmd, ext in peers:
            path = os.path.join(HERE, "peers", name + ext)
            if not os.path.exists(path):
                continue
            with open(path, "rb") as fh:
                program = fh.read()
            out = subprocess.run([cmd], input=program, stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL).stdout
            ok = name not in EXPECT or EXPECT[name] in out
            others.append((label, cmd, program, ok))
        median, peak = measure(tool, binary, data, n)
        print(f"{name:<14}{median:>10.2f}ms{peak / 1024:>10.1f}MB  {n}")
        for label, cmd, program, ok in others:
            # Against a peer: runs in turn with it, more of them, and the ratio of those runs'
            # medians (a peer's own memory use does not spill into another peer's pairing).
            runs = max(n, 11)
            (zm, _), (pm, pp) = interleaved(tool, [(binary, data), (cmd, program)], runs)
            print(f"  {label:<12}{pm:>10.2f}ms{pp / 1024:>10.1f}MB  {runs}  zelkora/{label} "
                  f"{zm / pm:.1f}x (zelkora {zm:.2f}ms in these runs)"
                  f"{'' if ok else '  WRONG RESULT'}")


if __name__ == "__main__":
    main()
