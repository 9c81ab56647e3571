#!/usr/bin/env python3
"""What one request may cost `serve`: the deepest expansion of the service root on a tree with
10 000 log entries, with the service's bounds and with them lifted.

Usage: request_cost.py TOOL SAMPLE_ROOT [--entries N] [--seconds S] [--smoke]

For each way of serving a copy of SAMPLE_ROOT grown by sample/scale.py to N log entries
(default 10 000):
  one       one `GET /redfish/v1?$expand=*($levels=6)`: status, seconds, answer bytes, and the
            service's peak resident memory (VmHWM) before and after
  four      four clients sending that request again and again for S seconds (default 4) while a
            fifth sends a plain `GET /redfish/v1` every 0.1 s: the answers, the plain GET's
            median and longest time, and the peak memory after
The ways: the defaults (the expansion is refused, 400), and the bounds lifted
(--expand-max-resources 1000000 --expand-max-bytes 1073741824 --expand-workers 8), which is
how the service answered before it had them. Linux only (reads /proc).
--smoke: 300 entries, one second of load, statuses checked only.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

from serve_process import UNBOUNDED, start_serve

HERE = os.path.dirname(os.path.abspath(__file__))
SCALE = os.path.join(HERE, "..", "sample", "scale.py")
HEAVY = "/redfish/v1?$expand=*($levels=6)"
LIFTED = UNBOUNDED + ["--expand-workers", "8"]


class Service:
    """`serve` on a tree as a child process."""

    def __init__(self, tool, tree, options):
        self.proc, port = start_serve(tool, tree, options)
        self.base = "http://127.0.0.1:%d" % port

    def peak_kb(self):
        with open("/proc/%d/status" % self.proc.pid) as status:
            return int(re.search(r"VmHWM:\s+(\d+) kB", status.read()).group(1))

    def get(self, target):
        """(status, seconds, bytes) of one request on a connection of its own."""
        start = time.perf_counter()
        try:
            with urllib.request.urlopen(self.base + target, timeout=600) as answer:
                status, size = answer.status, len(answer.read())
        except urllib.error.HTTPError as refused:
            status, size = refused.code, len(refused.read())
        return status, time.perf_counter() - start, size

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=30)


def four_at_once(service, seconds):
    """The heavy answers' statuses and the plain GETs' (statuses, times) under load."""
    end = time.monotonic() + seconds
    heavy, plain = [], []

    def client():
        while time.monotonic() < end:
            heavy.append(service.get(HEAVY)[0])

    clients = [threading.Thread(target=client) for _ in range(4)]
    for each in clients:
        each.start()
    time.sleep(0.3)
    while time.monotonic() < end:
        status, took, _ = service.get("/redfish/v1")
        plain.append((status, took))
        time.sleep(0.1)
    for each in clients:
        each.join()
    return heavy, plain


def measure(tool, tree, options, seconds):
    """One row of figures for the service on tree started with options."""
    service = Service(tool, tree, options)
    try:
        idle = service.peak_kb()
        status, took, size = service.get(HEAVY)
        one = service.peak_kb()
        heavy, plain = four_at_once(service, seconds)
        return {"status": status, "seconds": took, "bytes": size, "idle": idle, "one": one,
                "four": service.peak_kb(), "heavy": sorted(set(heavy)),
                "plain": [s for s, _ in plain], "times": [t for _, t in plain]}
    finally:
        service.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("sample_root")
    parser.add_argument("--entries", type=int, default=10000)
    parser.add_argument("--seconds", type=float, default=4)
    parser.add_argument("--smoke", action="store_true")
    args = parser.parse_args()
    entries, seconds = (300, 1) if args.smoke else (args.entries, args.seconds)
    work = tempfile.mkdtemp(prefix="request-cost-")
    try:
        tree = os.path.join(work, "tree")
        shutil.copytree(args.sample_root, tree)
        subprocess.run([sys.executable, SCALE, tree, "--log-entries", str(entries)], check=True,
                       stdout=subprocess.DEVNULL)
        rows = [("defaults", measure(args.tool, tree, [], seconds)),
                ("bounds lifted", measure(args.tool, tree, LIFTED, seconds))]
    finally:
        shutil.rmtree(work)
    print("%s with %d log entries; peak resident memory of serve in MB" % (HEAVY, entries))
    for name, row in rows:
        print("%-14s one: %d in %.3f s, %d bytes, peak %.1f -> %.1f; four: %r, peak %.1f; "
              "plain GET /redfish/v1 meanwhile: median %.1f ms, longest %.1f ms (%d sent)"
              % (name, row["status"], row["seconds"], row["bytes"], row["idle"] / 1024,
                 row["one"] / 1024, row["heavy"], row["four"] / 1024,
                 statistics.median(row["times"]) * 1e3, max(row["times"]) * 1e3,
                 len(row["times"])))
    bounded, lifted = rows[0][1], rows[1][1]
    if (args.smoke and (bounded["status"], lifted["status"]) != (200, 200)) or \
            (not args.smoke and (bounded["status"], lifted["status"]) != (400, 200)) or \
            set(bounded["plain"] + lifted["plain"]) != {200}:
        raise SystemExit("unexpected answers")


if __name__ == "__main__":
    main()
