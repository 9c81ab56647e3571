#!/usr/bin/env python3
"""sql2json check on the sample server and on a copy of it with planted faults.

Usage: check_test.py SAMPLE_TOOL BROKEN_TOOL SAMPLE_ROOT BROKEN_ROOT SCHEMA_DIR

The sample is clean and its walk reaches every resource the golden tests print. BROKEN_ROOT is
made afresh from SAMPLE_ROOT plus the statements in FAULTS; each planted fault must be
reported exactly once, at its URI and JSON pointer, and nothing else. Exits 77 (skipped) when
SCHEMA_DIR is absent.
"""
import json
import os
import shutil
import sqlite3
import subprocess
import sys

LIVE = "var/run/unifieddatabase/DMLiveObjectDatabase.db"
OPENAPI = "usr/share/redfish/rf_resource_info.db"
HMC = "var/run/unifieddatabase/HMC.db"
METADATA = "etc/unifieddatabase/RedfishSchemaMetaData.db"
PORT = "/redfish/v1/Managers/BMC/DedicatedNetworkPorts"
BOOT = "/redfish/v1/Systems/437XR1138R2/BootOptions"

# (database, statements or a (view, text, replacement) rewrite of a view's SQL, the problem
# expected: URI, JSON pointer, keyword)
FAULTS = [
    (LIVE, "UPDATE ChassisInventory SET ChassisType = 'Rackmounted'",
     ("/redfish/v1/Chassis/1U", "/ChassisType", "enum")),
    (HMC, ("ManagerPortView", "LinkStatus, MaxFrameSize",
           "LinkStatus, CAST(MaxFrameSize AS TEXT) AS MaxFrameSize"),
     (PORT + "/1", "/MaxFrameSize", "type")),
    (HMC, ("ManagerPortView", "AS LinkNetworkTechnology", "AS NetworkTechnology"),
     (PORT + "/1", "/NetworkTechnology", "additionalProperties")),
    # Two collections answered from their routes' CTE instead of the engine.
    (OPENAPI, "UPDATE EngineViews SET engine_view = NULL WHERE root_view IN "
              "('BootOptionCollectionRoot', 'ManagerPortCollectionRoot')", None),
    (OPENAPI, "UPDATE UriInfo SET CTE = replace(CTE, '''Name'', ''Boot Options'', ', '') "
              "WHERE view_name = 'BootOptionCollectionRoot'",
     (BOOT, "", "required")),
    (OPENAPI, "UPDATE UriInfo SET CTE = replace(CTE, 'count(*))', 'count(*) + 1)') "
              "WHERE view_name = 'ManagerPortCollectionRoot'",
     (PORT, "/Members@odata.count", "@odata.count")),
    (LIVE, "INSERT INTO ResourceLinks VALUES ('/redfish/v1/Chassis/1U/PCIeDevices/NIC', "
           "'Chassis', 1, '/redfish/v1/Chassis/2U')",
     ("/redfish/v1/Chassis/1U/PCIeDevices/NIC", "/Links/Chassis/1/@odata.id", "link")),
    (LIVE, "UPDATE ResourceLinks SET Target = '/redfish/v1/Chassis/1U/Thermal#/Fans/7' "
           "WHERE Kind = 'RedundancySet' AND Ord = 1",
     ("/redfish/v1/Chassis/1U/Thermal", "/Redundancy/0/RedundancySet/1/@odata.id", "link")),
    (LIVE, ("ManagerRoot", "'/redfish/v1/Managers/' || m.Id,", "'/Managers/' || m.Id,"),
     ("/redfish/v1/Managers/BMC", "/@odata.id", "@odata.id")),
]

# Resources the golden tests print through get (each must be on the walk).
GOLDEN_URIS = [BOOT, BOOT + "/1", "/redfish/v1/Chassis/1U/PCIeDevices/NIC",
               "/redfish/v1/Chassis/1U/Thermal", "/redfish/v1/Chassis/1U/Power", PORT, PORT + "/1"]


def run(tool, *args):
    emulator = os.environ.get("SQL2JSON_TOOL_EMULATOR", "").split()  # cross builds
    done = subprocess.run(emulator + [tool] + list(args), capture_output=True, text=True,
                          timeout=120)
    return done.returncode, done.stdout, done.stderr


def plant_faults(sample_root, broken_root):
    shutil.rmtree(broken_root, ignore_errors=True)
    shutil.copytree(sample_root, broken_root)
    for database, change, _ in FAULTS:
        with sqlite3.connect(os.path.join(broken_root, database)) as db:
            if isinstance(change, str):
                db.executescript(change)
                continue
            view, text, replacement = change
            sql = db.execute("SELECT sql FROM sqlite_master WHERE name = ?", (view,)).fetchone()[0]
            db.executescript("DROP VIEW %s; %s;" % (view, sql.replace(text, replacement)))


def main():
    sample, broken, sample_root, broken_root, schemas = sys.argv[1:6]
    if not os.path.isdir(schemas):
        print("SKIPPED tool_check: DMTF schemas not found at %s" % schemas)
        return 77
    failures = []

    def expect(condition, what):
        if not condition:
            failures.append(what)

    code, out, err = run(sample, "check", "--schemas", schemas, "--json")
    report = json.loads(out) if code in (0, 1) else {}
    expect(code == 0 and report.get("problems") == [], "sample not clean: %s %s" % (out, err))
    missed = set(GOLDEN_URIS) - set(report.get("checked", []))
    expect(not missed, "walk missed %s" % sorted(missed))

    plant_faults(sample_root, broken_root)
    code, out, err = run(broken, "check", "--schemas", schemas)
    lines = [l for l in out.splitlines() if not l.startswith("note: ")]
    planted = [fault[2] for fault in FAULTS if fault[2]]
    for uri, pointer, keyword in planted:
        found = [l for l in lines if l.startswith("%s#%s: %s: " % (uri, pointer, keyword))]
        expect(len(found) == 1, "%s#%s %s reported %d times" % (uri, pointer, keyword, len(found)))
    expect(code == 1 and len(lines) == len(planted) + 1 and
           lines[-1].startswith("checked ") and " %d problems " % len(planted) in lines[-1],
           "broken sample: status %d, output:\n%s%s" % (code, out, err))

    for args, status, text in [((), 2, "check needs --schemas DIR"),
                               (("--schemas", schemas, "--depth"), 2, "check takes"),
                               (("--schemas", "/nonexistent"), 4, "schema folder missing")]:
        code, out, err = run(sample, "check", *args)
        expect(code == status and text in err and not out, "check %s: %d %s" % (args, code, err))
    code, out, _ = run(sample, "check", "--schemas", schemas, "--json", "--from", BOOT + "/")
    expect(code == 0 and json.loads(out)["checked"][0] == BOOT, "--from: %d %s" % (code, out))

    for failure in failures:
        print("FAIL " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
