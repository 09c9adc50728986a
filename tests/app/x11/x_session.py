"""What the tests that run the program under a private X server share:
skipping (exit status 77), waiting for something to appear, and starting
Xvfb on a free display."""

import os
import shutil
import subprocess
import sys
import time

SKIP = 77


def skip(why):
    print("skipped: " + why)
    sys.exit(SKIP)


def program_argument(usage, tools):
    """The program named on the command line; skips when one of the tools is
    not installed, prints the usage when the program is not named."""
    if len(sys.argv) != 2:
        print(usage)
        sys.exit(2)
    for tool in tools:
        if not shutil.which(tool):
            skip(tool + " is not installed")
    return os.path.abspath(sys.argv[1])


def wait_for(what, probe, seconds=20.0):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        found = probe()
        if found:
            return found
        time.sleep(0.2)
    raise AssertionError("timed out waiting for " + what)


def start_x():
    """An Xvfb server on a display it chooses; answers the process and ':N'."""
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0",
                               "1280x1024x24", "-nolisten", "tcp"],
                              pass_fds=[write], stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as f:
        number = f.readline().strip()
    if not number:
        server.kill()
        skip("Xvfb did not start")
    return server, ":" + number
