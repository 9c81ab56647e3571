#!/usr/bin/env python3
"""Real Redfish clients against `sql2json serve` on the sample server.

Usage: serve_clients.py redfishtool|sushy|curl TOOL SAMPLE_ROOT

Starts the service on a free loopback port (--port 0; the port comes from its first log
line), runs the clients of the mode, then stops the service with SIGTERM whatever happened and
checks that it stopped cleanly. A client that is not installed fails the test: the clients
are part of what is tested (scripts/install-deps.sh installs them).
"""
import json
import os
import re
import select
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import threading
import time

LIVE_DB = "var/run/unifieddatabase/DMLiveObjectDatabase.db"
TELEMETRY_DB = "var/run/telemetryservice/telemetry_timeseries_database.db"
CLIENT_TIMEOUT = 30
HERE = os.path.dirname(os.path.abspath(__file__))


class Failure(Exception):
    pass


def expect(condition, what):
    if not condition:
        raise Failure(what)


class Service:
    """The tool's service as a child process; its log lines are collected in the background."""

    def __init__(self, tool):
        env = dict(os.environ, SQL2JSON_LOG_LEVEL="1")  # the converter's own failures only
        emulator = os.environ.get("SQL2JSON_TOOL_EMULATOR", "").split()
        self.proc = subprocess.Popen(emulator + [tool, "serve", "--bind", "127.0.0.1",
                                                 "--port", "0"],
                                     stderr=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                     text=True, env=env)
        self.lines = []
        self.port = self._read_port()
        self.reader = threading.Thread(target=self._drain, daemon=True)
        self.reader.start()

    def _read_port(self):
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.proc.stderr], [], [], 0.5)
            if not ready:
                continue
            line = self.proc.stderr.readline()
            if not line:
                break
            self.lines.append(line.rstrip("\n"))
            found = re.search(r"listening on http://127\.0\.0\.1:(\d+)/redfish/v1/", line)
            if found:
                return int(found.group(1))
        raise Failure("the service did not start: %r" % self.lines)

    def _drain(self):
        for line in self.proc.stderr:
            self.lines.append(line.rstrip("\n"))

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def stop(self):
        """SIGTERM; True when the service ended with status 0 and said it stopped."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        try:
            status = self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            return False
        self.reader.join(timeout=5)
        return status == 0 and self.lines[-1:] == ["sql2json serve: stopped"]

    def request_lines(self):
        return [l for l in self.lines if re.match(r'sql2json serve: 127\.0\.0\.1 "', l)]


def require(program):
    if shutil.which(program) is None:
        raise Failure("%s is not installed: run scripts/install-deps.sh" % program)


def run(args):
    done = subprocess.run(args, capture_output=True, text=True, timeout=CLIENT_TIMEOUT)
    if done.returncode != 0:
        raise Failure("%s exited %d: %s%s" % (" ".join(args), done.returncode, done.stdout,
                                              done.stderr))
    return done.stdout


# ---- redfishtool ---------------------------------------------------------------------------

def check_redfishtool(service, db):
    require("redfishtool")
    # Plain HTTP without credentials: the sample service has no TLS and no accounts.
    base = ["redfishtool", "-r", "127.0.0.1:%d" % service.port, "-S", "Never", "-A", "None",
            "-T", "10"]

    def tool_json(*args):
        return json.loads(run(base + list(args)))

    root_id, version, uuid = db.execute("select Id, RedfishVersion, UUID from ServiceRoot").fetchone()
    root = tool_json("raw", "GET", "/redfish/v1/")
    expect(root["Id"] == root_id and root["RedfishVersion"] == version and root["UUID"] == uuid
           and root["Chassis"] == {"@odata.id": "/redfish/v1/Chassis"},
           "raw GET /redfish/v1/: %r" % root)
    print("redfishtool raw GET /redfish/v1/: Id %s, RedfishVersion %s" % (root_id, version))

    ids = [r[0] for r in db.execute("select Id from ChassisInventory order by Id")]
    collection = tool_json("Chassis")
    expect([m["@odata.id"] for m in collection["Members"]] == ["/redfish/v1/Chassis/" + i for i in ids]
           and collection["Members@odata.count"] == len(ids), "Chassis: %r" % collection)
    listed = tool_json("Chassis", "list")
    tag = db.execute("select AssetTag from ChassisInventory where Id = '1U'").fetchone()[0]
    expect([(m["Id"], m["AssetTag"]) for m in listed["Members"]] == [("1U", tag)],
           "Chassis list: %r" % listed)
    print("redfishtool Chassis, Chassis list: members %r" % ids)

    raw = tool_json("raw", "GET", "/redfish/v1/Chassis/1U")
    got = tool_json("Chassis", "-I", "1U")
    row = db.execute("select Name, ChassisType, Manufacturer, Model, SerialNumber, PowerState, "
                     "Health from ChassisInventory where Id = '1U'").fetchone()
    fields = ["Name", "ChassisType", "Manufacturer", "Model", "SerialNumber", "PowerState"]
    expect(raw == got and [got[f] for f in fields] + [got["Status"]["Health"]] == list(row) and
           got["Power"] == {"@odata.id": "/redfish/v1/Chassis/1U/Power"} and
           got["Thermal"] == {"@odata.id": "/redfish/v1/Chassis/1U/Thermal"},
           "Chassis -I 1U: %r" % got)
    print("redfishtool raw GET /redfish/v1/Chassis/1U and Chassis -I 1U: %s, %s" % (row[0], row[1]))

    consumed = db.execute("select ConsumedW from PowerControlSensors").fetchone()[0]
    power = tool_json("Chassis", "-I", "1U", "Power")
    expect(power["PowerControl"][0]["PowerConsumedWatts"] == consumed and
           power["PowerControl@odata.count"] == 1, "Chassis -I 1U Power: %r" % power)
    reading = tool_json("Chassis", "-I", "1U", "getPowerReading", "consumed")
    expect(reading == {"PowerConsumedWatts": consumed}, "getPowerReading: %r" % reading)
    fans = [r[0] for r in db.execute("select Reading from FanSensors order by MemberId")]
    thermal = tool_json("Chassis", "-I", "1U", "Thermal")
    expect([f["Reading"] for f in thermal["Fans"]] == fans, "Chassis -I 1U Thermal: %r" % thermal)
    print("redfishtool Chassis -I 1U Power / getPowerReading consumed / Thermal: %s W, fans %r"
          % (consumed, fans))


# ---- sushy -----------------------------------------------------------------------------------

def check_sushy(service, db_path):
    done = subprocess.run([sys.executable, os.path.join(HERE, "sushy_walk.py"),
                           service.url(""), db_path],
                          capture_output=True, text=True, timeout=CLIENT_TIMEOUT)
    sys.stdout.write(done.stdout)
    if "No module named 'sushy'" in done.stderr:
        raise Failure("python3-sushy is not installed for %s: run scripts/install-deps.sh"
                      % sys.executable)
    expect(done.returncode == 0, "sushy walk failed: %s" % done.stderr)


# ---- curl ------------------------------------------------------------------------------------

def curl(service, method, path):
    """(status, headers as a lower-case dict, body) of one request made by curl."""
    require("curl")
    args = ["curl", "-sS", "--path-as-is", "--max-time", "10"]
    args += ["-I"] if method == "HEAD" else ["-D", "-", "-o", "-", "-X", method]
    out = subprocess.run(args + [service.url(path)], capture_output=True, timeout=CLIENT_TIMEOUT)
    if out.returncode != 0:
        raise Failure("curl %s %s failed: %s" % (method, path, out.stderr))
    head, _, body = out.stdout.decode("latin-1").partition("\r\n\r\n")
    lines = head.split("\r\n")
    headers = dict((k.strip().lower(), v.strip())
                   for k, _, v in (l.partition(":") for l in lines[1:]))
    return int(lines[0].split()[1]), headers, body


def raw_request(service, request_line):
    """The status of a request whose line is sent as the bytes given (no client rewrites it)."""
    with socket.create_connection(("127.0.0.1", service.port), timeout=10) as sock:
        sock.sendall(request_line + b"\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
        reply = b""
        while not reply.endswith(b"}\n"):
            chunk = sock.recv(65536)
            if not chunk:
                break
            reply += chunk
    return int(reply.split(b" ", 2)[1])


def error_id(body):
    return json.loads(body)["error"]["@Message.ExtendedInfo"][0]["MessageId"]


LONG = "/redfish/v1/Chassis/" + "a" * 2048
HUGE = "/redfish/v1/Chassis/" + "a" * 8192
ODD_URIS = [  # path, status; none of them may resolve to a resource
    ("/redfish/v1/Chassis/1U'", 400),
    ("/redfish/v1/Chassis/1U%27%20OR%20%271%27=%271", 400),
    ("/redfish/v1/Chassis/1U';DROP%20TABLE%20Chassis;--", 400),
    ('/redfish/v1/Chassis/"1U"', 400),
    ("/redfish/v1/Chassis/%", 400),
    ("/redfish/v1/Chassis/%25", 400),
    ("/redfish/v1/Chassis/1%55", 400),    # percent-encoded "U": not decoded into 1U
    ("/redfish/v1/Chassis/1U%00", 400),
    ("/redfish/v1/Chassis/../Chassis/1U", 400),
    ("/redfish/v1/Chassis/./1U", 400),
    ("/redfish/v1/Chassis/1_", 404),      # '_' is no wildcard in a request
    ("/redfish/v1/Fabric_", 404),
    ("/redfish/v1/Fabrics/CX_", 404),
    ("/redfish/v1/Chassis/2U", 404),
    ("/redfish/v1/Nothing", 404),
    ("/", 404),
    ("/redfish/v2", 404),
    (LONG, 400),
]


def check_headers(headers, what):
    expect(headers.get("content-type") == "application/json" and
           headers.get("odata-version") == "4.0", "%s: headers %r" % (what, headers))


def check_curl_resources(service):
    status, headers, body = curl(service, "GET", "/redfish")
    check_headers(headers, "/redfish")
    expect(status == 200 and json.loads(body) == {"v1": "/redfish/v1/"}, "/redfish: %s" % body)
    root = [curl(service, "GET", p) for p in ("/redfish/v1", "/redfish/v1/")]
    expect(all(s == 200 for s, _, _ in root) and root[0][2] == root[1][2] and
           json.loads(root[0][2])["@odata.id"] == "/redfish/v1/", "service root: %r" % root)
    status, headers, body = curl(service, "GET", "/redfish/v1/Chassis/1U/")
    check_headers(headers, "/redfish/v1/Chassis/1U/")
    head_status, head_headers, head_body = curl(service, "HEAD", "/redfish/v1/Chassis/1U")
    expect(status == 200 and head_status == 200 and head_body == "" and
           head_headers.get("content-length") == str(len(body.encode("latin-1"))),
           "HEAD: %r %r" % (head_status, head_headers))
    print("curl: /redfish, /redfish/v1, /redfish/v1/ and HEAD answer 200 with "
          "Content-Type: application/json and OData-Version: 4.0")


def check_curl_errors(service):
    status, headers, body = curl(service, "GET", "/redfish/v1/Nothing")
    check_headers(headers, "404")
    expect(status == 404 and error_id(body) == "Base.1.8.1.ResourceMissingAtURI",
           "404 body: %s" % body)
    for method in ("POST", "PUT", "PATCH", "DELETE", "OPTIONS"):
        status, headers, body = curl(service, method, "/redfish/v1/Chassis/1U")
        expect(status == 405 and headers.get("allow") == "GET, HEAD" and "error" in json.loads(body),
               "%s: %s %r" % (method, status, headers))
    print("curl: 404 with a ResourceMissingAtURI body; POST PUT PATCH DELETE OPTIONS answer 405 "
          "with Allow: GET, HEAD")
    for path, expected in ODD_URIS:
        status, _, body = curl(service, "GET", path)
        expect(status == expected and "error" in json.loads(body),
               "%s: %d, expected %d" % (path[:60], status, expected))
    status = curl(service, "GET", HUGE)[0]
    expect(status in (400, 414), "8 KiB path: %d" % status)  # httplib refuses it with 414
    expect(raw_request(service, b"GET /redfish/v1/Chassis/1U\0x HTTP/1.1") == 400, "raw NUL")
    expect(raw_request(service, b"GET /redfish/v1/Chassis/1U' HTTP/1.1") == 400, "raw quote")
    expect(curl(service, "GET", "/redfish/v1/Chassis/1U")[0] == 200, "1U after the odd URIs")
    print("curl: %d odd URIs (quotes, %%, _, percent-encoding, .., NUL, long paths) answered "
          "400 or 404; an 8 KiB path %d" % (len(ODD_URIS) + 2, status))


def check_curl_failure(service, root):
    """A query that fails (telemetry database gone) answers 500, logs, and the service lives."""
    telemetry = os.path.join(root, TELEMETRY_DB)
    os.rename(telemetry, telemetry + ".away")
    try:
        status, headers, body = curl(service, "GET", "/redfish/v1/Chassis/1U/Power")
    finally:
        os.rename(telemetry + ".away", telemetry)
    check_headers(headers, "500")
    expect(status == 500 and error_id(body) == "Base.1.8.1.InternalError", "500: %s" % body)
    time.sleep(0.2)
    expect(any("error: /redfish/v1/Chassis/1U/Power: root query failed: SQLite error 14" in l
               for l in service.lines), "no log line for the failure: %r" % service.lines[-5:])
    expect(curl(service, "GET", "/redfish/v1/Chassis/1U/Power")[0] == 200, "Power after 500")
    print("curl: a failing query answers 500 with an InternalError body and a log line")


def check_curl(service, root):
    check_curl_resources(service)
    check_curl_errors(service)
    check_curl_failure(service, root)


def main():
    mode, tool, root = sys.argv[1:4]
    db_path = os.path.join(root, LIVE_DB)
    service = Service(tool)
    ok = False
    try:
        if mode == "redfishtool":
            with sqlite3.connect("file:%s?mode=ro" % db_path, uri=True) as db:
                check_redfishtool(service, db)
        elif mode == "sushy":
            check_sushy(service, db_path)
        elif mode == "curl":
            check_curl(service, root)
        else:
            raise Failure("unknown mode " + mode)
        ok = True
    except (Failure, KeyError, ValueError, IndexError, subprocess.TimeoutExpired) as e:
        print("FAIL %s: %s: %s" % (mode, type(e).__name__, e))
    finally:
        stopped = service.stop()
    if not stopped:
        print("FAIL %s: the service did not stop cleanly on SIGTERM: %r" % (mode, service.lines[-3:]))
    requests = service.request_lines()
    print("%s: %d requests logged, service %s" % (mode, len(requests),
                                                  "stopped cleanly" if stopped else "NOT stopped"))
    if ok and stopped and not requests:
        print("FAIL %s: no request log line" % mode)
        return 1
    return 0 if ok and stopped else 1


if __name__ == "__main__":
    sys.exit(main())
