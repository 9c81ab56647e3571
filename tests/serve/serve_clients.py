#!/usr/bin/env python3
"""Real Redfish clients against `sql2json serve` on the sample server.

Usage: serve_clients.py redfishtool|sushy|curl TOOL SAMPLE_ROOT

The tool reads SAMPLE_ROOT (SQL2JSON_ROOT).
Starts the service on a free loopback port (--port 0; the port comes from its first log line),
runs the clients of the mode, then stops it with SIGTERM and checks that it stopped cleanly.
A client that is not installed fails the test (scripts/install-deps.sh installs them).
"""
import json
import os
import re
import socket
import sqlite3
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree

LIVE_DB = "var/run/unifieddatabase/DMLiveObjectDatabase.db"
TELEMETRY_DB = "var/run/telemetryservice/telemetry_timeseries_database.db"
HERE = os.path.dirname(os.path.abspath(__file__))
EMULATOR = os.environ.get("SQL2JSON_TOOL_EMULATOR", "").split()  # cross builds


def expect(condition, what):
    if not condition:
        raise AssertionError(what)


def run(args, status=0):
    """Standard output of args, which must exit with status (None: any failure)."""
    done = subprocess.run(args, capture_output=True, text=True, timeout=60)
    expect(done.returncode == status if status is not None else done.returncode != 0,
           "%s: %d %s" % (" ".join(args), done.returncode, done.stderr))
    return done.stdout + done.stderr


class Service:
    """The tool's service as a child process, its log in a file."""

    def __init__(self, tool):
        self.log = open("serve-%d.log" % os.getpid(), "w+")
        self.proc = subprocess.Popen(EMULATOR + [tool, "serve", "--port", "0"], stderr=self.log)
        for _ in range(100):
            found = re.search(r"listening on http://127\.0\.0\.1:(\d+)/", self.lines())
            if found:
                self.port = int(found.group(1))
                return
            time.sleep(0.1)
        raise AssertionError("the service did not start: " + self.lines())

    def lines(self):
        self.log.seek(0)
        return self.log.read()

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def stop(self):
        self.proc.terminate()
        status = self.proc.wait(timeout=15)
        return status == 0 and self.lines().endswith("sql2json serve: stopped\n")


def curl(service, path, method="GET", *headers):
    """(status, lower-case headers, body) of one request made by curl."""
    args = ["curl", "-sS", "--path-as-is", "--max-time", "10"]
    args += ["-I"] if method == "HEAD" else ["-D", "-", "-o", "-", "-X", method]
    out = subprocess.run(args + [a for h in headers for a in ("-H", h)] + [service.url(path)],
                         capture_output=True, timeout=60).stdout.decode("utf-8", "replace")
    head, _, body = out.partition("\r\n\r\n")
    lines = head.split("\r\n")
    fields = dict((k.strip().lower(), v.strip()) for k, _, v in (l.partition(":") for l in lines[1:]))
    return int(lines[0].split()[1]), fields, body


def check_redfishtool(service, db):
    base = ["redfishtool", "-r", "127.0.0.1:%d" % service.port, "-S", "Never", "-A", "None"]
    tool = lambda *args: json.loads(run(base + list(args)))  # noqa: E731
    uuid = db.execute("select UUID from ServiceRoot").fetchone()[0]
    expect(tool("raw", "GET", "/redfish/v1/")["UUID"] == uuid, "raw GET /redfish/v1/")
    tag = db.execute("select AssetTag from ChassisInventory where Id = '1U'").fetchone()[0]
    expect([(m["Id"], m["AssetTag"]) for m in tool("Chassis", "list")["Members"]] == [("1U", tag)],
           "Chassis list")
    expect(tool("Chassis", "-I", "1U") == tool("raw", "GET", "/redfish/v1/Chassis/1U"), "-I 1U")
    consumed = db.execute("select ConsumedW from PowerControlSensors").fetchone()[0]
    expect(tool("Chassis", "-I", "1U", "getPowerReading", "consumed") ==
           {"PowerConsumedWatts": consumed}, "getPowerReading consumed")
    fans = [r for (r,) in db.execute("select Reading from FanSensors order by MemberId")]
    expect([f["Reading"] for f in tool("Chassis", "-I", "1U", "Thermal")["Fans"]] == fans, "Fans")


def check_sushy(service, db):
    import sushy
    from sushy import auth
    # The service ignores credentials; BasicAuth keeps sushy from opening a session.
    root = sushy.Sushy(service.url("/redfish/v1"), auth=auth.BasicAuth("sample", "sample"))
    expect(root.uuid == db.execute("select UUID from ServiceRoot").fetchone()[0], "service root")
    chassis = root.get_chassis_collection().get_member("/redfish/v1/Chassis/1U")
    expect(chassis.chassis_type.value == "RackMount", "chassis type")
    capacity, health = db.execute("select CapacityW, Health from PowerSupplyUnits").fetchone()
    supply = chassis.power.power_supplies[0]
    expect(supply.power_capacity_watts == capacity and supply.status.health.value == health and
           supply.input_ranges[1].output_wattage == 1300, "power supply")
    temps = [r for (r,) in db.execute("select ReadingCelsius from TemperatureSensors order by MemberId")]
    expect([t.reading_celsius for t in chassis.thermal.temperatures] ==
           [None if r == -1 else r for r in temps], "temperatures")


