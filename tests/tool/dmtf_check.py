#!/usr/bin/env python3
"""Checks the sample server's resources against DMTF's published documents.

Usage: dmtf_check.py mockups|schemas TOOL SHARED_DIR OEM_DATA_JSON

mockups: the Power and Thermal resources that the engine builds for chassis "1U" equal DMTF's
  public-rackmount1 mockups, apart from the "@odata.count" members the engine adds beside
  arrays, the mockup's "@Redfish.Copyright", the OEM data merged into power supplies (checked
  against the OEM data file) and readings the sample marks missing (-1), which the engine
  gives as null where the mockup leaves the member out.
schemas: every resource the sample serves, through the engine and through get, validates
  against DMTF's JSON schema with SHARED_DIR/dmtf/validate.py.

Exits 77 (skipped) when SHARED_DIR/dmtf is absent.
"""
import json
import os
import subprocess
import sys
import tempfile

CHASSIS = "/redfish/v1/Chassis/1U"
MOCKUPS = {
    "Power": ("select * from PowerView where [@odata.id] = '%s/Power'" % CHASSIS,
              "public-rackmount1/Chassis/1U/Power/index.json"),
    "Thermal": ("select * from ThermalView where [@odata.id] = '%s/Thermal'" % CHASSIS,
                "public-rackmount1/Chassis/1U/Thermal/index.json"),
}

ENGINE_RESOURCES = [  # (name, view arguments); arrays are validated member by member
    ("power", ["select * from PowerView"]),
    ("thermal", ["select * from ThermalView"]),
    ("assembly", ["select * from AssemblyView"]),
    ("fabrics", ["select * from FabricCollectionView"]),
    ("fabric", ["select * from FabricView"]),
    ("switches", ["select * from SwitchCollectionView"]),
    ("switch", ["select * from SwitchView"]),
    ("ports", ["select * from PortCollectionView"]),
    ("port", ["--array", "select * from PortView order by Id"]),
    ("pcie_device", ["select * from PCIeDeviceView"]),
    ("pcie_function", ["--array", "select * from PCIeFunctionView order by Id"]),
    ("boot_options", ["select * from BootOptionCollectionView"]),
    ("boot_option", ["--array", "select * from BootOptionView order by Id"]),
]

GET_RESOURCES = [
    "/redfish/v1/Systems/437XR1138R2/BootOptions",
    "/redfish/v1/Systems/437XR1138R2/BootOptions/1",
    "/redfish/v1/Systems/437XR1138R2/BootOptions/2",
    CHASSIS + "/PCIeDevices/NIC",
    CHASSIS + "/Thermal",
    CHASSIS + "/Power",
    "/redfish/v1/Managers/BMC/DedicatedNetworkPorts",
    "/redfish/v1/Managers/BMC/DedicatedNetworkPorts/1",
]


def tool_json(tool, args):
    env = dict(os.environ, SQL2JSON_LOG_LEVEL="1")  # the tool's own diagnostics only
    emulator = os.environ.get("SQL2JSON_TOOL_EMULATOR", "").split()  # cross builds
    done = subprocess.run(emulator + [tool] + args, capture_output=True, text=True, env=env,
                          timeout=60)
    if done.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (" ".join(args), done.returncode, done.stderr))
    return json.loads(done.stdout)


def without_counts(value):
    if isinstance(value, dict):
        return {k: without_counts(v) for k, v in value.items() if not k.endswith("@odata.count")}
    if isinstance(value, list):
        return [without_counts(v) for v in value]
    return value


def without_merged_oem(resource, oem_data, problems):
    """Checks and removes the OEM object merged into each power supply."""
    for supply in resource.get("PowerSupplies", []):
        oem = supply.pop("Oem", {})
        expected = oem_data.get("PowerSupply", {}).get(supply.get("MemberId"))
        if oem.get("Vexa") != expected or set(oem) - {"Vexa"}:
            problems.append("PowerSupplies %s: Oem %r, expected Vexa %r"
                            % (supply.get("MemberId"), oem, expected))


