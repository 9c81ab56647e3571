#!/usr/bin/env python3
"""A collection expanded in one request against its members requested one by one.

Usage: expand_bench.py TOOL SAMPLE_ROOT [--members N] [--rounds R] [--smoke]

Copies SAMPLE_ROOT to a temporary tree whose system has N boot options (default 1000), serves
it with `TOOL --root TREE serve`, and times, on one keep-alive connection each, the collection
with `$expand=.` (one request) against the collection and then each member (N + 1 requests).
The expanded members must equal the members fetched alone. Prints the median of R rounds
(default 7) of each way and their ratio. --smoke: 20 members, one round, results checked only.
"""
import argparse
import http.client
import json
import os
import shutil
import sqlite3
import statistics
import sys
import tempfile
import time

from serve_process import UNBOUNDED, start_serve

LIVE = "var/run/unifieddatabase/DMLiveObjectDatabase.db"
SYSTEM = "437XR1138R2"
COLLECTION = "/redfish/v1/Systems/%s/BootOptions" % SYSTEM


def make_tree(sample_root, tree, members):
    """tree: a copy of the sample whose system has members boot options, and no others."""
    shutil.copytree(sample_root, tree)
    with sqlite3.connect(os.path.join(tree, LIVE)) as db:
        db.execute("DELETE FROM BootOptions")
        db.execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
                   "INSERT INTO BootOptions SELECT ?, printf('%04d', i), printf('Boot%04X', i), "
                   "'Option ' || i, 'PciRoot(0x0)/Pci(0x1,0x0)', 'Pxe', i % 2, "
                   "'UEFI Boot Option' FROM n", (members, SYSTEM))


def get(connection, target):
    connection.request("GET", target)
    response = connection.getresponse()
    body = response.read()
    if response.status != 200:
        raise SystemExit("%s: %d" % (target, response.status))
    return json.loads(body)


def one_by_one(connection):
    """The collection and each of its members, one request each: (seconds, members)."""
    start = time.perf_counter()
    links = get(connection, COLLECTION)["Members"]
    members = [get(connection, link["@odata.id"]) for link in links]
    return time.perf_counter() - start, members


def expanded(connection):
    """The collection with its members expanded, one request: (seconds, members)."""
    start = time.perf_counter()
    members = get(connection, COLLECTION + "?$expand=.")["Members"]
    return time.perf_counter() - start, members


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("sample_root")
    parser.add_argument("--members", type=int, default=1000)
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--smoke", action="store_true")
    args = parser.parse_args()
    members, rounds = (20, 1) if args.smoke else (args.members, args.rounds)
    scratch = tempfile.mkdtemp()
    try:
        make_tree(args.sample_root, os.path.join(scratch, "tree"), members)
        # The expansion itself is measured, also past the service's bounds on one request.
        service, port = start_serve(args.tool, os.path.join(scratch, "tree"), UNBOUNDED)
        try:
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=120)
            times = {"one by one": [], "expanded": []}
            for _ in range(rounds):
                alone_seconds, alone = one_by_one(connection)
                expanded_seconds, inline = expanded(connection)
                if len(alone) != members or inline != alone:
                    raise SystemExit("the expanded members differ from the members alone")
                times["one by one"].append(alone_seconds)
                times["expanded"].append(expanded_seconds)
        finally:
            service.terminate()
            service.wait(timeout=15)
    finally:
        shutil.rmtree(scratch)
    if args.smoke:
        print("expand_bench: %d members, expanded equal to the members alone" % members)
        return 0
    alone, inline = (statistics.median(times[k]) for k in ("one by one", "expanded"))
    print("%d members, median of %d rounds: %d requests %.1f ms, one request with $expand=. "
          "%.1f ms (%.2fx)" % (members, rounds, members + 1, alone * 1e3, inline * 1e3,
                               alone / inline))
    return 0


if __name__ == "__main__":
    sys.exit(main())
