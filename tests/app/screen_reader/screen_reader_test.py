#!/usr/bin/python3
"""The diary as a screen reader finds it over the accessibility bus.

Starts a private X server, a private session bus and the accessibility bus,
runs the program against an empty diary and walks its window with pyatspi:
no push button, check box, combo box or toggle button without a name; the
action bar's "Next" pressed through its action moves to the next day; the
entry's text, caret offset and the bold attribute of a bold word read through
the text interface.

Usage: screen_reader_test.py PROGRAM. Exits 77 (skipped) when Xvfb, the
accessibility bus or pyatspi are missing (scripts/setup.sh installs them).
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "x11"))
from x_session import program_argument, skip, start_x, wait_for  # noqa: E402

LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


def walk(node, depth=0):
    if node is None or depth > 60:
        return
    yield node
    try:
        count = node.childCount
    except Exception:
        return
    for i in range(count):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1)


def main():
    program = program_argument(__doc__, ("Xvfb", "dbus-run-session"))
    if not os.path.exists(LAUNCHER):
        skip("the accessibility bus (at-spi2-core) is not installed")
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        skip("pyatspi (python3-pyatspi) is not installed")
    # Everything below runs on a session bus of its own.
    if os.environ.get("QN_SCREEN_READER_BUS") != "1":
        env = dict(os.environ, QN_SCREEN_READER_BUS="1")
        return subprocess.call(["dbus-run-session", "--", sys.executable, __file__, program],
                                env=env)
    return run(program)


def run(program):
    import pyatspi

    server, display = start_x()
    home = tempfile.mkdtemp(prefix="qn-reader-")
    # The launcher starts the accessibility bus's own daemon: a process group
    # of their own goes away as one.
    launcher = subprocess.Popen([LAUNCHER, "--launch-immediately"],
                                env=dict(os.environ, DISPLAY=display),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                start_new_session=True)
    app = None
    try:
        time.sleep(1.0)
        env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1",
                   QUILLNOOK_HOME=home, XDG_RUNTIME_DIR=home)
        app = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        desktop = pyatspi.Registry.getDesktop(0)

        def diary():
            for i in range(desktop.childCount):
                a = desktop.getChildAtIndex(i)
                if a is not None and "quillnook" in (a.name or "").lower():
                    return a
            return None

        def named(role, name):
            def probe():
                a = diary()
                for node in walk(a):
                    if node.getRole() == role and node.name == name:
                        return node
                return None
            return probe

        try:
            root = wait_for("the diary on the accessibility bus", diary, 30)
        except AssertionError:
            skip("the program never appeared on the accessibility bus")
        nxt = wait_for("the Next button", named(pyatspi.ROLE_PUSH_BUTTON, "Next"))
        failures = []

        # No control without a name.
        controls = {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_COMBO_BOX,
                    pyatspi.ROLE_TOGGLE_BUTTON}
        checked = 0
        for node in walk(root):
            if node.getRole() in controls and node.getState().contains(pyatspi.STATE_SHOWING):
                checked += 1
                if not (node.name or "").strip():
                    failures.append("unnamed %s" % node.getRoleName())
        print("%d controls, all named" % checked if checked else "no controls found")
        if checked < 20:
            failures.append("only %d controls found" % checked)

        # Next, pressed by its action, moves the heading to the next day.
        def heading():
            for node in walk(diary()):
                if node.getRole() == pyatspi.ROLE_HEADING and node.name:
                    return node
            return None
        first_day = wait_for("the date heading", heading).name
        action = nxt.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        if "Press" not in names and "press" not in [n.lower() for n in names]:
            failures.append("Next has no press action: %r" % names)
        else:
            action.doAction([n.lower() for n in names].index("press"))
            wait_for("the heading to move on",
                     lambda: heading() is not None and heading().name != first_day)
            print("Next: %s -> %s" % (first_day, heading().name))

        # The entry: typed text, the caret, a bold word.
        entry = wait_for("the entry", named(pyatspi.ROLE_TEXT, "Entry"))
        entry.queryComponent().grabFocus()
        typer = shutil.which("xdotool")
        if typer:
            subprocess.check_call([typer, "type", "--delay", "20", "plain "],
                                  env=dict(os.environ, DISPLAY=display))
            bold = wait_for("the Bold button", named(pyatspi.ROLE_CHECK_BOX, "Bold"))
            bold.queryAction().doAction(0)
            time.sleep(0.5)
            entry.queryComponent().grabFocus()
            subprocess.check_call([typer, "type", "--delay", "20", "word"],
                                  env=dict(os.environ, DISPLAY=display))
            text = entry.queryText()
            wait_for("the typed text", lambda: text.getText(0, -1) == "plain word")
            if text.caretOffset != 10:
                failures.append("caret offset %d, not 10" % text.caretOffset)
            attributes, start, end = text.getAttributeRun(7, False)
            weight = str(attributes)
            print("text %r, caret %d, at 7: %s (%d..%d)" % (text.getText(0, -1), text.caretOffset,
                                                          weight, start, end))
            if "bold" not in weight and "700" not in weight:
                failures.append("no bold at offset 7: %s" % weight)
            if (start, end) != (6, 10):
                failures.append("the bold run is %d..%d, not 6..10" % (start, end))
        else:
            print("note: xdotool missing, the typing part is left out")

        # The date selector's calendar: the focused day with its date.
        date_button = wait_for("the Date button", named(pyatspi.ROLE_PUSH_BUTTON, "Date"))
        date_button.queryAction().doAction(0)
        calendar = wait_for("the calendar", named(pyatspi.ROLE_LIST, "Calendar"))
        today = heading().name
        days = [calendar.getChildAtIndex(i).name for i in range(calendar.childCount)]
        chosen = [d for d in days if d.startswith(today)]
        if len(chosen) != 1 or not chosen[0].endswith("entry"):
            failures.append("the calendar does not say the day on screen: %r" % days[:3])
        else:
            print("calendar: %s" % chosen[0])
        if typer:
            subprocess.call([typer, "key", "Escape"], env=dict(os.environ, DISPLAY=display))

        for f in failures:
            print("FAIL: " + f)
        print("checked %s" % ("with failures" if failures else "fine"))
        return 1 if failures else 0
    finally:
        if app is not None:
            app.kill()
            app.wait()
        try:
            os.killpg(launcher.pid, 9)
        except ProcessLookupError:
            pass
        launcher.wait()
        server.kill()
        server.wait()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
