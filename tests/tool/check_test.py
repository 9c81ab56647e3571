#!/usr/bin/env python3
"""sql2json --root on copies of the sample tree, and check on the sample and on a faulty copy.

Usage: check_test.py TOOL SAMPLE_ROOT BROKEN_ROOT SCHEMA_DIR

BROKEN_ROOT is made afresh from SAMPLE_ROOT with the changes in FAULTS. One tool reads either
tree with --root: get, view, resolve and serve show the copy's values. check finds the sample
clean, its walk reaching every resource the golden tests print, and reports each planted fault
exactly once, at its URI and JSON pointer (the first of its places), and nothing else. Exits 77 (skipped) after the --root
cases when SCHEMA_DIR is absent.
"""
import json
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time
import urllib.request

LIVE = "var/run/unifieddatabase/DMLiveObjectDatabase.db"
OPENAPI = "usr/share/redfish/rf_resource_info.db"
HMC = "var/run/unifieddatabase/HMC.db"
METADATA = "etc/unifieddatabase/RedfishSchemaMetaData.db"
PORT = "/redfish/v1/Managers/BMC/DedicatedNetworkPorts"
BOOT = "/redfish/v1/Systems/437XR1138R2/BootOptions"
SWITCH = "/redfish/v1/Fabrics/CXL/Switches/CXL"

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
    (OPENAPI, "UPDATE UriInfo SET CTE = replace(CTE, 'count(*) FROM', 'count(*) + 1 FROM') "
              "WHERE view_name = 'ManagerPortCollectionRoot'",
     (PORT, "/Members@odata.count", "@odata.count")),
    # Three links to one missing chassis: one problem with three places, the first met first.
    (LIVE, "INSERT INTO ResourceLinks VALUES ('/redfish/v1/Chassis/1U/PCIeDevices/NIC', "
           "'Chassis', 1, '/redfish/v1/Chassis/2U'), (%r, 'RelatedItem', 1, "
           "'/redfish/v1/Chassis/2U'), (%r, 'RelatedItem', 1, '/redfish/v1/Chassis/2U/')"
           % (BOOT + "/1", BOOT + "/2"),
     ("/redfish/v1/Chassis/1U/PCIeDevices/NIC", "/Links/Chassis/1/@odata.id", "link")),
    (LIVE, "UPDATE ResourceLinks SET Target = '/redfish/v1/Chassis/1U/Thermal#/Fans/7' "
           "WHERE Kind = 'RedundancySet' AND Ord = 1",
     ("/redfish/v1/Chassis/1U/Thermal", "/Redundancy/0/RedundancySet/1/@odata.id", "link")),
    (LIVE, ("ManagerRoot", "'/redfish/v1/Managers/' || m.Id,", "'/Managers/' || m.Id,"),
     ("/redfish/v1/Managers/BMC", "/@odata.id", "@odata.id")),
    # What the engine used to drop or skip without a word: a sub-query two levels down that
    # nothing links to, a misspelt nested column, an engine view for a type it does not load.
    (LIVE, ("PowerControlView", "from PowerLimits", "from PowerLimit"),
     ("/redfish/v1/Chassis/1U/Power", "/PowerControl/0/PowerLimit", "statement")),
    (LIVE, ("PCIeDeviceView", "AS [Status#Health]", "AS [Status#Heath]"),
     ("/redfish/v1/Chassis/1U/PCIeDevices/NIC", "/Status/Heath", "dropped")),
    # The same in a view of two member resources: one problem of two rows.
    (LIVE, ("PortView", "AS [Status#Health]", "AS [Status#Heath]"),
     (SWITCH + "/Ports/D1", "/Status/Heath", "dropped")),
    (OPENAPI, "INSERT INTO EngineViews VALUES ('ChassisRoot', 'ChassisView')",
     ("/redfish/v1/Chassis/1U", "/@odata.type", "unformatted")),
    # A member's statement that reads its table whole: one problem, however many members.
    (LIVE, "DROP INDEX BootOptionUri", (BOOT + "/1", "", "scan")),
    # A route that no link leads to.
    (OPENAPI, "INSERT INTO UriInfo VALUES ('/redfish/v1/Chassis/%/Drives', 5, "
              "'DriveCollectionRoot', NULL, 'Login', NULL, 'GET', NULL)",
     ("/redfish/v1/Chassis/%/Drives", "", "unreached")),
]
# The faults that show in more than one place: (URI, pointer) of the first, the count of places
# and how the text ends.
PLACES = {("/redfish/v1/Chassis/1U/PCIeDevices/NIC", "/Links/Chassis/1/@odata.id"):
          (3, " (3 links; also %s/1#/RelatedItem/1/@odata.id and %s/2#/RelatedItem/1/@odata.id)"
           % (BOOT, BOOT)),
          (SWITCH + "/Ports/D1", "/Status/Heath"): (2, " (2 rows; also %s/Ports/U1#/Status/Heath)"
                                                     % SWITCH)}
