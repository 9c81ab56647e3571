#!/usr/bin/env python3
"""Real Redfish clients against `sql2json serve` on the sample server.

Usage: serve_clients.py redfishtool|sushy|curl|http|bounds TOOL SAMPLE_ROOT

The tool reads SAMPLE_ROOT (SQL2JSON_ROOT).
Starts the service on a free loopback port (--port 0; the port comes from its first log line),
runs the clients of the mode (http: raw requests on sockets; bounds: a second service with small
bounds beside it), then stops it with SIGTERM and
checks that it stopped cleanly.
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
BOOT = "/redfish/v1/Systems/437XR1138R2/BootOptions"
CHASSIS = "/redfish/v1/Chassis/1U"
EMULATOR = os.environ.get("SQL2JSON_TOOL_EMULATOR", "").split()  # cross builds


FAILURES = []  # every failed expectation of the run, reported together at its end


def expect(condition, what):
    """Records a failure and goes on, so that one run shows every failing row."""
    if not condition:
        FAILURES.append(what)
    return condition


def require(condition, what):
    """A failure that the rest of the run cannot go past."""
    if not condition:
        raise AssertionError(what)


def run(args, status=0):
    """Standard output of args, which must exit with status (None: any failure)."""
    done = subprocess.run(args, capture_output=True, text=True, timeout=60)
    require(done.returncode == status if status is not None else done.returncode != 0,
            "%s: %d %s" % (" ".join(args), done.returncode, done.stderr))
    return done.stdout + done.stderr


class Service:
    """The tool's service as a child process, its log in a file."""

    def __init__(self, tool, *options):
        self.log = open("serve-%d-%d.log" % (os.getpid(), len(options)), "w+")
        self.proc = subprocess.Popen(EMULATOR + [tool, "serve", "--port", "0", *options],
                                     stderr=self.log)
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

    def logged(self, text):
        """Whether the log shows text, waiting for it: a request's line follows its answer."""
        for _ in range(100):
            if text in self.lines():
                return True
            time.sleep(0.1)
        return False

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


def fnv1a(data):
    """The service's strong entity tag of data: its 64-bit FNV-1a hash in quotes."""
    tag = 0xcbf29ce484222325
    for byte in data:
        tag = (tag ^ byte) * 0x100000001b3 % 2 ** 64
    return '"%016x"' % tag


def check_redfishtool(service, db):
    base = ["redfishtool", "-r", "127.0.0.1:%d" % service.port, "-S", "Never", "-A", "None"]
    tool = lambda *args: json.loads(run(base + list(args)))  # noqa: E731
    # redfishtool follows Members@odata.nextLink until the last page.
    expect(tool("raw", "GET", BOOT + "?$top=1")["Members"] == tool("raw", "GET", BOOT)["Members"] and
           service.logged('"GET %s?$top=1&$skip=1" 200' % BOOT), "paging with nextLink")
    run(base + ["raw", "GET", BOOT + "?$filter=Id"], None)
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
    features = root.protocol_features_supported
    expect(features.select_query and not features.filter_query and features.expand_query ==
           {"ExpandAll": True, "Levels": True, "Links": True, "NoLinks": True, "MaxLevels": 6},
           "protocol features")
    chassis = root.get_chassis_collection().get_member(CHASSIS)
    expect(root._conn.get("/redfish/v1/Chassis?$expand=.").json()["Members"] == [chassis.json] and
           re.fullmatch('"[0-9a-f]{16}"', chassis._get_etag()), "expanded member, ETag")
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


