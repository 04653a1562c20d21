#!/usr/bin/env python3
"""The program follows the desktop's light or dark preference while it runs.

A private session bus (dbus-daemon) carries a stand-in for the settings portal
(portal_stand_in.py), once running before the program starts and once appearing
only after its window is open, as a portal started late does; it then switches
light -> dark -> light three times, and each time the window's pixels, read from
the X server's frame buffer, must follow.

    appearance.py VELKIN

Skipped (exit status 77) when a tool is missing; with CI=true that is a failure.
"""

import os
import queue
import shutil
import signal
import struct
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402

STAND_IN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "portal_stand_in.py")
PORTAL_PYTHON = "/usr/bin/python3"  # Debian's, which has python3-dbus and python3-gi


def missing_tools():
    missing = [t for t in e2e.TOOLS + ["dbus-daemon"] if shutil.which(t) is None]
    if subprocess.run([PORTAL_PYTHON, "-c", "import dbus, gi"], capture_output=True).returncode != 0:
        missing.append("python3-dbus and python3-gi")
    return missing


def frame_buffer_lightness(path, x, y, width, height):
    """The mean lightness (0..1) of a rectangle of the screen, from Xvfb's XWD frame buffer file."""
    with open(path, "rb") as f:
        data = f.read()
    header = struct.unpack(">25I", data[:100])
    header_size, bits_per_pixel, bytes_per_line, colours = header[0], header[11], header[12], header[19]
    if bits_per_pixel != 32:
        raise e2e.Failure(f"the frame buffer has {bits_per_pixel} bits a pixel, not 32")
    start = header_size + colours * 12
    total, count = 0.0, 0
    for row in range(y, y + height, 4):
        line = start + row * bytes_per_line
        for column in range(x, x + width, 4):
            b, g, r = data[line + column * 4:line + column * 4 + 3]
            total += (max(r, g, b) + min(r, g, b)) / 510
            count += 1
    return total / count


def run(velkin, portal_first):
    d = e2e.Desktop(velkin, xvfb_arguments=["-fbdir", "{home}"])
    processes = d.processes  # ended with the desktop
    try:
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address",
                                f"--address=unix:path={d.home}/bus"], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
        processes.append(bus)
        address = bus.stdout.readline().strip()
        if not address:
            raise e2e.Failure("the private session bus did not start")
        d.env["DBUS_SESSION_BUS_ADDRESS"] = address

        def start_portal():
            portal = subprocess.Popen([PORTAL_PYTHON, STAND_IN, "light"], env=d.env, stdin=subprocess.PIPE,
                                      stdout=subprocess.PIPE, text=True)
            processes.append(portal)
            threading.Thread(target=lambda: [said.put(line.strip()) for line in portal.stdout], daemon=True).start()
            if next_line() != "ready":
                raise e2e.Failure("the portal stand-in did not start")
            return portal

        said = queue.Queue()

        def next_line(skipping_reads=True):
            try:
                line = said.get(timeout=e2e.TIMEOUT)
                while skipping_reads and line == "read":
                    line = said.get(timeout=e2e.TIMEOUT)
                return line
            except queue.Empty:
                return None

        portal = start_portal() if portal_first else None
        d.write("notes.md", b"# Notes\n\n" + b"Some words on the page.\n\n" * 20)
        d.start("notes.md")
        wid = d.window("notes.md")
        geometry = dict(line.split("=") for line in d.x(["xdotool", "getwindowgeometry", "--shell", wid]).split())
        x, y, w, h = (int(geometry[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
        screen = os.path.join(d.home, "Xvfb_screen0")

        def lightness():
            # The lower middle of the window: text view paper with some lines of text on it.
            return frame_buffer_lightness(screen, x + w // 4, y + h // 2, w // 2, h // 3)

        def wait_scheme(scheme):
            test = (lambda: lightness() < 0.3) if scheme == "dark" else (lambda: lightness() > 0.7)
            try:
                e2e.wait_for(f"the window to turn {scheme}", test, timeout=10)
            except e2e.Failure:
                raise e2e.Failure(f"the window did not turn {scheme}: its lightness is {lightness():.2f}")

        wait_scheme("light")
        if not portal_first:
            portal = start_portal()
        # The program asks for the scheme at start and as soon as a portal appears,
        # having subscribed to its changes first.
        if next_line(skipping_reads=False) != "read":
            raise e2e.Failure("the program did not ask the portal for the scheme")
        for _ in range(3):
            for scheme in ("dark", "light"):
                portal.stdin.write(scheme + "\n")
                portal.stdin.flush()
                if next_line() != f"sent {scheme}":
                    raise e2e.Failure("the portal stand-in did not send the change")
                wait_scheme(scheme)
        if d.app.poll() is not None:
            raise e2e.Failure(f"velkin ended with status {d.app.returncode}")
    finally:
        d.close()


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    missing = missing_tools()
    if missing:
        reason = f"{', '.join(missing)} not installed (scripts/setup installs them)"
        if os.environ.get("CI") == "true":
            print(f"FAILED: {reason}; CI must run this test", file=sys.stderr)
            return 1
        print(f"SKIPPED: {reason}")
        return e2e.SKIPPED
    started = time.monotonic()
    try:
        for portal_first in (True, False):
            try:
                run(os.path.abspath(sys.argv[1]), portal_first)
            except e2e.Failure as failure:
                when = "running before" if portal_first else "started after"
                raise e2e.Failure(f"with the portal {when} the program: {failure}")
    except e2e.Failure as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        return 1
    print(f"appearance: passed in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
