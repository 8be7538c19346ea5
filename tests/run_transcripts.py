#!/usr/bin/env python3
"""Runs golden transcript files against the interpreter.

A transcript file holds cases:

    === title
    --- env NAME=VALUE        (optional, any number)
    --- chomp                 (optional: the input's final line end is not typed)
    --- heavy                 (optional: skipped in the collector stress build, too slow there)
    --- file NAME             (optional: the lines up to the next '--- ' line are written
                               to NAME in the case's working folder before the run)
    --- args WORD ...         (optional: command-line arguments, split as a shell splits
                               words; the output is then expected without the banner)
    <bytes typed on standard input, up to '--- output'>
    --- output
    <exact standard output after the banner; the final line end of this section is dropped>
    --- stderr                (optional: the exact standard error follows, up to its last
                               line end; without it standard error may hold only the lines
                               naming what failed at each error, "詳細: ...")
    --- status N              (optional, default 0)

Blank lines between cases are separators. To expect output that ends with a line end, close
the output section with a '--- status N' line: then exactly one final line end is dropped.

Each case runs in a fresh temporary folder. '#' lines before the first case are comments.
Prints 'N passed, M failed'; exits 1 on any failure. With ZELKORA_STRESS=1 in the
environment (for a build that collects at every step) collector reports are ignored on both sides.
"""
import os
import re
import shlex
import subprocess
import sys
import tempfile

GC_LINE = re.compile(rb"gc: [^\n]*\n")
DETAIL_LINE = re.compile("^詳細: [^\n]*\n".encode(), re.M)
STRESS = os.environ.get("ZELKORA_STRESS") == "1"
BANNER = "Zelkora for Linux version2.18\nCopyright (C) 2026 the Zelkora developers\n"


def parse(path):
    cases = []
    cur = None
    mode = None
    fname = None
    with open(path, "rb") as fh:
        lines = fh.read().decode("utf-8").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    for raw in lines:
        line = raw + "\n"
        if raw.startswith("=== "):
            cur = {"title": raw[4:], "env": {}, "files": {}, "input": "", "output": "",
                   "status": 0, "chomp": False, "exact": False,
                   "heavy": False, "args": None, "stderr": None}
            cases.append(cur)
            mode = "input"
            continue
        if cur is None:
            continue
        if raw.startswith("--- env "):
            k, _, v = raw[8:].partition("=")
            cur["env"][k] = v
            continue
        if raw.startswith("--- args "):
            cur["args"] = shlex.split(raw[9:])
            continue
        if raw == "--- heavy":
            cur["heavy"] = True
            continue
        if raw == "--- chomp":
            cur["chomp"] = True
            continue
        if raw.startswith("--- file "):
            fname = raw[9:]
            cur["files"][fname] = ""
            mode = "file"
            continue
        if raw == "--- input":
            mode = "input"
            continue
        if raw == "--- output":
            mode = "output"
            continue
        if raw == "--- stderr":
            cur["stderr"] = ""
            mode = "stderr"
            continue
        if raw.startswith("--- status "):
            cur["status"] = int(raw[11:])
            cur["exact"] = True
            mode = None
            continue
        if mode == "input":
            cur["input"] += line
        elif mode == "output":
            cur["output"] += line
        elif mode == "stderr":
            cur["stderr"] += line
        elif mode == "file":
            cur["files"][fname] += line
    for c in cases:
        if c["chomp"] and c["input"].endswith("\n"):
            c["input"] = c["input"][:-1]
        if not c["exact"]:
            c["output"] = c["output"].rstrip("\n") + "\n"
        if c["output"].endswith("\n"):
            c["output"] = c["output"][:-1]
        if c["stderr"]:  # blank lines after it separate cases
            c["stderr"] = c["stderr"].rstrip("\n") + "\n"
    return cases


def run(binary, path):
    passed = failed = 0
    for case in parse(path):
        if STRESS and case["heavy"]:
            continue
        with tempfile.TemporaryDirectory() as tmp:
            for name, text in case["files"].items():
                with open(os.path.join(tmp, name), "wb") as fh:
                    fh.write(text.encode("utf-8"))
            env = dict(os.environ)
            env.update(case["env"])
            try:
                proc = subprocess.run([binary] + (case["args"] or []),
                                      input=case["input"].encode("utf-8"),
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                      cwd=tmp, env=env, timeout=120)
            except subprocess.TimeoutExpired:
                print(f"FAIL {path}: {case['title']}: timed out")
                failed += 1
                continue
            banner = BANNER if case["args"] is None else ""
            want = (banner + case["output"]).encode("utf-8")
            got = proc.stdout
            if STRESS:
                want, got = GC_LINE.sub(b"", want), GC_LINE.sub(b"", got)
                proc.stdout = got
            ok = got == want and proc.returncode == case["status"]
            if case["stderr"] is None:  # only the lines naming what failed, if anything
                proc.stderr = DETAIL_LINE.sub(b"", proc.stderr)
            if ok:
                ok = proc.stderr == (case["stderr"] or "").encode("utf-8")
            if ok:
                passed += 1
            else:
                failed += 1
                print(f"FAIL {path}: {case['title']}")
                print(f"  status: want {case['status']} got {proc.returncode}")
                print("  --- want ---")
                print(want.decode("utf-8", "replace"))
                print("  --- got ---")
                print(proc.stdout.decode("utf-8", "replace"))
                if proc.stderr or case["stderr"]:
                    print("  --- stderr: want ---")
                    print(case["stderr"] or "")
                    print("  --- stderr: got ---")
                    print(proc.stderr.decode("utf-8", "replace")[:4000])
    return passed, failed


def main():
    binary = os.path.abspath(sys.argv[1])
    passed = failed = 0
    for path in sys.argv[2:]:
        p, f = run(binary, path)
        passed += p
        failed += f
    print(f"{passed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