def check_queries(service):
    """Each query option once, on the sample's chassis and boot options (two members)."""
    get = lambda path: json.loads(curl(service, path)[2])  # noqa: E731
    boot, chassis, thermal = get(BOOT), get(CHASSIS), get(CHASSIS + "/Thermal")
    args = lambda b: [m.get("MessageArgs") for m in b["error"]["@Message.ExtendedInfo"]]  # noqa
    table = [  # (target, status, a check of the answer's JSON); the parsing itself is unit-tested
        (BOOT + "?$filter=Id&only&excerpt&$orderby=Id", 501,
         lambda b: args(b) == [["$filter"], ["$orderby"]]),
        (BOOT + "?$expand=.($levels=7)", 400, lambda b: args(b) == [["7", "$levels", "1 to 6"]]),
        (CHASSIS + "?$skip=1", 400, lambda b: "$skip" in b["error"]["message"]),
        ("/redfish/v1/$metadata?$top=1", 400, lambda b: "QueryNotSupportedOnResource" in str(b)),
        (CHASSIS + "?foo=1&only", 200, lambda b: b == chassis),
        (BOOT + "?$top=0", 200, lambda b: b["Members"] == [] and "Members@odata.nextLink" not in b),
        (BOOT + "?$skip=1&$top=5", 200, lambda b: b["Members"] == boot["Members"][1:] and
         b["Members@odata.count"] == 2 and "Members@odata.nextLink" not in b),
        (BOOT + "?%24top=1&$expand=~&$select=Members", 200, lambda b: b == {
            "@odata.id": BOOT, "@odata.type": boot["@odata.type"], "Members": boot["Members"][:1],
            "Members@odata.count": 2,
            "Members@odata.nextLink": BOOT + "?%24top=1&$expand=~&$select=Members&$skip=1"}),
        (CHASSIS + "?$select=Status/Health,Links/ManagedBy,None", 200, lambda b: b == {
            "@odata.id": CHASSIS, "@odata.type": chassis["@odata.type"], "Status": {"Health": "OK"},
            "Links": {"ManagedBy": chassis["Links"]["ManagedBy"]}}),
        (CHASSIS + "?$expand=~($levels=2)", 200, lambda b: b["Power"] == chassis["Power"] and
         b["Links"]["ComputerSystems"][0]["Links"]["Chassis"] == [{"@odata.id": CHASSIS}]),
        (CHASSIS + "?$expand=.", 200, lambda b: b["Links"] == chassis["Links"] and
         b["Power"] == get(CHASSIS + "/Power")),
        (CHASSIS + "/Thermal?$expand=*", 200, lambda b: b["Fans"][0]["Redundancy"] ==
         thermal["Fans"][0]["Redundancy"] and b["Fans"][0]["RelatedItem"][1] == chassis),
        ("/redfish/v1?$expand=*($levels=2)", 200, lambda b: "Id" in b["Chassis"]["Members"][0] and
         b["Chassis"]["Members"][0]["Power"] == chassis["Power"]),
        ("/redfish/v1?$select=Chassis/Members/Power/Id&$expand=.($levels=3)", 200,
         lambda b: b["Chassis"]["Members"][0]["Power"] == {"@odata.id": CHASSIS + "/Power",
                                                            "@odata.type": "#Power.v1_7_3.Power",
                                                            "Id": "Power"}),
    ]
    for target, status, check in table:
        answer = curl(service, target)
        try:
            expect(answer[0] == status and check(json.loads(answer[2])), "%s: %d" % (target, answer[0]))
        except (KeyError, ValueError, IndexError, TypeError) as e:
            expect(False, "%s: %d %s: %s" % (target, answer[0], type(e).__name__, e))
    expanded = curl(service, BOOT + "?$expand=*")[2]
    for member in boot["Members"]:  # an expanded member is byte for byte the member alone
        alone = curl(service, member["@odata.id"])[2].rstrip("\n")
        expect(alone.replace("\n", "\n    ") in expanded, "expanded " + member["@odata.id"])
    expect(service.logged('"GET %s?$expand=*" 200 %d expanded 2\n' % (BOOT, len(expanded))), "log")

    status, fields, body = curl(service, CHASSIS)
    tag = fields["etag"]
    for method, header, expected in [("GET", "W/" + tag, 304), ("GET", '"x", ' + tag, 304),
                                     ("HEAD", "*", 304), ("GET", '"x"', 200), ("HEAD", '"x"', 200)]:
        answer = curl(service, CHASSIS, method, "If-None-Match: " + header, 'If-Match: "x"')
        expect(answer[0] == expected and answer[1]["etag"] == tag and
               answer[2] == ("" if expected == 304 or method == "HEAD" else body), header)
    expect(tag == fnv1a(body.encode()), "ETag " + tag)


