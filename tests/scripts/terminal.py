"""The interpreter in a real terminal (a tmux pane): line editing, Tab, history, Ctrl-C, Ctrl-D.

Types keys as a person would and reads the screen back. Skipped (status 77) when tmux is
missing or the program was built without line editing.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

from common import Checker

SKIP = 77
binary = os.path.abspath(sys.argv[1])

if not shutil.which("tmux"):
    print("SKIP: tmux is not installed (Debian: apt-get install tmux)")
    sys.exit(SKIP)
version = subprocess.run([binary, "--version"], capture_output=True, text=True).stdout
if "Line editing: libedit" not in version:
    print("SKIP: built without line editing (Debian: apt-get install libedit-dev, then rebuild)")
    sys.exit(SKIP)

t = Checker()
tmp = tempfile.mkdtemp()
tmux = []
servers = []


def start():
    """Opens the program in a new tmux server: a server whose last session has just ended may
    still be exiting, and a session asked of it then fails ("server exited unexpectedly")."""
    global tmux
    tmux = ["tmux", "-S", os.path.join(tmp, f"socket{len(servers)}"), "-f", "/dev/null"]
    servers.append(tmux)
    command = (f"env HOME={tmp} LANG=C.UTF-8 {binary}; echo \"[status $?]\"; sleep 60")
    opened = subprocess.run(tmux + ["new-session", "-d", "-s", "z", "-x", "100", "-y", "50",
                                    command], capture_output=True, text=True)
    return opened.returncode == 0, opened.stderr.strip()


def stop_servers():
    for server in servers:
        subprocess.run(server + ["kill-server"], stderr=subprocess.DEVNULL)


def lines():
    out = subprocess.run(tmux + ["capture-pane", "-p", "-t", "z"], capture_output=True,
                         text=True).stdout
    return [line.rstrip() for line in out.split("\n")]


def press(*keys):
    subprocess.run(tmux + ["send-keys", "-t", "z"] + list(keys), check=True)


def type_(text):
    subprocess.run(tmux + ["send-keys", "-t", "z", "-l", text], check=True)


def enter(text):
    """Types a line and presses Enter."""
    type_(text)
    press("Enter")


def wait_for(title, shows, wanted):
    deadline = time.time() + 10
    while True:
        shown = lines()
        if shows(shown):
            t.check(True, title)
            return True
        if time.time() > deadline:
            t.check(False, title, "want " + wanted + "\nscreen:\n" + "\n".join(shown))
            return False
        time.sleep(0.05)


def see(title, *want, count=1):
    """Waits until the screen shows each wanted line (at least count times for the last)."""
    return wait_for(title, lambda shown: all(w in shown for w in want)
                    and shown.count(want[-1]) >= count, "lines " + repr(want))


def see_listed(title, *names):
    """Waits until one line of the screen lists each of the names (Tab's candidates)."""
    return wait_for(title, lambda shown: any(set(names) <= set(line.split()) for line in shown),
                    "a line listing " + repr(names))


opened, why = start()
if not opened:
    # Some sandboxes have tmux but no pseudo-terminals for it: the machine, not the program.
    print("SKIP: tmux cannot open a terminal here: " + (why or "no reason given"))
    stop_servers()
    shutil.rmtree(tmp, ignore_errors=True)
    sys.exit(SKIP)
try:
    see("the banner and the first prompt", "Zelkora for Linux version2.18", "[1]")
    enter("(defun sq (x) (* x x))")
    see("a form typed and its value", "[1](defun sq (x) (* x x))", "SQ", "[2]")
    enter("(sq 12)")
    see("a second form", "[2](sq 12)", "144", "[3]")

    press("Up")
    see("Up recalls the last form", "[3](sq 12)")
    press("Left", "BSpace")
    type_("3")
    see("Left and Backspace edit it in place", "[3](sq 13)")
    press("Enter")
    see("the edited form runs", "169", "[4]")

    press("Up", "C-a")
    type_("(list ")
    press("C-e")
    type_(")")
    see("Ctrl-A and Ctrl-E move to the ends of the line", "[4](list (sq 13))")
    press("Enter")
    see("the wrapped form runs", "(169)", "[5]")

    type_('(list "日本語")')
    press("Left", "Left", "BSpace")
    see("Japanese text is edited by characters", '[5](list "日本")')
    press("Enter")
    see("and reaches the reader as typed", '("日本")', "[6]")

    enter("(list 1")
    time.sleep(1.0)  # typed ahead, the terminal itself would echo it once more
    type_("2")
    see("a continuation line shows no prompt", "[6](list 1", "2")
    press("C-c")
    see("Ctrl-C while typing drops the form and shows a fresh prompt", "2^C", "[7]")
    press("Up")
    see("a dropped form is not in the history", '[7](list "日本")')
    press("C-u")
    enter("'ok")
    see("the session goes on", "[7]'ok", "OK", "[8]")

    enter("(loop)")
    see("a form that runs for ever", "[8](loop)")
    time.sleep(1.0)  # the loop must be running, not still being read
    press("C-c")
    see("Ctrl-C stops it like an error", "エラー: 中断しました", "デバッグモードに入りました。", "*[1]")
    enter("abort")
    see("ABORT goes back to the prompt", "*[1]abort", "[9]")

    press("C-r")
    enter("sq 12")
    see("Ctrl-R finds an earlier form", "144", count=2)

    type_("(defpa")
    press("Tab")
    see("Tab completes a symbol's name", "[10](defparameter")
    type_("*limit* 3)")
    see("with a blank after it", "[10](defparameter *limit* 3)")
    press("Enter")
    see("the completed form runs", "*LIMIT*", "[11]")
    type_("(DEFPA")
    press("Tab")
    see("in the case it was typed in", "[11](DEFPARAMETER")
    press("C-u")
    enter("(defun my-long-function-name () 1)")
    see("a function of the user's", "MY-LONG-FUNCTION-NAME", "[12]")
    type_("(my-lo")
    press("Tab")
    see("its name completes too", "[12](my-long-function-name")
    type_(")")
    press("Enter")
    see("and it runs", "[12](my-long-function-name )", "1", "[13]")
    type_("(stri")
    press("Tab")
    see("several names: Tab completes what they share", "[13](string")
    press("Tab")
    see_listed("a second Tab lists them", "string", "string-equal", "stringp")
    see("under the line being typed", "[13](string", count=2)
    press("C-u")
    type_("(multiple-value-")
    press("Tab", "Tab")
    see_listed("the names a user calls are listed", "multiple-value-bind", "multiple-value-list",
               "multiple-value-setq")
    shown = "\n".join(lines())
    t.check("$" not in shown, "the library's helpers holding a $ are not", shown)
    press("C-u")
    type_("(get-")
    press("Tab", "Tab")
    time.sleep(0.5)
    shown = "\n".join(lines())
    t.check("get-type" not in shown and "get-contents" not in shown,
            "nor the start-up library's own helpers", shown)
    press("C-u")
    enter("(defun %my-helper () 2)")
    see("a helper named as the --cl prelude names them", "%MY-HELPER", "[14]")
    type_("(%my")
    press("Tab")
    time.sleep(0.5)
    see("is never offered", "[14](%my")
    press("C-u")

    enter("(list (sq 2)")
    time.sleep(1.0)  # typed ahead, the terminal itself would echo it once more
    enter("      (sq 3))")
    see("a form typed over two lines", "(4 9)", "[15]")
    press("Up")
    see("comes back from the history as one line", "[15](list (sq 2) (sq 3))")
    press("Enter")
    see("with the same value", "[16]", "(4 9)", count=2)
    enter("(bye)")
    see("BYE ends the session", "[status 0]")
    history = open(os.path.join(tmp, ".zelkora_history"), encoding="utf-8").read()
    t.check("(sq\\04012)" in history or "(sq 12)" in history, "history is kept in ~/.zelkora_history",
            history)

    t.check(start()[0], "a second terminal opens")
    see("a new session", "[1]")
    press("Up")
    see("remembers the last session's forms", "[1](bye)")
    press("Up")
    see("a form typed over two lines among them as one", "[1](list (sq 2) (sq 3))")
    press("C-u")
    see("Ctrl-U clears the line", "[1]")
    enter("(setq x (list 'a))")
    enter("(dotimes (i 40) (setq x (cons x x)))")
    see("a value sharing structure, printed as more text than memory holds", "[3]")
    enter("x")
    time.sleep(1.0)  # printing, for ever if nothing stops it
    press("C-c")
    see("Ctrl-C stops the print and opens the debug loop", "エラー: 中断しました",
        "デバッグモードに入りました。", "*[1]")
    enter("abort")
    see("ABORT goes back to the prompt after it", "*[1]abort", "[4]")
    press("C-d")
    see("Ctrl-D on an empty line ends the session with status 0", "[status 0]")
finally:
    stop_servers()
    shutil.rmtree(tmp, ignore_errors=True)
t.finish()
