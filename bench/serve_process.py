"""`sql2json serve` as a child process of a benchmark.

start_serve   the service on a tree, once it listens, and its port
UNBOUNDED     the options that lift its expansion bounds, for benches that measure the
              expansion itself
"""
import re
import subprocess
import tempfile
import time

UNBOUNDED = ["--expand-max-resources", "1000000", "--expand-max-bytes", "1073741824"]


def start_serve(tool, tree, options=()):
    """(process, port) of `TOOL --root TREE serve --port 0 OPTIONS` once it says where it listens;
    its log goes to a temporary file. Exits the bench when it does not start within 10 s."""
    log = tempfile.TemporaryFile("w+")
    process = subprocess.Popen([tool, "--root", tree, "serve", "--port", "0", *options],
                               stderr=log)
    for _ in range(200):
        log.seek(0)
        found = re.search(r"listening on http://127\.0\.0\.1:(\d+)/", log.read())
        if found:
            return process, int(found.group(1))
        time.sleep(0.05)
    process.kill()
    raise SystemExit("the service did not start")