def exchange(service, *sends):
    """The answers [(status, lower-case headers, body)] on one connection to sends, each its own
    write, read until the service closes it; interim 100 answers left out. No HEAD requests."""
    with socket.create_connection(("127.0.0.1", service.port), timeout=10) as sock:
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        for data in sends:
            sock.sendall(data)
        return answers_until_closed(sock)


def answers_until_closed(sock):
    """The answers read on sock until the service closes it, as exchange gives them."""
    data, answers = b"".join(iter(lambda: sock.recv(65536), b"")), []
    while data:
        head, _, data = data.partition(b"\r\n\r\n")
        lines = head.decode().split("\r\n")
        status = int(lines[0].split()[1])
        fields = dict((k.strip().lower(), v.strip())
                      for k, _, v in (l.partition(":") for l in lines[1:]))
        size = int(fields.get("content-length", 0)) if status not in (100, 304) else 0
        answers += [] if status == 100 else [(status, fields, data[:size])]
        data = data[size:]
    return answers


def check_http(service):
    get = b"GET /redfish HTTP/1.1\r\nHost: x\r\n\r\n"
    last = b"GET /redfish/v1 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"
    head = lambda method, fields: (  # noqa: E731
        method + b" /redfish HTTP/1.1\r\nHost: x\r\n" + fields + b"\r\n\r\n")
    chunked = head(b"GET", b"Transfer-Encoding: chunked")
    closing = lambda a: a[-1][1].get("connection") == "close"  # noqa: E731
    args = lambda a: json.loads(a[0][2])["error"]["@Message.ExtendedInfo"][0]["MessageArgs"]  # noqa
    table = [  # (what, the writes of one connection, statuses, a check of the answers)
        ("pipelined", [get + last], [200, 200], lambda a: json.loads(a[0][2]) == {"v1": "/redfish/v1/"}),
        ("GET body later", [head(b"GET", b"Content-Length: 2"), b"{}", last], [200, 200], None),
        ("POST body later", [head(b"POST", b"Content-Length: 2"), b"{}", last], [405, 200], None),
        ("chunked", [chunked + b"2;x=y\r\n{}\r\n", b"0\r\nT: 1\r\n\r\n" + last], [200, 200], None),
        ("Expect", [head(b"PATCH", b"Expect: 100-continue\r\nContent-Length: 2"), b"{}", last],
         [405, 200], None),
        ("methods", [b"FAKEMETHOD / HTTP/1.1\r\n\r\nPROPFIND / HTTP/1.1\r\n\r\n"
                     b"PUT / HTTP/1.1\r\n\r\n" + last],
         [501, 501, 405, 200], lambda a: a[2][1]["allow"] == "GET, HEAD" and b"FAKEMETHOD" in a[0][2]),
        ("OData-Version", [head(b"GET", b"OData-Version: 4.1") + head(b"GET", b"OData-Version: 4.0")
                           + last],
         [412, 200, 200], lambda a: args(a) == ["OData-Version: 4.1"]),
        ("body too large", [head(b"GET", b"Content-Length: 65537") + get], [413], closing),
        ("head too large", [head(b"GET", b"X: " + b"x" * 16384) + get], [431], closing),
        ("two framings", [head(b"GET", b"Content-Length: 2\r\nTransfer-Encoding: chunked") + b"{}"
                          + get],
         [400], closing),
        ("bad chunk", [chunked + b"2\r\n{}}\r\n" + get], [400], closing),
        ("empty lines first", [b"\r\n\r\n" + last], [200], None),
        ("1001 requests", [get * 1001], [200] * 1000,
         lambda a: a[0][1]["keep-alive"] == "timeout=5, max=1000" and closing(a)),
    ]
    for what, sends, statuses, check in table:
        answers = exchange(service, *sends)
        expect([a[0] for a in answers] == statuses and (check is None or check(answers)) and
               all(a[1]["cache-control"] == "no-cache" for a in answers),
               "%s: %r" % (what, [a[:2] for a in answers]))
    for path, schema in ((CHASSIS, r"Chassis\.v1_\d+_\d+"), ("/redfish/v1/Chassis", "ChassisCollection"),
                         ("/redfish", None), ("/redfish/v1/Nothing", None)):
        fields = curl(service, path)[1]
        link = "<http://redfish.dmtf.org/schemas/v1/%s.json>; rel=describedby" % schema
        expect((re.fullmatch(link, fields["link"]) if schema else "link" not in fields) and
               curl(service, path, "HEAD")[1] == fields, "Link, HEAD of %s: %r" % (path, fields))


