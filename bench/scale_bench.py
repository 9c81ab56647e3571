#!/usr/bin/env python3
"""What a GET, an expansion, a check and a profile cost as collections grow.

Usage: scale_bench.py TOOL SAMPLE_ROOT [--smoke]

Each figure is a ratio of two measures taken in one run, on trees that sample/scale.py makes
from copies of SAMPLE_ROOT:
  member GET    one member of each large collection (boot option, sensor, log entry) through
                `serve` on one keep-alive connection, median of many requests, at 10 000 members
                against 100 (target: at most 1.2)
  expand        the boot options collection with $expand=. at 10 000 members against 1 000
                (target: at most 11, linear within 10%), and an expanded member against its
                own request (target: at most 0.5)
  check         seconds per 1 000 resources of `check` on a tree with 10 000 log entries and
                1 000 sensors against one with 1 000 log entries (target: at most 1.2)
  profile       `profile` of one member against `get` of it, as whole commands
--smoke: small trees, one round, answers checked only.
"""
import argparse
import http.client
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from serve_process import UNBOUNDED, start_serve

HERE = os.path.dirname(os.path.abspath(__file__))
SCALE = os.path.join(HERE, "..", "sample", "scale.py")
SCHEMAS = os.path.join(HERE, "..", "..", "shared", "dmtf", "json-schema")
SYSTEM = "/redfish/v1/Systems/437XR1138R2"
COLLECTIONS = {"boot option": SYSTEM + "/BootOptions",
               "sensor": "/redfish/v1/Chassis/1U/Sensors",
               "log entry": "/redfish/v1/Managers/BMC/LogServices/EventLog/Entries"}


def make_tree(sample_root, tree, members, sensors=None, entries=None):
    """A copy of the sample with members boot options, sensors and log entries (or the two
    counts given)."""
    shutil.copytree(sample_root, tree)
    subprocess.run([sys.executable, SCALE, tree, "--boot-options", str(members), "--sensors",
                    str(members if sensors is None else sensors), "--log-entries",
                    str(members if entries is None else entries)], check=True,
                   stdout=subprocess.DEVNULL)
    return tree


class Service:
    """`serve` on a tree, with one keep-alive connection to it."""

    def __init__(self, tool, tree):
        # The expansion itself is measured, also past the service's bounds on one request.
        self.proc, port = start_serve(tool, tree, UNBOUNDED)
        self.connection = http.client.HTTPConnection("127.0.0.1", port, timeout=600)

    def get(self, target):
        self.connection.request("GET", target)
        response = self.connection.getresponse()
        body = response.read()
        if response.status != 200:
            raise SystemExit("%s: %d" % (target, response.status))
        return body

    def timed(self, target):
        start = time.perf_counter()
        body = self.get(target)
        return time.perf_counter() - start, body

    def stop(self):
        self.connection.close()  # else the service waits out the connection's keep-alive
        self.proc.terminate()
        self.proc.wait(timeout=30)


def member_gets(service, requests):
    """Median seconds of one member GET of each collection, over requests members spread over
    the collection."""
    medians = {}
    for name, collection in COLLECTIONS.items():
        links = [m["@odata.id"] for m in json.loads(service.get(collection))["Members"]]
        step = max(1, len(links) // requests)
        medians[name] = statistics.median(service.timed(uri)[0] for uri in links[::step])
    return medians


def expansion(service, rounds):
    """(median seconds of the expanded collection, median seconds per member request)."""
    collection = COLLECTIONS["boot option"]
    whole, alone = [], []
    for _ in range(rounds):
        seconds, body = service.timed(collection + "?$expand=.")
        whole.append(seconds)
        members = json.loads(body)["Members"]
        sample = members[:: max(1, len(members) // 200)]
        times = []
        for member in sample:
            took, single = service.timed(member["@odata.id"])
            if json.loads(single) != member:
                raise SystemExit("an expanded member differs from the member alone")
            times.append(took)
        alone.append(statistics.median(times))
    return statistics.median(whole), statistics.median(alone), len(members)


def check_seconds(tool, tree):
    """(seconds, resources) of check on tree."""
    start = time.perf_counter()
    done = subprocess.run([tool, "--root", tree, "check", "--schemas", SCHEMAS, "--json"],
                          capture_output=True, text=True)
    seconds = time.perf_counter() - start
    report = json.loads(done.stdout) if done.returncode in (0, 1) else {}
    if done.returncode != 0:
        raise SystemExit("check of %s: status %d, %s" % (tree, done.returncode,
                                                         report.get("problems", done.stderr)))
    return seconds, report["summary"]["resources"]


def command_seconds(args, rounds):
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("sample_root")
    parser.add_argument("--smoke", action="store_true")
    args = parser.parse_args()
    small, large, requests, rounds = (10, 40, 5, 1) if args.smoke else (100, 10000, 200, 3)
    scratch = tempfile.mkdtemp()
    rows = []
    try:
        trees = {n: make_tree(args.sample_root, os.path.join(scratch, str(n)), n)
                 for n in sorted({small, large, large // 10})}
        gets, expanded = {}, {}
        for n, tree in trees.items():
            service = Service(args.tool, tree)
            try:
                gets[n] = member_gets(service, requests)
                expanded[n] = expansion(service, rounds)
            finally:
                service.stop()
        for name in COLLECTIONS:
            rows.append(("member GET, ms, %s: %d against %d members" % (name, large, small),
                         gets[large][name] * 1e3, gets[small][name] * 1e3, 1.2))
        tenth = large // 10
        rows.append(("$expand=. of boot options, ms: %d against %d members" % (large, tenth),
                     expanded[large][0] * 1e3, expanded[tenth][0] * 1e3, 11))
        whole, alone, count = expanded[large]
        rows.append(("expanded member against its own request, ms (%d)" % count,
                     whole / count * 1e3, alone * 1e3, 0.5))
        checks = {}
        for entries, sensors in ((tenth, tenth), (large, tenth)):
            tree = make_tree(args.sample_root, os.path.join(scratch, "check-%d" % entries), small,
                             sensors, entries)
            seconds, resources = check_seconds(args.tool, tree)
            checks[entries] = seconds / resources * 1000
        rows.append(("check, s per 1000 resources: %d against %d log entries" % (large, tenth),
                     checks[large], checks[tenth], 1.2))
        tree = trees[large]
        links = subprocess.run([args.tool, "--root", tree, "get", COLLECTIONS["boot option"]],
                               capture_output=True, text=True, check=True).stdout
        member = json.loads(links)["Members"][0]["@odata.id"]
        profile = command_seconds([args.tool, "--root", tree, "profile", member], rounds * 3)
        get = command_seconds([args.tool, "--root", tree, "get", member], rounds * 3)
        rows.append(("profile of one member against get, ms (whole commands)", profile * 1e3,
                     get * 1e3, None))
    finally:
        shutil.rmtree(scratch)
    if args.smoke:
        print("scale_bench: %d figures measured, answers checked" % len(rows))
        return 0
    print("%-62s %12s %12s %7s %7s" % ("figure", "measure", "against", "ratio", "target"))
    failed = False
    for name, measure, against, target in rows:
        ratio = measure / against
        met = target is None or ratio <= target
        failed = failed or not met
        print("%-62s %12.3f %12.3f %7.2f %7s %s" % (name, measure, against, ratio,
                                                  "-" if target is None else "<= %g" % target,
                                                  "" if met else "NOT MET"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
