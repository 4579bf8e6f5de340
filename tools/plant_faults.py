#!/usr/bin/python3
"""Plants the faults of tools/planted_faults.py one at a time in a scratch copy
of the tree and reports which of them the test suite catches.

Usage: tools/plant_faults.py [-k PATTERN] [--list] [--e2e] [--timeout SECONDS]
                             [--scratch DIR] [-R REGEX] [-E REGEX] [--names]

The tracked files are copied once into a scratch directory (kept in DIR with
--scratch, so that a later run builds incrementally), and a Release build is
configured there once. For each fault the script replaces the old text by the
new one, builds, runs ctest (the end-to-end test only with --e2e), records
which tests failed, and puts the file back. A test that runs past its time
limit counts as failed, so a fault that makes the code loop forever is caught
by the timeout. With -R or -E only the tests ctest selects by them run: quick
for a first look, while a figure to report comes from a run of the whole
suite. A fault whose old text does not occur exactly once is stale
and not counted; one whose tree does not build is reported and not counted.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tools"))
from planted_faults import FAULTS  # noqa: E402

JOBS = "2"
# Marks a directory as this script's scratch copy: only such a directory is
# emptied of what the tree does not track.
MARKER = ".planted-faults-scratch"


def label(fault):
    path, _, _, breaks = fault
    return "%s: %s" % (path, breaks)


def occurrences(tree, fault):
    with open(os.path.join(tree, fault[0]), encoding="utf-8") as f:
        return f.read().count(fault[1])


def sync_tree(scratch):
    """Makes scratch hold the tracked files of the working tree and nothing
    else (its build directory aside). Only a file whose content differs is
    copied, so an unchanged file keeps its time stamp and is not rebuilt."""
    listed = subprocess.run(["git", "-C", ROOT, "ls-files", "-z"], check=True,
                            capture_output=True).stdout.decode().split("\0")
    names = set(filter(None, listed)) | {MARKER}
    for top, dirs, files in os.walk(scratch):
        if top == scratch and "build" in dirs:
            dirs.remove("build")
        for name in files:
            path = os.path.join(top, name)
            if os.path.relpath(path, scratch) not in names:
                os.remove(path)
    for name in names:
        source, target = os.path.join(ROOT, name), os.path.join(scratch, name)
        if not os.path.isfile(source):
            continue  # deleted in the working tree
        with open(source, "rb") as f:
            data = f.read()
        if os.path.isfile(target):
            with open(target, "rb") as f:
                if f.read() == data:
                    continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        # Written now, not with the source's time stamp: a file edited while an
        # earlier run was building must still be newer than what that run built.
        shutil.copyfile(source, target)
        shutil.copymode(source, target)


def run(command, cwd, limit=None):
    """Runs command in its own process group; returns (status, output), with
    status None when it ran past limit seconds. The group is killed when the
    limit passes or the script is interrupted, so nothing runs on unseen."""
    proc = subprocess.Popen(command, cwd=cwd, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True,
                            start_new_session=True)
    try:
        out, _ = proc.communicate(timeout=limit)
        return proc.returncode, out
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        out, _ = proc.communicate()
        return None, out
    except BaseException:
        os.killpg(proc.pid, signal.SIGKILL)
        raise


def build(build_dir):
    return run(["cmake", "--build", build_dir, "-j", JOBS], build_dir)


def failed_tests(output):
    """The tests that ctest's progress lines report as not passed, each with
    "(timeout)" when that was the reason; also read from a cut-off run."""
    names = []
    for match in re.finditer(r"Test +#\d+: (\S+) \.*\*\*\*(\w+)", output):
        timed_out = match.group(2) == "Timeout"
        names.append(match.group(1) + (" (timeout)" if timed_out else ""))
    return names


def run_tests(build_dir, args):
    """Runs ctest; a whole run is cut at three times the per-test limit or
    three times the unchanged tree's run, whichever is longer."""
    command = ["ctest", "-j", JOBS, "--timeout", str(args.timeout)]
    excluded = [] if args.e2e else ["^end_to_end$"]
    excluded += [args.E] if args.E else []
    if excluded:
        command += ["-E", "|".join("(%s)" % e for e in excluded)]
    if args.R:
        command += ["-R", args.R]
    return run(command, build_dir, limit=3 * max(args.timeout, args.baseline))