# What the messages of some must say, by keyword.
MESSAGES = {"statement": 'the sub-query of "PowerLimit" (select LimitInWatts, LimitException, '
                         'CorrectionInMs from PowerLimit where ChassisId = \'1U\' and M...) '
                         'failed: no such table: PowerLimit',
            "dropped": tuple('column "Status#Heath" of engine view "%s" is not in the metadata '
                             'of "%s", so the engine drops it' % view_type for view_type in
                             [("PCIeDeviceView", "#PCIeDevice.v1_14_0.PCIeDevice"),
                              ("PortView", "#Port.v1_12_0.Port")]),
            "unformatted": '"#Chassis.v1_15_7.Chassis" is not one of the types the converter '
                           'loads (rf_metadata), so the engine view "ChassisView"',
            "scan": "the route's statement reads table BootOptions whole (2 rows) for each GET "
                    "of a member of /redfish/v1/Systems/%/BootOptions/% (2 walked): to search, "
                    "BootOptions needs an index on the expression the view selects as "
                    "\"@odata.id\", ('/redfish/v1/Systems/' || SystemId || '/BootOptions/' || Id)"}

# Resources the golden tests print through get (each must be on the walk).
GOLDEN_URIS = [BOOT, BOOT + "/1", "/redfish/v1/Chassis/1U/PCIeDevices/NIC",
               "/redfish/v1/Chassis/1U/Thermal", "/redfish/v1/Chassis/1U/Power", PORT, PORT + "/1"]


def run(tool, root, *args):
    """(status, stdout, stderr) of the tool on the tree root."""
    emulator = os.environ.get("SQL2JSON_TOOL_EMULATOR", "").split()  # cross builds
    done = subprocess.run(emulator + [tool, "--root", root] + list(args), capture_output=True,
                          text=True, timeout=120)
    return done.returncode, done.stdout, done.stderr


def serve_once(tool, root, path):
    """(body, log) of one GET served from root, or None when the build has no HTTP service."""
    emulator = os.environ.get("SQL2JSON_TOOL_EMULATOR", "").split()
    with tempfile.TemporaryFile("w+") as log:
        service = subprocess.Popen(emulator + [tool, "--root", root, "serve", "--port", "0"],
                                   stderr=log)
        try:
            for _ in range(100):
                log.seek(0)
                text = log.read()
                port = re.search(r"listening on http://127\.0\.0\.1:(\d+)/", text)
                if port or service.poll() is not None:
                    break
                time.sleep(0.1)
            if not port:
                return None if "has no HTTP service" in text else ("", text)
            url = "http://127.0.0.1:%s%s" % (port.group(1), path)
            body = urllib.request.urlopen(url, timeout=10).read().decode()
        finally:
            service.terminate()
            service.wait(timeout=15)
        log.seek(0)
        return body, log.read()


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


