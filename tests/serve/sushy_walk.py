#!/usr/bin/env python3
"""Walks the sample service with the sushy Redfish client library.

Usage: sushy_walk.py BASE_URL LIVE_DB

From the service root to the chassis collection, chassis "1U" and its Power and Thermal
resources, checking typed values against the sample's live-object database: watts and
readings as numbers, health as text, and every "X@odata.count" equal to the length of X.
Prints one line per check group and exits non-zero on the first failed check.
"""
import sqlite3
import sys

import sushy
from sushy import auth


def expect(condition, what):
    if not condition:
        raise AssertionError(what)


def is_number(value):
    return isinstance(value, (int, float)) and not isinstance(value, bool)


def check_counts(value, where):
    """Every "X@odata.count" member equals the length of the array X beside it."""
    if isinstance(value, dict):
        for key, member in value.items():
            if key.endswith("@odata.count"):
                array = value.get(key[: -len("@odata.count")])
                expect(isinstance(array, list) and member == len(array),
                       "%s: %s is %r for %r" % (where, key, member, array))
            check_counts(member, where)
    elif isinstance(value, list):
        for item in value:
            check_counts(item, where)


def main():
    base_url, live_db = sys.argv[1:3]
    db = sqlite3.connect("file:%s?mode=ro" % live_db, uri=True)
    service = db.execute("select Id, RedfishVersion, UUID from ServiceRoot").fetchone()
    chassis_row = db.execute("select Id, ChassisType, Manufacturer, AssetTag, Health "
                             "from ChassisInventory").fetchone()
    consumed = db.execute("select ConsumedW from PowerControlSensors").fetchone()[0]
    psu = db.execute("select CapacityW, LastOutputW, Health from PowerSupplyUnits").fetchone()
    temps = db.execute("select ReadingCelsius from TemperatureSensors order by MemberId").fetchall()
    fans = db.execute("select Reading from FanSensors order by MemberId").fetchall()

    # The service ignores credentials; BasicAuth keeps sushy from opening a session.
    root = sushy.Sushy(base_url, auth=auth.BasicAuth("sample", "sample"))
    expect(root.identity == service[0] and root.redfish_version == service[1] and
           root.uuid == service[2], "service root: %r" % root.json)
    print("service root: Id %s, RedfishVersion %s" % (root.identity, root.redfish_version))

    collection = root.get_chassis_collection()
    expect(list(collection.members_identities) == ["/redfish/v1/Chassis/" + chassis_row[0]],
           "chassis members: %r" % (collection.members_identities,))
    chassis = collection.get_member("/redfish/v1/Chassis/" + chassis_row[0])
    expect(chassis.identity == chassis_row[0] and chassis.chassis_type.value == chassis_row[1] and
           chassis.manufacturer == chassis_row[2] and chassis.asset_tag == chassis_row[3] and
           chassis.status.health.value == chassis_row[4], "chassis: %r" % chassis.json)
    print("chassis %s: %s, %s" % (chassis.identity, chassis.chassis_type.value, chassis.manufacturer))

    power = chassis.power
    control = power.json["PowerControl"][0]
    expect(is_number(control["PowerConsumedWatts"]) and control["PowerConsumedWatts"] == consumed,
           "PowerConsumedWatts: %r" % control)
    supply = power.power_supplies[0]
    expect(is_number(power.json["PowerSupplies"][0]["PowerCapacityWatts"]) and
           supply.power_capacity_watts == psu[0] and supply.last_power_output_watts == psu[1],
           "power supply: %r" % power.json["PowerSupplies"][0])
    expect(isinstance(power.json["PowerSupplies"][0]["Status"]["Health"], str) and
           supply.status.health.value == psu[2], "power supply health")
    expect(len(supply.input_ranges) == 2 and supply.input_ranges[1].output_wattage == 1300,
           "input ranges")
    check_counts(power.json, "Power")
    print("power: %s W consumed, supply %s W, health %s, counts match"
          % (control["PowerConsumedWatts"], supply.power_capacity_watts, supply.status.health.value))

    thermal = chassis.thermal
    readings = [t.reading_celsius for t in thermal.temperatures]
    expect(readings == [None if r == -1 else r for (r,) in temps], "temperatures: %r" % readings)
    expect([f.reading for f in thermal.fans] == [r for (r,) in fans], "fans")
    expect(all(is_number(f["Reading"]) for f in thermal.json["Fans"]), "fan readings as numbers")
    expect(thermal.temperatures[0].status.health == sushy.Health.OK and
           isinstance(thermal.json["Temperatures"][0]["Status"]["Health"], str), "health as text")
    check_counts(thermal.json, "Thermal")
    print("thermal: temperatures %r, fans %r, counts match"
          % (readings, [f.reading for f in thermal.fans]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
