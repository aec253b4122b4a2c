#!/usr/bin/env python3
"""Times the extraction of the whole payload by two builds of the launcher under Wine, side by side.

    extraction_wine.py --prefix TEMPLATE [--rounds N] BASELINE.exe CANDIDATE.exe

Copies the Wine prefix TEMPLATE once, keeps one Wine server running for all runs, and then runs the
two launchers in turn, N rounds (7 by default), each run as `MXVLaunch.exe /b` in an empty folder of
its own with standard input from /dev/null: the launcher writes its eleven embedded files into the
folder, finds no console key and ends. Each run's wall time covers Wine's start of the program as
well, which is the same for both. Prints every time, the fastest and the median of each launcher,
and the candidate's median against the baseline's. A run that leaves other than eleven files fails the
benchmark. It is not a test.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

_PAYLOAD_FILES = 11


def run_once(wine_env, exe, folder):
    """The wall time of one dump of the payload into the empty folder, in seconds."""
    start = time.perf_counter()
    subprocess.run(["wine", exe, "/b"], cwd=folder, env=wine_env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    elapsed = time.perf_counter() - start
    written = len(os.listdir(folder))
    if written != _PAYLOAD_FILES:
        raise SystemExit(f"{exe} wrote {written} files, not {_PAYLOAD_FILES}")
    return elapsed


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--prefix", required=True, help="Wine prefix to copy")
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("baseline")
    parser.add_argument("candidate")
    arguments = parser.parse_args(argv)
    with tempfile.TemporaryDirectory(prefix="mxv-extraction-") as work:
        prefix = os.path.join(work, "prefix")
        shutil.copytree(arguments.prefix, prefix, symlinks=True)
        wine_env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")
        subprocess.run(["wineserver", "-p"], env=wine_env, check=True)
        times = {"baseline": [], "candidate": []}
        try:
            # One run of each first, unmeasured, so that both start from warm caches.
            for index, exe in enumerate((arguments.baseline, arguments.candidate)):
                folder = os.path.join(work, f"warm{index}")
                os.mkdir(folder)
                run_once(wine_env, os.path.abspath(exe), folder)
            for round_number in range(arguments.rounds):
                for name in ("baseline", "candidate"):
                    exe = os.path.abspath(getattr(arguments, name))
                    folder = os.path.join(work, f"{name}{round_number}")
                    os.mkdir(folder)
                    elapsed = run_once(wine_env, exe, folder)
                    times[name].append(elapsed)
                    print(f"round {round_number + 1} {name:9s} {elapsed:7.3f} s", flush=True)
                    shutil.rmtree(folder)
        finally:
            subprocess.run(["wineserver", "-k"], env=wine_env, check=False)
    baseline = statistics.median(times["baseline"])
    candidate = statistics.median(times["candidate"])
    print(f"fastest baseline  {min(times['baseline']):7.3f} s")
    print(f"fastest candidate {min(times['candidate']):7.3f} s")
    print(f"median baseline  {baseline:7.3f} s")
    print(f"median candidate {candidate:7.3f} s")
    print(f"candidate against baseline: {100.0 * (candidate / baseline - 1.0):+.1f} %")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