def check_copy(tool, sample_root, broken_root, expect):
    """get, view, resolve and serve with --root read the copy, not the sample."""
    chassis = "/redfish/v1/Chassis/1U"
    code, out, _ = run(tool, broken_root, "get", chassis)
    expect(code == 0 and json.loads(out)["ChassisType"] == "Rackmounted", "get: %d %s" % (code, out))
    code, out, _ = run(tool, broken_root, "view", "select ChassisType from ChassisInventory")
    expect(code == 0 and json.loads(out) == {"ChassisType": "Rackmounted"}, "view: %s" % out)
    code, out, _ = run(tool, broken_root, "resolve", chassis)
    expect(out.endswith(os.path.join(os.path.realpath(broken_root), LIVE) + "\n"), "resolve: " + out)
    served = serve_once(tool, broken_root, chassis + "/Power")
    if served is not None:  # a cross build without the HTTP library
        body, log = served
        expect(body and json.loads(body)["PowerControl"][0]["PowerLimit"] == {} and
               '/Power" 200 %d statement failed: no such table: PowerLimit\n' % len(body) in log,
               "serve: %s" % log)
    code, out, _ = run(tool, sample_root, "get", chassis)
    expect(code == 0 and json.loads(out)["ChassisType"] == "RackMount", "get on the sample")


def check_reports(tool, sample_root, broken_root, schemas, expect):
    """The sample is clean; each planted fault is reported once, in text and in --json."""
    code, out, err = run(tool, sample_root, "check", "--schemas", schemas, "--json")
    report = json.loads(out) if code in (0, 1) else {}
    expect(code == 0 and report.get("problems") == [], "sample not clean: %s %s" % (out, err))
    missed = set(GOLDEN_URIS) - set(report.get("checked", []))
    expect(not missed, "walk missed %s" % sorted(missed))

    planted = [fault[2] for fault in FAULTS if fault[2]]
    code, out, err = run(tool, broken_root, "check", "--schemas", schemas)
    lines = [l for l in out.splitlines() if not l.startswith("note: ")]
    for uri, pointer, keyword in planted:
        found = [l for l in lines if l.startswith("%s#%s: %s: " % (uri, pointer, keyword))]
        expect(len(found) == 1, "%s#%s %s reported %d times" % (uri, pointer, keyword, len(found)))
        shown = PLACES.get((uri, pointer), (1, ""))[1]
        expect(found and (found[0].endswith(shown) if shown else "; also" not in found[0]),
               "places of %s: %s" % (keyword, found))
    expect(code == 1 and len(lines) == len(planted) + 1 and
           lines[-1].startswith("checked ") and " %d problems " % len(planted) in lines[-1],
           "broken sample: status %d, output:\n%s%s" % (code, out, err))
    code, out, _ = run(tool, broken_root, "check", "--schemas", schemas, "--json")
    report = json.loads(out)
    found = sorted((p["uri"], p["pointer"], p["keyword"]) for p in report["problems"])
    expect(code == 1 and found == sorted(planted), "--json: %s" % found)
    for p in report["problems"]:
        expect(p["message"].startswith(MESSAGES.get(p["keyword"], "")), "message: %s" % p)
        count = PLACES.get((p["uri"], p["pointer"]), (1, ""))[0]
        expect(p["count"] == len(p["places"]) == count and
               p["places"][0] == {"uri": p["uri"], "pointer": p["pointer"]}, "places: %s" % p)
    checked = "checked %d resources," % len(report["checked"])
    expect(lines[-1].startswith(checked) and report["summary"]["resources"] ==
           len(report["checked"]), "counts: %s, --json %s" % (lines[-1], report["summary"]))

    for args, status, text in [((), 2, "check needs --schemas DIR"),
                               (("--json", "--schemas", schemas, "--depth"), 2, "check takes"),
                               (("--schemas", "/nonexistent", "--json"), 4,
                                "schema folder missing")]:
        code, out, err = run(tool, sample_root, "check", *args)
        expect(code == status and text in err and not out, "check %s: %d %s" % (args, code, err))
    code, out, _ = run(tool, sample_root, "check", "--schemas", schemas, "--json", "--from",
                       BOOT + "/")
    expect(code == 0 and json.loads(out)["checked"][0] == BOOT, "--from: %d %s" % (code, out))
    # The walk from a collection leaves it by links, but the unreached route is not below it.
    code, out, _ = run(tool, broken_root, "check", "--schemas", schemas, "--json", "--from", BOOT)
    keywords = {p["keyword"] for p in json.loads(out)["problems"]} if code == 1 else set()
    expect("required" in keywords and "unreached" not in keywords, "--from: %s" % keywords)


