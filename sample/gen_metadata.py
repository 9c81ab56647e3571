#!/usr/bin/env python3
"""Writes metadata.sql: one table per Redfish type the converter formats, one row per property.

Usage: gen_metadata.py SCHEMA_DIR > metadata.sql

Each table is named after the type's "@odata.type" and lists (PropertyName, PropertyType) for
the type's properties as its versioned DMTF JSON schema defines them. An array of plain values
(texts, numbers, booleans, enumerations) is typed "subarray", an array of objects or links
"array". Object properties whose
schema has properties of its own also get one row per child, "Parent#Child", so that views can
fill them from nested columns. The "X@odata.count" annotations are left out: the converter
adds them beside every array it builds. Besides the schema, member types without an
"@odata.type" property get that name typed "additional" (the tag routes the row to its type but
is not part of the member), and the views' internal join keys are typed "additional" too.
The output is committed; rerun this only when the list of types changes.
"""
import json
import os
import sys

TYPES = [
    "#Assembly.v1_5_1.Assembly", "#Assembly.v1_5_1.AssemblyData", "#Fabric.v1_3_2.Fabric",
    "#FabricCollection.FabricCollection", "#PCIeDevice.v1_14_0.PCIeDevice",
    "#PCIeFunction.v1_6_0.PCIeFunction", "#Port.v1_12_0.Port", "#PortCollection.PortCollection",
    "#Switch.v1_9_3.Switch", "#SwitchCollection.SwitchCollection", "#Power.v1_7_3.Voltage",
    "#Power.v1_7_3.PowerControl", "#Power.v1_7_3.Power", "#Power.v1_7_3.PowerSupply",
    "#Redundancy.v1_4_2.Redundancy", "#BootOption.v1_0_6.BootOption",
    "#BootOptionCollection.BootOptionCollection", "#Thermal.v1_7_3.Thermal",
    "#Thermal.v1_7_3.Temperature", "#Thermal.v1_7_3.Fan",
]

# Columns the sample views use to join a member to its parent resource.
JOIN_KEYS = {
    "#Assembly.v1_5_1.AssemblyData": ["AssemblyId"],
    "#Power.v1_7_3.Power": ["ChassisId"],
    "#Power.v1_7_3.PowerControl": ["ChassisId"],
    "#Power.v1_7_3.Voltage": ["ChassisId"],
    "#Power.v1_7_3.PowerSupply": ["ChassisId"],
    "#Thermal.v1_7_3.Thermal": ["ChassisId"],
    "#Thermal.v1_7_3.Temperature": ["ChassisId"],
    "#Thermal.v1_7_3.Fan": ["ChassisId"],
    "#Redundancy.v1_4_2.Redundancy": ["ChassisId"],
    "#Switch.v1_9_3.Switch": ["FabricId"],
    "#Port.v1_12_0.Port": ["SwitchId"],
    "#PCIeFunction.v1_6_0.PCIeFunction": ["PCIeDeviceKey"],
    "#BootOption.v1_0_6.BootOption": ["SystemId"],
}

BASE = "http://redfish.dmtf.org/schemas/v1/"
SKIPPED_CHILDREN = ("Oem", "Actions")


class Schemas:
    def __init__(self, directory):
        self.directory = directory
        self.docs = {}

    def doc(self, name):
        if name not in self.docs:
            with open(os.path.join(self.directory, name), encoding="utf-8") as f:
                self.docs[name] = json.load(f)
        return self.docs[name]

    def resolve(self, ref, current):
        """Returns (file, definition) of a $ref, or (None, None) when the file is absent."""
        target, _, fragment = ref.partition("#")
        name = target[len(BASE):] if target.startswith(BASE) else (target or current)
        if not os.path.isfile(os.path.join(self.directory, name)):
            return None, None
        node = self.doc(name)
        for part in fragment.strip("/").split("/"):
            if part:
                node = node[part]
        return name, node


def first_type(declared):
    if isinstance(declared, list):
        declared = [t for t in declared if t != "null"][0]
    return declared


def definition_of(schemas, prop, current):
    """Follows $ref and anyOf to the definition behind a property: (file, definition)."""
    for _ in range(8):
        if "$ref" in prop:
            if prop["$ref"].endswith("odata-v4.json#/definitions/idRef"):
                return current, {"type": "object"}
            current, prop = schemas.resolve(prop["$ref"], current)
            if prop is None:
                return current, {"type": "object"}
        elif "anyOf" in prop:
            branches = [b for b in prop["anyOf"] if b.get("type") != "null"]
            if branches[0].get("$ref", "").endswith("idRef"):
                return current, {"type": "object"}  # a link to another resource
            prop = branches[-1]                     # the newest version of an embedded type
        else:
            return current, prop
    return current, prop


def type_text(schemas, prop, current):
    if "type" in prop:
        kind = first_type(prop["type"])
    else:
        _, target = definition_of(schemas, prop, current)
        if "enum" in target:
            return "string"
        kind = first_type(target["type"]) if "type" in target else (
            "object" if "properties" in target else "string")
    if kind == "array" and holds_values(schemas, prop, current):
        return "subarray"
    return kind


def holds_values(schemas, prop, current):
    """True for an array whose items are plain values (texts, numbers, booleans, enums)."""
    file, array = definition_of(schemas, prop, current)
    items = array.get("items", {})
    if "$ref" not in items and "anyOf" not in items and "type" in items:
        return first_type(items["type"]) in ("string", "number", "integer", "boolean")
    _, target = definition_of(schemas, items, file)
    return "enum" in target or first_type(target.get("type")) in (
        "string", "number", "integer", "boolean")


def rows_for(schemas, odata_type):
    namespace, _, definition = odata_type[1:].rpartition(".")
    current = namespace + ".json"
    top = schemas.doc(current)["definitions"][definition]
    if "properties" not in top:  # a collection: a link, or the collection itself
        top = [b for b in top["anyOf"] if "properties" in b][0]
    props = top["properties"]
    rows = []
    for name, prop in sorted(props.items()):
        if "@odata.count" in name:
            continue
        kind = type_text(schemas, prop, current)
        rows.append((name, kind))
        if kind != "object" or name in SKIPPED_CHILDREN:
            continue
        child_file, target = definition_of(schemas, prop, current)
        for child, child_prop in sorted(target.get("properties", {}).items()):
            if "@odata.count" not in child:
                rows.append((name + "#" + child, type_text(schemas, child_prop, child_file)))
    if "@odata.type" not in props:
        rows.append(("@odata.type", "additional"))
    rows.extend((key, "additional") for key in JOIN_KEYS.get(odata_type, []))
    return rows


def quote(text):
    return "'" + text.replace("'", "''") + "'"


def main():
    schemas = Schemas(sys.argv[1])
    out = ["-- Generated by gen_metadata.py from DMTF's Redfish JSON schemas. Do not edit.",
           "BEGIN;"]
    for odata_type in TYPES:
        out.append("CREATE TABLE [%s] (PropertyName TEXT NOT NULL, PropertyType TEXT NOT NULL);"
                   % odata_type)
        values = ",\n  ".join("(%s, %s)" % (quote(n), quote(t)) for n, t in rows_for(schemas, odata_type))
        out.append("INSERT INTO [%s] VALUES\n  %s;" % (odata_type, values))
    out.append("COMMIT;")
    print("\n".join(out))


if __name__ == "__main__":
    main()
