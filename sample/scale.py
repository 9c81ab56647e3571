#!/usr/bin/env python3
"""Grows the large collections of a copy of a built sample tree, for benchmarks and tests.

Usage: scale.py ROOT [--boot-options N] [--sensors N] [--log-entries N]

ROOT is a tree laid out as the build lays the sample out (a copy: the databases under it are
changed in place). Each option given makes its collection hold N members, by adding members
like the sample's own after them (a collection the sample already fills beyond N is left):
  --boot-options N  the system's boot options, each with a RelatedItem link to the system
  --sensors N       the chassis's sensors: temperature sensors, each also an entry of the
                    chassis's Thermal resource, with a RelatedItem link to the chassis
  --log-entries N   the manager's event log entries, one a minute, every tenth a warning
The tree stays consistent: `sql2json check` on it reports what it reports on the sample.
"""
import argparse
import os
import sqlite3
import sys

LIVE = "var/run/unifieddatabase/DMLiveObjectDatabase.db"
SYSTEM = "437XR1138R2"
CHASSIS = "1U"
MANAGER = "BMC"
LOG = "EventLog"
FIRST_ENTRY_TIME = 1700000000  # seconds since the epoch of the first added entry


def count(db, sql):
    return db.execute(sql).fetchone()[0]


def add_boot_options(db, total):
    have = count(db, "SELECT count(*) FROM BootOptions WHERE SystemId = '%s'" % SYSTEM)
    first = count(db, "SELECT max(CAST(Id AS INTEGER)) FROM BootOptions") + 1
    rows, links = [], []
    for n in range(first, first + total - have):
        rows.append((SYSTEM, str(n), "Boot%04X" % n, "UEFI HTTPv4 boot %d" % n,
                     "PciRoot(0x0)/Pci(0x1C,0x0)/Pci(0x0,0x0)/MAC(001122AABBCC,0x1)/IPv4(0.0.0.%d)"
                     % (n % 256), "UefiHttp", n % 2, "UEFI Boot Option"))
        links.append(("/redfish/v1/Systems/%s/BootOptions/%d" % (SYSTEM, n), "RelatedItem", 0,
                      "/redfish/v1/Systems/" + SYSTEM))
    db.executemany("INSERT INTO BootOptions VALUES (?, ?, ?, ?, ?, ?, ?, ?)", rows)
    db.executemany("INSERT INTO ResourceLinks VALUES (?, ?, ?, ?)", links)
    return len(rows)


def sensor_count(db):
    return sum(count(db, "SELECT count(*) FROM %s WHERE ChassisId = '%s'" % (table, CHASSIS))
               for table in ("TemperatureSensors", "FanSensors", "VoltageSensors",
                             "PowerControlSensors"))


def add_sensors(db, total):
    first = count(db, "SELECT max(CAST(MemberId AS INTEGER)) FROM TemperatureSensors") + 1
    rows, links = [], []
    for n in range(first, first + total - sensor_count(db)):
        rows.append((CHASSIS, str(n), "DIMM%d Temp" % n, 100 + n, "Enabled", "OK",
                     30 + n % 20, 80, 85, 90, -1, -1, -1, 0, 100, "Memory"))
        links.append(("/redfish/v1/Chassis/%s/Thermal#/Temperatures/%d" % (CHASSIS, n),
                      "RelatedItem", 0, "/redfish/v1/Chassis/" + CHASSIS))
    db.executemany("INSERT INTO TemperatureSensors VALUES "
                   "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", rows)
    db.executemany("INSERT INTO ResourceLinks VALUES (?, ?, ?, ?)", links)
    return len(rows)


def add_log_entries(db, total):
    where = "ManagerId = '%s' AND ServiceId = '%s'" % (MANAGER, LOG)
    have = count(db, "SELECT count(*) FROM LogEntries WHERE " + where)
    first = count(db, "SELECT coalesce(max(Id), 0) FROM LogEntries WHERE " + where) + 1
    rows = []
    for n in range(first, first + total - have):
        created = FIRST_ENTRY_TIME + 60 * n
        origin = "/redfish/v1/Chassis/%s/Thermal" % CHASSIS
        if n % 10:
            message = ("ResourceEvent.1.3.ResourceStatusChangedOK",
                       "The health of resource '%s' has changed to OK." % origin, "OK")
        else:
            message = ("ResourceEvent.1.3.ResourceStatusChangedWarning",
                       "The health of resource '%s' has changed to Warning." % origin, "Warning")
        rows.append((MANAGER, LOG, n, created, "Event", message[2], message[0], message[1],
                     '["%s", "%s"]' % (origin, message[2]), origin))
    db.executemany("INSERT INTO LogEntries VALUES (?, ?, ?, strftime('%Y-%m-%dT%H:%M:%S+00:00',"
                   " ?, 'unixepoch'), ?, ?, ?, ?, ?, ?)", rows)
    return len(rows)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("root")
    parser.add_argument("--boot-options", type=int, metavar="N")
    parser.add_argument("--sensors", type=int, metavar="N")
    parser.add_argument("--log-entries", type=int, metavar="N")
    args = parser.parse_args()
    path = os.path.join(args.root, LIVE)
    if not os.path.isfile(path):
        sys.exit("scale.py: database missing: %s" % path)
    with sqlite3.connect(path) as db:
        for name, grow, total in (("boot options", add_boot_options, args.boot_options),
                                  ("sensors", add_sensors, args.sensors),
                                  ("log entries", add_log_entries, args.log_entries)):
            if total is not None:
                print("%s: %d added" % (name, grow(db, total)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