def steps(statements):
    """(step or sub-query pointer, rows, tables read whole) of each statement, depth first."""
    for st in statements:
        yield (st.get("pointer", st["step"]), st["rows"], [t["table"] for t in st["scans"]])
        yield from steps(st["subQueries"])


def check_scale(tool, sample_root, broken_root, schemas, expect):
    """A tree grown by sample/scale.py stays clean; profile shows each statement searching."""
    tree = broken_root + "-scaled"
    shutil.rmtree(tree, ignore_errors=True)
    shutil.copytree(sample_root, tree)
    scale = os.path.join(os.path.dirname(__file__), "..", "..", "sample", "scale.py")
    subprocess.run([sys.executable, scale, tree, "--boot-options", "300", "--sensors", "300",
                    "--log-entries", "300"], check=True, stdout=subprocess.DEVNULL)
    if os.path.isdir(schemas):
        code, out, err = run(tool, tree, "check", "--schemas", schemas, "--json")
        report = json.loads(out) if code in (0, 1) else {}
        expect(code == 0 and len(report.get("checked", [])) > 900,
               "scaled tree: %d %s %s" % (code, report.get("problems"), err))
    profiles = [("/redfish/v1/Chassis/1U/Power",  # telemetry route, engine with sub-queries
                 [("route lookup", 1, ["UriInfo"]), ("route statement", 1, []),
                  ("engine lookup", 1, []), ("engine view", 1, []), ("/PowerControl", 1, []),
                  ("/PowerControl/0/PowerLimit", 1, []), ("/PowerControl/0/RelatedItem", 2, []),
                  ("/PowerSupplies", 1, []), ("/PowerSupplies/0/InputRanges", 2, [])]),
                ("/redfish/v1/Managers/BMC/LogServices/EventLog/Entries/150",
                 [("route lookup", 1, ["UriInfo"]), ("route statement", 1, [])])]
    for uri, expected in profiles:
        code, out, _ = run(tool, tree, "profile", uri, "--json")
        got = list(steps(json.loads(out)["statements"])) if code == 0 else []
        expect(got[:len(expected)] == expected and all(not t for _, _, t in got[1:]),
               "profile %s: %s" % (uri, got))
    code, out, _ = run(tool, broken_root, "profile", BOOT + "/2")
    expect(code == 0 and "! scans main.BootOptions (2 rows)" in out, "profile of a scan: " + out)
    shutil.rmtree(tree)


def main():
    tool, sample_root, broken_root, schemas = sys.argv[1:5]
    failures = []

    def expect(condition, what):
        if not condition:
            failures.append(what)

    plant_faults(sample_root, broken_root)
    check_copy(tool, sample_root, broken_root, expect)
    if os.path.isdir(schemas):
        check_reports(tool, sample_root, broken_root, schemas, expect)
    check_scale(tool, sample_root, broken_root, schemas, expect)
    for failure in failures:
        print("FAIL " + failure)
    if not os.path.isdir(schemas):
        print("SKIPPED the check's reports: DMTF schemas not found at %s" % schemas)
        return 1 if failures else 77
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
