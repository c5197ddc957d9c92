#!/usr/bin/env python3
"""Times `pellandor call` against `curl --tlsv1.2 -k` sending the same request
bytes to the same exchange simulator, N sequential runs each (interleaved, so
machine noise hits both alike), and prints the ratio of the medians."""

import argparse
import json
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ap = argparse.ArgumentParser()
ap.add_argument("--bin", default=str(pathlib.Path(__file__).resolve().parent.parent / "build-bench" / "bin"),
                help="folder holding pellandor and pellandor-exchange-sim")
ap.add_argument("--runs", type=int, default=30)
args = ap.parse_args()

bindir = pathlib.Path(args.bin)
pellandor = bindir / "pellandor"
sim = bindir / "pellandor-exchange-sim"
curl = shutil.which("curl")
for tool in (pellandor, sim):
    if not tool.exists():
        sys.exit(f"missing {tool}: build first (cmake --preset bench && cmake --build --preset bench)")
if not curl:
    sys.exit("curl is not installed")

work = pathlib.Path(tempfile.mkdtemp(prefix="pellandor-bench-"))
log = work / "sim.jsonl"
server = subprocess.Popen([str(sim), "--port", "0", "--bind", "127.0.0.1", "--log", str(log)],
                          stdout=subprocess.PIPE, text=True)
try:
    first = server.stdout.readline().strip()
    port = first.rsplit(":", 1)[1]
    settings = work / "settings.ini"
    settings.write_text(
        "[USER_INFO]\nID=alice\nPW=secret\nPN=2001\n"
        f"[SYS_INFO]\nIP=127.0.0.1\nPORT={port}\n")
    env = dict(os.environ, PELLANDOR_SETTINGS=str(settings))
    call = [str(pellandor), "call", "--settings", str(settings), "--raw", "1234"]
    subprocess.run(call, check=True, stdout=subprocess.DEVNULL, env=env)

    # The request the program sent, replayed by curl byte for byte.
    raw = json.loads(log.read_text().splitlines()[-1])["raw"].encode("latin-1")
    head, body = raw.split(b"\r\n\r\n", 1)
    (work / "body").write_bytes(body)
    headers = []
    for line in head.decode("latin-1").split("\r\n")[1:]:
        headers += ["-H", line]
    replay = [curl, "--tlsv1.2", "-k", "-s", "-o", "/dev/null", "--fail",
              f"https://127.0.0.1:{port}/ulvex_svc", *headers, "--data-binary", f"@{work / 'body'}"]
    subprocess.run(replay, check=True)

    def timed(cmd):
        start = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, env=env)
        return time.perf_counter() - start

    ours, theirs = [], []
    for _ in range(args.runs):
        ours.append(timed(call))
        theirs.append(timed(replay))
    m_ours, m_theirs = statistics.median(ours), statistics.median(theirs)
    print(f"runs: {args.runs} each")
    print(f"pellandor call  median {m_ours * 1000:8.2f} ms")
    print(f"curl --tlsv1.2  median {m_theirs * 1000:8.2f} ms")
    print(f"ratio of medians (pellandor / curl): {m_ours / m_theirs:.3f}")
finally:
    server.terminate()
    server.wait(timeout=10)
    shutil.rmtree(work, ignore_errors=True)