def check_bounds(service, tool):
    """A service with one worker, a 2 s wait and expansions of at most 2 resources: within the
    bound answers equal the default service's, past it 400; a connection that waited longer
    than 2 s for the worker 503; an idle connection gives its worker up to one waiting."""
    bounded = Service(tool, "--workers", "1", "--expand-workers", "1", "--max-wait", "2",
                      "--expand-max-resources", "2")
    bound = ("of at most 2 resources and 1048576 bytes of JSON in one answer (page a collection"
             " with $top and $skip)")
    args = lambda b: json.loads(b)["error"]["@Message.ExtendedInfo"][0]["MessageArgs"]  # noqa
    try:
        for target, status, check in [
                (BOOT + "?$expand=*", 200, None), (CHASSIS + "?$select=Id&$expand=.", 400,
                                                   lambda b: args(b) == [".", "$expand", bound]),
                ("/redfish/v1?$expand=*($levels=3)", 400, None)]:
            answer, usual = curl(bounded, target), curl(service, target)
            expect(answer[0] == status and usual[0] == 200 and
                   (answer[2] == usual[2] if status == 200 else check is None or check(answer[2])),
                   "bounded %s: %d %s" % (target, answer[0], answer[2][:300]))
        get = b"GET /redfish HTTP/1.1\r\nHost: x\r\n"
        connect = lambda: socket.create_connection(("127.0.0.1", bounded.port), timeout=10)  # noqa
        with connect() as holder, connect() as waiting:
            holder.sendall(get)  # a request begun holds the one worker until it ends
            time.sleep(0.5)
            waiting.sendall(get + b"\r\n")
            time.sleep(2.5)
            holder.sendall(b"\r\n")
            held, waited = answers_until_closed(holder), answers_until_closed(waiting)
        expect([a[0] for a in held] == [200] and [a[0] for a in waited] == [503] and
               waited[0][1]["retry-after"] == "2" and waited[0][1]["connection"] == "close" and
               args(waited[0][2]) == ["2"], "busy: %r %r" % (held, waited))
        with connect() as idle:
            idle.sendall(get + b"\r\n")
            time.sleep(0.5)
            after = exchange(bounded, get + b"Connection: close\r\n\r\n")
            expect([a[0] for a in answers_until_closed(idle)] == [200] and
                   [a[0] for a in after] == [200], "idle gives way: %r" % after)
    finally:
        expect(bounded.stop(), "the bounded service stopped: " + bounded.lines()[-500:])
        os.unlink(bounded.log.name)


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

    check_queries(service)
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
        expanded = json.loads(curl(service, CHASSIS + "?$expand=.")[2])
    finally:
        os.rename(telemetry + ".away", telemetry)
    expect(status == 500 and "InternalError" in body and
           "error: /redfish/v1/Chassis/1U/Power: root query failed: SQLite error 14" in
           service.lines(), "a failing query: %d %s" % (status, body))
    expect(expanded["Power"] == {"@odata.id": CHASSIS + "/Power"} and "Id" in expanded["Thermal"] and
           service.logged("link not expanded: %s/Power\n" % CHASSIS), "a link not expanded")
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
             "curl": lambda: check_curl(service, tool, root),
             "http": lambda: check_http(service),
             "bounds": lambda: check_bounds(service, tool)}[mode]()
    except (AssertionError, KeyError, ValueError, IndexError, subprocess.TimeoutExpired, OSError) as e:
        FAILURES.append("%s: %s" % (type(e).__name__, e))
    for failure in FAILURES:
        print("FAIL %s: %s" % (mode, failure))
    ok = not FAILURES
    stopped = service.stop()
    log = service.lines()
    os.unlink(service.log.name)
    if not stopped or '"GET /redfish/v1' not in log:
        print("FAIL %s: the service did not log requests or stop cleanly:\n%s" % (mode, log[-2000:]))
    return 0 if ok and stopped and '"GET /redfish/v1' in log else 1


if __name__ == "__main__":
    sys.exit(main())
