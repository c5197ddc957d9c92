#!/usr/bin/env python3
"""How long `pellandor call` takes and how much memory it holds against
exchanges that answer without end. A TLS peer on 127.0.0.1:
  huge     Content-Length: 1 TB, then bytes as fast as it can for up to 30 s
  trickle  Content-Length: 1 MiB, then 256-byte pieces 5 ms apart, the whole
           taking about 20 s
Usage: bench/answer_bounds.py PELLANDOR_BINARY [huge|trickle ...]
Prints wall time, peak RSS and the command's last error line per mode."""

import os
import pathlib
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time


def serve(listener, context, mode, stop):
    conn, _ = listener.accept()
    try:
        tls = context.wrap_socket(conn, server_side=True)
        request = b""
        while b"\r\n\r\n" not in request:
            request += tls.recv(65536)
        head, body = request.split(b"\r\n\r\n", 1)
        length = int([l for l in head.split(b"\r\n") if l.lower().startswith(b"content-length:")][0].split(b":")[1])
        while len(body) < length:
            body += tls.recv(65536)
        end = time.monotonic() + 30
        if mode == "huge":
            tls.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 1000000000000\r\n\r\n")
            chunk = b"x" * 65536
            while not stop.is_set() and time.monotonic() < end:
                tls.sendall(chunk)
        else:
            tls.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 1048576\r\n\r\n")
            sent = 0
            while sent < 1048576 and not stop.is_set() and time.monotonic() < end:
                tls.sendall(b"y" * 256)
                sent += 256
                time.sleep(0.005)
    except (OSError, ssl.SSLError):
        pass
    finally:
        conn.close()


def run(binary, mode, work):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(work / "cert.pem", work / "key.pem")
    listener = socket.create_server(("127.0.0.1", 0))
    port = listener.getsockname()[1]
    stop = threading.Event()
    server = threading.Thread(target=serve, args=(listener, context, mode, stop), daemon=True)
    server.start()
    settings = work / f"settings-{mode}.ini"
    settings.write_text(f"[USER_INFO]\nID=alice\nPN=2001\n[SYS_INFO]\nIP=127.0.0.1\nPORT={port}\n")
    subprocess.run([binary, "config", "set", "--settings", str(settings), "USER_INFO", "PW", "secret"], check=True)
    start = time.monotonic()
    result = subprocess.run(["/usr/bin/time", "-f", "%M", binary, "call", "--settings", str(settings), "1234"],
                            capture_output=True, text=True)
    wall = time.monotonic() - start
    stop.set()
    lines = result.stderr.strip().splitlines()
    peak_kb = int(lines[-1]) if lines and lines[-1].isdigit() else -1
    error = next((l for l in lines if l.startswith("pellandor:")), "")
    print(f"{mode}: {wall:.1f} s, peak {peak_kb / 1024:.0f} MiB, exit {result.returncode}: {error}")
    listener.close()


def main():
    binary = sys.argv[1]
    modes = sys.argv[2:] or ["huge", "trickle"]
    with tempfile.TemporaryDirectory() as folder:
        work = pathlib.Path(folder)
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=bench",
                        "-keyout", str(work / "key.pem"), "-out", str(work / "cert.pem")],
                       check=True, capture_output=True)
        for mode in modes:
            run(binary, mode, work)


if __name__ == "__main__":
    main()
