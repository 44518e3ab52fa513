#!/usr/bin/env python3
"""Runs one Windows test program under Wine on a private Xvfb display, for the
tests that answer real message boxes.
Usage: wine_display_run.py WINE_ROOT WINE_RUN PROGRAM [ARGS...]
The prefix's wineserver is ended before and after the run: Wine's desktop
belongs to the display of the first program that needs it, so one left over
from another display (or from none) would swallow the test's windows."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'e2e'))
import harness  # noqa: E402  (the e2e tests' Xvfb starter)


def end_wineserver(root):
    env = dict(os.environ, WINEPREFIX=os.path.join(root, 'prefix'), HOME=os.path.join(root, 'home'))
    subprocess.run(['wineserver', '-k'], env=env, stderr=subprocess.DEVNULL)
    subprocess.run(['wineserver', '-w'], env=env, stderr=subprocess.DEVNULL, timeout=60)


def main():
    if len(sys.argv) < 4:
        sys.stderr.write(__doc__)
        return 2
    root, wine_run, command = sys.argv[1], sys.argv[2], sys.argv[3:]
    with harness.Display() as display:
        end_wineserver(root)
        try:
            env = dict(os.environ, DISPLAY=display.name)
            return subprocess.run([wine_run, root, *command], env=env).returncode
        finally:
            end_wineserver(root)


if __name__ == '__main__':
    sys.exit(main())
