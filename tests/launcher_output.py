"""What the launcher and the stand-in utility leave for a test to read, the same on Windows and on
Linux: the run-log entry's layout, the utility's report, and the payload's file names as the build
passes them. The Wine harness and the native launch test both read them from here."""

import os
import re
import time

# One run-log entry without its line end, which is CR LF on Windows and LF on Linux.
LOG_ENTRY = (
    r"\[ (Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
    r"[ 123]\d \d\d:\d\d:\d\d \d{4} \]\tENTRY: (?P<message>[^\t]*)\tMODULE: MINI-LAUNCH\t"
    r"LINE: 282\tFILE: c:\\cvs_mxv\\DVT\\SNQVV2\\SRC\\MXVLaunch\\main")

# The eleven embedded files, in table order, as the build read them from payload/payload_layout.h;
# CTest passes them joined with commas. Empty when the variable is missing.
PAYLOAD_NAMES = [name for name in os.environ.get("MXV_PAYLOAD_NAMES", "").split(",") if name]

# Every time limit of a test is stretched by this factor where programs run slower than on the
# machine the limits were chosen on: the emulated guest sets MXV_WAIT_SCALE.
WAIT_SCALE = float(os.environ.get("MXV_WAIT_SCALE", "1"))


def wait_for(predicate, seconds=60.0, what="a condition"):
    """Polls until predicate() is true; fails after the given time."""
    deadline = time.monotonic() + seconds * WAIT_SCALE
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.05)
    raise AssertionError("timed out waiting for " + what)


def parse_report(text):
    """The stand-in utility's report as a dict of its KEY=VALUE lines, with the listed files and
    their sizes under 'files'."""
    report = {"files": {}}
    for line in text.splitlines():
        key, _, value = line.partition("=")
        if key == "file":
            name, _, size = value.rpartition(" size=")
            report["files"][name] = int(size)
        else:
            report[key] = value
    return report
