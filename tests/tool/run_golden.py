#!/usr/bin/env python3
"""Golden tests of the sql2json tool on the sample server.

Usage: run_golden.py TOOL GOLDEN_DIR SAMPLE_ROOT [--update]

Each case runs the tool on SAMPLE_ROOT (SQL2JSON_ROOT; "<root>" in its arguments is SAMPLE_ROOT)
and checks the exit status, standard output against GOLDEN_DIR/<case>.out (when the case has
one) and a text that standard error must contain. --update rewrites the .out files from the
current output. Then each row of MISSING takes files away from a copy of the tree.
"""
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile

LIVE_DB = "var/run/unifieddatabase/DMLiveObjectDatabase.db"
OPENAPI_DB = "usr/share/redfish/rf_resource_info.db"
HMC_DB = "var/run/unifieddatabase/HMC.db"
METADATA_DB = "etc/unifieddatabase/RedfishSchemaMetaData.db"
TELEMETRY_DB = "var/run/telemetryservice/telemetry_timeseries_database.db"
SYNC_TIME = "flash/data0/oem_ps/configdbsynctime"
OEM_DATA = "var/lib/sql2json-host/oem_data.json"
HEATER = "var/lib/sql2json-host/heater_state.json"
BOOT = "/redfish/v1/Systems/437XR1138R2/BootOptions"

# name, arguments, exit status, has golden output, text expected on standard error
CASES = [
    ("help", ["--help"], 0, True, ""),
    ("version", ["--version"], 0, True, ""),
    ("no_command", [], 2, False, "sql2json: no command given"),
    ("unknown_command", ["fetch", BOOT], 2, False, "sql2json: unknown command fetch"),
    ("get_two_uris", ["get", BOOT, BOOT], 2, False, "get takes exactly one URI"),
    ("view_no_sql", ["view", "--array"], 2, False, "view needs an SQL query"),
    ("view_two_shapes", ["view", "--array", "--subarray", "select 1"], 2, False,
     "give one of --array, --subarray"),
    ("view_bad_expand", ["view", "--expand", "7", "select 1"], 2, False,
     "--expand takes a depth from 1 to 6"),
    ("serve_bad_port", ["serve", "--port", "65536"], 2, False,
     "serve: --port takes a number from 0 to 65535"),
    ("serve_stray_word", ["serve", "now"], 2, False, "serve: unknown argument 'now'"),
    ("serve_bad_bounds", ["serve", "--workers", "2", "--expand-workers", "3"], 2, False,
     "serve: --expand-workers is at most --workers"),
    ("resolve_member", ["resolve", BOOT + "/1/"], 0, True, ""),
    ("resolve_cte", ["resolve", BOOT], 0, True, ""),
    ("resolve_telemetry", ["resolve", "/redfish/v1/Chassis/1U/Power"], 0, True, ""),
    ("resolve_unknown", ["resolve", "/redfish/v1/EventService"], 3, False,
     "sql2json: no resource pattern matches URI /redfish/v1/EventService"),
    ("get_boot_option", ["get", BOOT + "/1"], 0, True, ""),
    ("get_boot_options_cte", ["get", BOOT + "/"], 0, True, ""),
    ("get_pcie_device", ["get", "/redfish/v1/Chassis/1U/PCIeDevices/NIC"], 0, True, ""),
    ("get_thermal", ["get", "/redfish/v1/Chassis/1U/Thermal"], 0, True, ""),
    ("get_power", ["get", "/redfish/v1/Chassis/1U/Power"], 0, True, ""),
    ("get_manager_ports_hmc", ["get", "/redfish/v1/Managers/BMC/DedicatedNetworkPorts"], 0, True,
     ""),
    ("get_manager_port_hmc", ["get", "/redfish/v1/Managers/BMC/DedicatedNetworkPorts/1"], 0,
     True, ""),
    ("get_unknown_uri", ["get", "/redfish/v1/Fabrics/CXL/Zones"], 3, False,
     "no resource pattern matches URI /redfish/v1/Fabrics/CXL/Zones"),
    ("get_no_resource", ["get", BOOT + "/9"], 5, False, "no resource at " + BOOT + "/9"),
    ("view_power", ["view", "select * from PowerView where ChassisId = '1U'"], 0, True, ""),
    ("view_assembly_oem", ["view", "select * from AssemblyView"], 0, True, ""),
    ("view_ports_array", ["view", "--array", "select * from PortView order by Id"], 0, True, ""),
    ("view_subarray", ["view", "--subarray",
                       "select Name from TemperatureSensors order by MemberId"], 0, True, ""),
    ("view_failing_query", ["view", "select * from NoSuchView"], 1, False,
     "sql2json: query failed: SQLite error 1 (SQL logic error): no such table: NoSuchView"),
    ("view_no_row", ["view", "select * from PowerView where ChassisId = 'none'"], 5, False,
     "sql2json: the query returned no row"),
    ("view_host_data", ["view", "select GetHeaterMgrValues(1) as PreHeatSeconds, "
                        "GetHeaterMgrValues(3) as Health, LastSystemInventoryTime() as Inventory"],
     0, True, ""),
    ("view_empty", ["view", " -- nothing\n"], 2, False, "sql2json: the query is empty"),
    ("view_two_statements", ["view", "select 1 as a; select 2 as b"], 2, False,
     "view runs one SQL statement; the query holds more"),
    ("view_many_rows", ["view", "select Id from PortView"], 0, False,
     "the query gave more than one row; printed the last (--array prints all)"),
    ("log_level_shows_notes", ["--log-level", "2", "--root", "<root>", "view",
                               "select * from AssemblyView"], 0, False,
     "PropertyType is missing for Schema Property"),
    ("root_missing", ["--root", "/nonexistent", "get", BOOT], 2, False,
     "sql2json: the root folder /nonexistent is not a folder\nusage:"),
    ("root_empty", ["--root", "", "get", BOOT], 2, False, "sql2json: the root folder is empty"),
    ("root_twice", ["--root", "<root>", "--root", "<root>", "get", BOOT], 2, False,
     "sql2json: --root given twice"),
    ("root_no_value", ["--root"], 2, False, "sql2json: --root takes a folder"),
    ("root_of_file_system", ["--root", "/", "get", BOOT], 4, False,
     "sql2json: database missing: /var/run/unifieddatabase/DMLiveObjectDatabase.db\n"),
]

