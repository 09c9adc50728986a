#!/usr/bin/python3
"""Text of many scripts typed into the entry through the real keyboard path.

Starts a private X server with a window manager, runs the program on a new
diary, types a line of Polish, Greek, Russian, Japanese, emoji and
punctuation into the entry with xdotool (which maps each character to a key
of its own when the layout lacks it), closes the window (which saves), and
reads the stored entry back through a second run of the program: its text
export. With SHOTS=FOLDER set, leaves a picture of the window there
(entry_of_every_script.png).

Usage: typing_scripts_test.py PROGRAM. Exits 77 (skipped) when Xvfb or
xdotool are missing (scripts/setup.sh installs them).
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "x11"))
from x_session import program_argument, skip, start_x, wait_for  # noqa: E402

TYPED = "Łódź € é ñ ü 日本 😀 — “quotes” Œœ Šš Ÿ ß Ω ä αθήνα Москва"


def main():
    program = program_argument(__doc__, ("Xvfb", "xdotool"))
    server, display = start_x()
    home = tempfile.mkdtemp(prefix="qn-scripts-")
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", QUILLNOOK_HOME=home,
               XDG_RUNTIME_DIR=home)
    manager = None
    app = None
    try:
        if shutil.which("openbox"):
            manager = subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
            time.sleep(0.5)
        app = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)

        def window():
            out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "Quillnook"],
                                 env=env, capture_output=True, text=True).stdout.split()
            return out[0] if out else None
        win = wait_for("the diary window", window)
        subprocess.call(["xdotool", "windowactivate", "--sync", win], env=env,
                        stderr=subprocess.DEVNULL)
        time.sleep(1.0)
        # The focus is in the entry when the window opens; type as a user would.
        subprocess.check_call(["xdotool", "type", "--delay", "100", TYPED], env=env)
        time.sleep(1.0)
        shots = os.environ.get("SHOTS")
        if shots and shutil.which("xwd") and shutil.which("xwdtopnm"):
            os.makedirs(shots, exist_ok=True)
            picture = os.path.join(shots, "entry_of_every_script.png")
            subprocess.call("xwd -id %s | xwdtopnm 2>/dev/null | pnmtopng > '%s'" % (win, picture),
                            shell=True, env=env)
        # Closing the window saves the entry. A key pressed right after
        # xdotool has mapped keys of its own for the typed characters is now
        # and then lost on the way: press again until the window goes.
        for _ in range(6):
            subprocess.call(["xdotool", "windowactivate", "--sync", win], env=env,
                            stderr=subprocess.DEVNULL)
            subprocess.call(["xdotool", "key", "alt+F4"], env=env)
            try:
                app.wait(timeout=5)
                break
            except subprocess.TimeoutExpired:
                pass
        if app.poll() is None:
            if shots:
                subprocess.call("xwd -root | xwdtopnm 2>/dev/null | pnmtopng > '%s'"
                                % os.path.join(shots, "typing_not_closed.png"), shell=True,
                                env=env)
            print("FAILED: the window did not close")
            return 1
        if app.returncode != 0:
            print("the program ended with status %d" % app.returncode)
            return 1
        app = None
        out = os.path.join(home, "entries.txt")
        subprocess.check_call([program, "export", "--format", "text", out], env=env,
                              stdout=subprocess.DEVNULL)
        with open(out, encoding="utf-8") as f:
            stored = f.read()
        print("typed:  %s" % TYPED)
        print("stored: %s" % stored.strip().splitlines()[-1] if stored.strip() else "stored nothing")
        if TYPED not in stored:
            print("FAILED: the stored entry does not hold the typed text")
            return 1
        print("the typed text is stored and read back whole")
        return 0
    finally:
        for p in (app, manager):
            if p is not None:
                p.kill()
                p.wait()
        server.kill()
        server.wait()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