def without_missing_readings(got, want, path, dropped):
    """Removes null members that the mockup leaves out, naming each in dropped."""
    if isinstance(got, dict) and isinstance(want, dict):
        for key in list(got):
            if got[key] is None and key not in want:
                dropped.append(path + "/" + key)
                del got[key]
            elif key in want:
                without_missing_readings(got[key], want[key], path + "/" + key, dropped)
    elif isinstance(got, list) and isinstance(want, list):
        for i, (g, w) in enumerate(zip(got, want)):
            without_missing_readings(g, w, "%s/%d" % (path, i), dropped)


def first_difference(got, want, path=""):
    if isinstance(got, dict) and isinstance(want, dict):
        for key in sorted(set(got) | set(want)):
            if key not in got or key not in want:
                return "%s/%s: %s" % (path, key, "missing" if key not in got else "not in mockup")
            found = first_difference(got[key], want[key], path + "/" + key)
            if found:
                return found
        return None
    if isinstance(got, list) and isinstance(want, list):
        if len(got) != len(want):
            return "%s: %d elements, mockup has %d" % (path, len(got), len(want))
        for i, (g, w) in enumerate(zip(got, want)):
            found = first_difference(g, w, "%s/%d" % (path, i))
            if found:
                return found
        return None
    if got != want or isinstance(got, bool) != isinstance(want, bool):
        return "%s: %r, mockup has %r" % (path, got, want)
    return None


def check_mockups(tool, shared, oem_data):
    failures = 0
    for name, (sql, mockup) in MOCKUPS.items():
        with open(os.path.join(shared, "dmtf", "mockups", mockup), encoding="utf-8") as f:
            want = json.load(f)
        want.pop("@Redfish.Copyright", None)
        got = without_counts(tool_json(tool, ["view", sql]))
        problems = []
        without_merged_oem(got, oem_data, problems)
        dropped = []
        without_missing_readings(got, want, "", dropped)
        difference = first_difference(got, want)
        if difference:
            problems.append(difference)
        for problem in problems:
            print("FAIL %s: %s" % (name, problem))
        failures += bool(problems)
        print("%s: %s; missing readings (null, absent in the mockup): %s"
              % (name, "differs" if problems else "equals the mockup", ", ".join(dropped) or "none"))
    return failures


def check_schemas(tool, shared):
    documents = []
    with tempfile.TemporaryDirectory() as scratch:
        def keep(name, resource):
            path = os.path.join(scratch, name + ".json")
            with open(path, "w", encoding="utf-8") as f:
                json.dump(resource, f)
            documents.append(path)

        for name, args in ENGINE_RESOURCES:
            result = tool_json(tool, ["view"] + args)
            for i, resource in enumerate(result if isinstance(result, list) else [result]):
                keep("engine_%s_%d" % (name, i), resource)
        for i, uri in enumerate(GET_RESOURCES):
            keep("get_%d_%s" % (i, uri.rsplit("/", 1)[-1]), tool_json(tool, ["get", uri]))
        done = subprocess.run(["/usr/bin/python3", os.path.join(shared, "dmtf", "validate.py")]
                              + documents, capture_output=True, text=True, timeout=120)
        print(done.stdout.replace(scratch + "/", ""), end="")
        print(done.stderr, end="", file=sys.stderr)
        return 0 if done.returncode == 0 else 1


def main():
    mode, tool, shared, oem_path = sys.argv[1:5]
    if not os.path.isdir(os.path.join(shared, "dmtf")):
        print("SKIPPED tool_dmtf_%s: DMTF reference data not found at %s/dmtf" % (mode, shared))
        return 77
    if mode == "mockups":
        with open(oem_path, encoding="utf-8") as f:
            return 1 if check_mockups(tool, shared, json.load(f)) else 0
    return check_schemas(tool, shared)


if __name__ == "__main__":
    sys.exit(main())
