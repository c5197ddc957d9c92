"""What the desktop benchmarks share: helper processes spoken to in lines (the X probe, the bare
TLS clients), the exchange simulator's log, and Enter pressed in the call dialog until its request
is at the exchange."""

import json
import queue
import subprocess
import sys
import threading
import time


class Lines:
    """A helper process spoken to in lines; its output read on a thread. `session` is the private
    desktop: its `env` starts the process, and its `procs` end it."""

    def __init__(self, session, cmd):
        self.proc = subprocess.Popen(cmd, env=session.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True, bufsize=1)
        session.procs.append(self.proc)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            self.lines.put(line.split())

    def send(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def expect(self, word, timeout=10.0, where=None):
        """The next line starting with `word` (and matching `where`); others are dropped."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError(f"timed out waiting for {word!r}")
            try:
                fields = self.lines.get(timeout=left)
            except queue.Empty:
                continue
            if fields and fields[0] == "error":
                print("  probe:", " ".join(fields[1:]), file=sys.stderr)
            if fields and fields[0] == word and (where is None or where(fields)):
                return fields

    def drain(self):
        while not self.lines.empty():
            self.lines.get_nowait()


class ExchangeLog:
    """The simulator's log of requests, read only where it grew since the last look. The
    benchmarks poll it every few milliseconds while a request is timed; parsing it whole each
    time took a CPU away from the program measured, and the bare clients were timed with the
    poll idle."""

    def __init__(self, path):
        self.path = path
        self.entries = []
        self.offset = 0
        self.seen = len(self.read())  # next() waits for requests after these

    def next(self, timeout=10):
        """The newest request logged since the last call; AssertionError when none comes in time."""
        deadline = time.monotonic() + timeout
        while len(self.read()) == self.seen:
            if time.monotonic() > deadline:
                raise AssertionError(f"no request at the exchange within {timeout} s")
            time.sleep(0.005)
        self.seen = len(self.entries)
        return self.entries[-1]

    def read(self):
        try:
            size = self.path.stat().st_size
        except FileNotFoundError:
            return self.entries
        if size < self.offset:  # started again
            self.entries, self.offset = [], 0
        if size == self.offset:
            return self.entries
        with open(self.path, "rb") as f:
            f.seek(self.offset)
            added = f.read()
        end = added.rfind(b"\n") + 1
        self.offset += end
        self.entries.extend(json.loads(line) for line in added[:end].splitlines() if line.strip())
        return self.entries


def press_enter(probe, log, patience):
    """Enter through the X probe, and the request it sent: (the press's stamp, the request). Pressed
    again should it have come while Call was still off from the last call.

    The key is held while the request goes out, as a hand holds it for tens of milliseconds (a
    release sent with the press is translated before the press can act), and let go well before
    the X server would repeat it; `log` is the simulator's ExchangeLog."""
    for _ in range(3):
        probe.send("down Return")
        pressed = float(probe.expect("key")[1])
        try:
            request = log.next(timeout=0.4)
        except AssertionError:
            request = None
        probe.send("up Return")
        probe.expect("up")
        if request is None:
            try:
                request = log.next(timeout=patience)
            except AssertionError:
                continue
        return pressed, request
    raise AssertionError("Enter in the call dialog sends no request")