def walk_service(service, tool):
    """Every URI reachable from the service root answers 200 with get's bytes; the types met."""
    queue, seen, types = ["/redfish/v1"], {"/redfish/v1"}, set()
    while queue:
        uri = queue.pop(0)
        status, _, body = curl(service, uri)
        expect(status == 200 and body == run(EMULATOR + [tool, "get", uri]), "%s: %d" % (uri, status))
        for key, value in re.findall(r'"(@odata\.id|@odata\.type)" : "([^"#]*#?[^"]*)"', body):
            if key == "@odata.type":
                types |= {value[1:].rsplit(".", 1)[0]} if "Oem." not in value else set()
            elif value.split("#")[0].rstrip("/") not in seen:
                seen.add(value.split("#")[0].rstrip("/"))
                queue.append(value.split("#")[0].rstrip("/"))
    return seen, types


def check_curl(service, tool, root):
    status, fields, body = curl(service, "/redfish")
    expect(status == 200 and json.loads(body) == {"v1": "/redfish/v1/"} and
           fields["content-type"] == "application/json" and fields["odata-version"] == "4.0",
           "/redfish: %s %r" % (body, fields))
    status, fields, body = curl(service, "/redfish/v1", "GET", "Range: bytes=0-9")
    expect(status == 200 and "content-range" not in fields and body == curl(service, "/redfish/v1")[2],
           "Range is ignored: %d %r" % (status, fields))
    head = curl(service, "/redfish/v1/Chassis/1U", "HEAD")
    expect(head[0] == 200 and head[2] == "" and
           int(head[1]["content-length"]) == len(curl(service, "/redfish/v1/Chassis/1U")[2]), "HEAD")
    for method in ("POST", "PUT", "PATCH", "DELETE", "OPTIONS"):
        status, fields, body = curl(service, "/redfish/v1/Chassis/1U", method)
        expect(status == 405 and fields["allow"] == "GET, HEAD" and "error" in json.loads(body), method)
    odd = {400: ["/redfish/v1/Chassis/1U'", "/redfish/v1/Chassis/1U%27%20OR%20%271%27=%271",
                 '/redfish/v1/Chassis/"1U"', "/redfish/v1/Chassis/%25", "/redfish/v1/Chassis/1%55",
                 "/redfish/v1/Chassis/1U%00", "/redfish/v1/Chassis/../Chassis/1U",
                 "/redfish/v1/Chassis/./1U", "/redfish/v1/Chassis/" + "a" * 2048,
                 "/redfish/v1/%24metadata"],
           404: ["/redfish/v1/Chassis/1_", "/redfish/v1/Fabrics/CX_", "/redfish/v1/Chassis/2U",
                 "/redfish/v1/Nothing", "/", "/redfish/v2"]}
    for expected, paths in odd.items():
        for path in paths:
            status, _, body = curl(service, path)
            expect(status == expected and "error" in json.loads(body), "%s: %d" % (path[:60], status))
    for line in (b"GET /redfish/v1/Chassis/1U\0x HTTP/1.1", b"GET /redfish/v1/Chassis/1U' HTTP/1.1"):
        with socket.create_connection(("127.0.0.1", service.port), timeout=10) as sock:
            sock.sendall(line + b"\r\nHost: x\r\nConnection: close\r\n\r\n")
            expect(sock.recv(64).startswith(b"HTTP/1.1 400"), "raw %r" % line)

    seen, types = walk_service(service, tool)
    status, fields, body = curl(service, "/redfish/v1/$metadata")
    included = {e.get("Namespace") for e in ElementTree.fromstring(body).iter()
                if e.tag.endswith("Include")}
    expect(status == 200 and fields["content-type"] == "application/xml" and types <= included,
           "$metadata lacks %r" % (types - included))
    links = {k for k, v in json.loads(curl(service, "/redfish/v1")[2]).items() if "@odata.id" in v}
    entries = {e["name"] for e in json.loads(curl(service, "/redfish/v1/odata")[2])["value"]}
    expect(entries == links | {"Service"}, "odata: %r" % entries)
    print("curl: %d resources walked, each 200 and equal to get; %d types in $metadata"
          % (len(seen), len(types)))

    telemetry = os.path.join(root, TELEMETRY_DB)
    os.rename(telemetry, telemetry + ".away")
    try:
        status, _, body = curl(service, "/redfish/v1/Chassis/1U/Power")
    finally:
        os.rename(telemetry + ".away", telemetry)
    expect(status == 500 and "InternalError" in body and
           "error: /redfish/v1/Chassis/1U/Power: root query failed: SQLite error 14" in
           service.lines(), "a failing query: %d %s" % (status, body))
    second = run(EMULATOR + [tool, "serve", "--port", str(service.port)], status=1)
    expect("Address already in use" in second, "a second service on the port: " + second)
    run([os.path.join(HERE, "../../sample/serve_demo.sh"), tool, "/redfish/v1/Nothing"], None)


def main():
    mode, tool, root = sys.argv[1:4]
    os.environ["SQL2JSON_ROOT"] = root  # every tool started here reads the sample tree
    service = Service(tool)
    try:
        with sqlite3.connect("file:%s?mode=ro" % os.path.join(root, LIVE_DB), uri=True) as db:
            {"redfishtool": lambda: check_redfishtool(service, db),
             "sushy": lambda: check_sushy(service, db),
             "curl": lambda: check_curl(service, tool, root)}[mode]()
        ok = True
    except (AssertionError, KeyError, ValueError, IndexError, subprocess.TimeoutExpired) as e:
        print("FAIL %s: %s: %s" % (mode, type(e).__name__, e))
        ok = False
    stopped = service.stop()
    log = service.lines()
    os.unlink(service.log.name)
    if not stopped or '"GET /redfish/v1' not in log:
        print("FAIL %s: the service did not log requests or stop cleanly:\n%s" % (mode, log[-2000:]))
    return 0 if ok and stopped and '"GET /redfish/v1' in log else 1


if __name__ == "__main__":
    sys.exit(main())