def verdict(scratch, build_dir, fault, args):
    """Applies fault, builds, tests, restores the file; returns the result text
    and whether the fault was caught (None: not counted)."""
    path = os.path.join(scratch, fault[0])
    with open(path, encoding="utf-8") as f:
        original = f.read()
    if original.count(fault[1]) != 1:
        return "stale", None
    try:
        with open(path, "w", encoding="utf-8") as f:
            f.write(original.replace(fault[1], fault[2]))
        status, out = build(build_dir)
        if status != 0:
            sys.stderr.write(out[-3000:])
            return "does not build", None
        status, out = run_tests(build_dir, args)
    finally:
        with open(path, "w", encoding="utf-8") as f:
            f.write(original)
    if status == 0:
        return "MISSED", False
    names = failed_tests(out)
    if status is None:
        names.append("the whole run past its time limit")
    names = names or ["ctest status %d" % status]
    shown = ", ".join(names if args.names else names[:3])
    if len(names) > 3 and not args.names:
        shown += " and %d more" % (len(names) - 3)
    return "caught: " + shown, True


def prepare(scratch, args):
    """Copies the tree, configures and builds it; returns the build directory.
    Ends the script if the unchanged tree does not build or pass its tests."""
    sync_tree(scratch)
    build_dir = os.path.join(scratch, "build")
    status, out = run(["cmake", "-S", scratch, "-B", build_dir,
                       "-DCMAKE_BUILD_TYPE=Release"], scratch)
    if status == 0:
        status, out = build(build_dir)
    if status != 0:
        sys.exit(out[-3000:] + "\nThe unchanged tree does not build.")
    started = time.monotonic()
    status, out = run_tests(build_dir, args)
    if status != 0:
        sys.exit(out[-3000:] + "\nThe unchanged tree fails its tests.")
    args.baseline = time.monotonic() - started
    return build_dir


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("-k", metavar="PATTERN",
                        help="only the faults whose file or behaviour matches "
                             "this regular expression")
    parser.add_argument("--list", action="store_true",
                        help="list the faults (and the stale ones) and stop")
    parser.add_argument("--e2e", action="store_true",
                        help="run the end-to-end test too")
    parser.add_argument("--timeout", type=int, default=60,
                        help="seconds one test may take (default 60)")
    parser.add_argument("--scratch", metavar="DIR",
                        help="keep the scratch copy and its build in DIR")
    parser.add_argument("-R", metavar="REGEX",
                        help="run only the tests whose name matches (ctest -R)")
    parser.add_argument("-E", metavar="REGEX",
                        help="leave out the tests whose name matches (ctest -E)")
    parser.add_argument("--names", action="store_true",
                        help="name every failed test, not only the first three")
    args = parser.parse_args()
    # Stopped from outside, the script ends as on Ctrl+C: the running build or
    # test is killed and the scratch copy removed.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("Stopped."))
    args.baseline = 0  # seconds the unchanged tree's tests take, once known
    chosen = [(n, f) for n, f in enumerate(FAULTS, 1)
              if not args.k or re.search(args.k, label(f))]
    if not chosen:
        sys.exit("No fault matches %r." % args.k)
    if args.list:
        for n, fault in chosen:
            stale = "" if occurrences(ROOT, fault) == 1 else "  [stale]"
            print("%3d  %s%s" % (n, label(fault), stale))
        return 0

    scratch = args.scratch or tempfile.mkdtemp(prefix="mahjong-faults-")
    os.makedirs(scratch, exist_ok=True)
    marker = os.path.join(scratch, MARKER)
    if os.listdir(scratch) and not os.path.exists(marker):
        sys.exit("%s is not empty and not a scratch copy of this script." % scratch)
    open(marker, "w").close()
    try:
        build_dir = prepare(scratch, args)
        width = max(len(label(fault)) for _, fault in chosen)
        counted = caught = 0
        for n, fault in chosen:
            text, was_caught = verdict(scratch, build_dir, fault, args)
            print("%3d  %-*s  %s" % (n, width, label(fault), text), flush=True)
            if was_caught is not None:
                counted += 1
                caught += was_caught
        build(build_dir)  # leave the build matching the restored tree
    finally:
        if not args.scratch:
            shutil.rmtree(scratch, ignore_errors=True)
    print("caught %d of %d" % (caught, counted))
    return 0


if __name__ == "__main__":
    sys.exit(main())