NOTES = {SYNC_TIME: "the inventory time (LastSystemInventoryTime(), in the PCIe device's "
                    "@odata.etag) is unknown",
         OEM_DATA: "the power supplies and assemblies go without their Oem blocks",
         HEATER: "the heater manager's values (GetHeaterMgrValues(), under Thermal's Oem) are null",
         TELEMETRY_DB: "no route's statement runs on it"}
NO_TELEMETRY_ROUTE = "DELETE FROM UriInfo WHERE view_name LIKE '%JSON%'"

# Files taken away from a copy of the tree (after a change to its routes), a command, its
# status, and the files its standard error names, in order: "database missing: PATH" for a
# database the tree needs, a note (NOTES) for a file it can do without (the telemetry database
# when no route runs on it).
MISSING = [
    ([LIVE_DB], None, ["get", BOOT], 4, [LIVE_DB]),
    ([OPENAPI_DB], None, ["view", "select 1 as a"], 4, [OPENAPI_DB]),
    ([HMC_DB], None, ["resolve", BOOT], 4, [HMC_DB]),
    ([METADATA_DB], None, ["profile", BOOT], 4, [METADATA_DB]),
    ([TELEMETRY_DB], None, ["serve", "--port", "0"], 4, [TELEMETRY_DB]),
    ([TELEMETRY_DB, HMC_DB, OEM_DATA], None, ["check", "--schemas", "/", "--json"], 4,
     [HMC_DB, TELEMETRY_DB, OEM_DATA]),
    ([TELEMETRY_DB], NO_TELEMETRY_ROUTE, ["get", BOOT + "/1"], 0, [TELEMETRY_DB]),
    ([HEATER, SYNC_TIME, OEM_DATA], None, ["get", BOOT + "/1"], 0, [SYNC_TIME, OEM_DATA, HEATER]),
]



def run_tool(tool, args, root):
    """Runs the tool on root with the default log settings; root in its output reads <root>."""
    env = {k: v for k, v in os.environ.items() if k != "SQL2JSON_LOG_LEVEL"}
    env["SQL2JSON_ROOT"] = root
    emulator = os.environ.get("SQL2JSON_TOOL_EMULATOR", "").split()  # cross builds
    done = subprocess.run(emulator + [tool] + [a.replace("<root>", root) for a in args],
                          capture_output=True, text=True, env=env, timeout=60)
    return done.returncode, done.stdout.replace(root, "<root>"), done.stderr


def check_case(tool, golden_dir, root, case, update):
    name, args, status, has_golden, stderr_text = case
    code, out, err = run_tool(tool, args, root)
    problems = []
    if code != status:
        problems.append("exit status %d, expected %d" % (code, status))
    if stderr_text and stderr_text not in err:
        problems.append("standard error lacks %r" % stderr_text)
    if not stderr_text and err:
        problems.append("unexpected standard error output")
    if status != 0 and out:
        problems.append("standard output not empty on failure")
    if has_golden:
        path = os.path.join(golden_dir, name + ".out")
        if update:
            with open(path, "w", encoding="utf-8") as f:
                f.write(out)
        else:
            with open(path, encoding="utf-8") as f:
                if f.read() != out:
                    problems.append("standard output differs from %s" % path)
    for problem in problems:
        print("FAIL %s: %s" % (name, problem))
    if problems:
        print("  stdout: %s\n  stderr: %s" % (out[:2000], err[:2000]))
    return not problems


def check_missing(tool, root, row):
    """One row of MISSING on a fresh copy of root."""
    removed, routes_change, args, status, named = row
    copy = os.path.realpath(tempfile.mkdtemp(prefix="sql2json-missing-"))
    try:
        tree = os.path.join(copy, "root")
        shutil.copytree(root, tree)
        if routes_change:
            with sqlite3.connect(os.path.join(tree, OPENAPI_DB)) as db:
                db.execute(routes_change)
        for path in removed:
            os.remove(os.path.join(tree, path))
        code, out, err = run_tool(tool, args, tree)
    finally:
        shutil.rmtree(copy)
    expected = ""
    for path in named:
        note = NOTES.get(path) if path != TELEMETRY_DB or routes_change else None
        kind = "database" if path.endswith(".db") else "data file"
        expected += "sql2json: %s%s missing: %s/%s%s\n" % (
            "note: " if note else "", kind, "<root>", path, ": " + note if note else "")
    ok = code == status and (out == "" or status == 0) and err.replace(tree, "<root>") == expected
    if not ok:
        print("FAIL missing %s: status %d, stderr %r" % (removed, code, err))
    return ok


def main():
    tool, golden_dir, root = sys.argv[1:4]
    root = os.path.realpath(root)  # as the tool names the files under it
    update = "--update" in sys.argv[4:]
    results = [check_case(tool, golden_dir, root, case, update) for case in CASES]
    results += [check_missing(tool, root, row) for row in MISSING]
    print("%d of %d cases passed" % (sum(results), len(results)))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
