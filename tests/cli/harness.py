"""Shared pieces of the command-line tests: the built binaries, a scratch
folder per test, and an exchange simulator started on a port the OS picks."""

import json
import os
import pathlib
import shutil
import subprocess
import tempfile
import time
import unittest

BIN = pathlib.Path(os.environ.get("PELLANDOR_BIN_DIR", pathlib.Path(__file__).resolve().parents[2] / "build" / "bin"))
PELLANDOR = BIN / "pellandor"
# The Windows build's tests use the simulator of a Linux build.
SIM = pathlib.Path(os.environ.get("PELLANDOR_SIM", BIN / "pellandor-exchange-sim"))
DATA = pathlib.Path(__file__).resolve().parent / "data"
SOURCE = pathlib.Path(__file__).resolve().parents[2]

# Built-in English texts of the result messages.
CALL_FAIL = "Making the call failed."
HANGUP_FAIL = "Hanging up the phone failed."
RECEIVE_FAIL = "Check out if your system IP address or Port is valid.\nRS CODE : RECEIVE FAIL"


class Simulator:
    def __init__(self, workdir, *, mode="normal", bind="127.0.0.1", rsa_bits=None, accounts=None, cert=None,
                 second_identity=False):
        self.log = pathlib.Path(workdir) / f"sim-{os.getpid()}-{id(self)}.jsonl"
        cmd = [str(SIM), "--port", "0", "--bind", bind, "--mode", mode, "--log", str(self.log)]
        if rsa_bits:
            cmd += ["--rsa-bits", str(rsa_bits)]
        if cert:
            cmd += ["--cert", str(cert[0]), "--key", str(cert[1])]
        # Writing "2" into this file makes the next connections meet another key.
        self.identity_file = pathlib.Path(workdir) / f"identity-{id(self)}" if second_identity else None
        if self.identity_file:
            cmd += ["--identity-file", str(self.identity_file)]
        if accounts:
            path = pathlib.Path(workdir) / "accounts.tsv"
            path.write_text("".join("\t".join(a) + "\n" for a in accounts))
            cmd += ["--accounts", str(path)]
        self.proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        first = self.proc.stdout.readline().strip()
        if not first.startswith("listening on "):
            self.stop()
            raise RuntimeError(f"simulator did not start: {first!r}")
        self.port = int(first.rsplit(":", 1)[1])
        # "key N FINGERPRINT" for each identity, as the client shows keys.
        self.keys = [self.proc.stdout.readline().split()[2] for _ in range(2 if second_identity else 1)]

    def present(self, identity):
        self.identity_file.write_text(str(identity))

    def requests(self):
        if not self.log.exists():
            return []
        return [json.loads(line) for line in self.log.read_text().splitlines() if line.strip()]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if self.proc.stdout:
            self.proc.stdout.close()


class CliTestCase(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="pellandor-test-"))
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)
        self.settings = self.dir / "settings.ini"
        # Keep every test away from the real user's files.
        self.env = {k: v for k, v in os.environ.items() if k != "PELLANDOR_SETTINGS"}
        self.env["XDG_CONFIG_HOME"] = str(self.dir / "config")
        self.env["HOME"] = str(self.dir)
        # Nor may a password reach the user's own keyring: no session bus at
        # all (a runtime folder of the test's own holds none), so the keyring
        # library is not even loaded.
        self.env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        runtime = self.dir / "runtime"
        runtime.mkdir(mode=0o700)
        self.env["XDG_RUNTIME_DIR"] = str(runtime)

    def write_settings(self, text):
        self.settings.write_text(text)

    def pellandor(self, *args, settings=True, timeout=60, input=None):
        cmd = [str(PELLANDOR), *args]
        if settings and args:
            cmd[2:2] = ["--settings", str(self.settings)]
        return subprocess.run(cmd, capture_output=True, text=True, env=self.env, timeout=timeout,
                              input=input if input is not None else "")

    def start_sim(self, **kwargs):
        sim = Simulator(self.dir, **kwargs)
        self.addCleanup(sim.stop)
        return sim

    def check_faulty_exchanges(self, cases, **sim_args):
        """A call to each faulty exchange fails as a receive failure, says in words what went
        wrong and ends within its limit (which only catches a hang: the simulator holds a
        connection 30 to 60 s). `cases`: (mode, the diagnostic with {} for the exchange,
        seconds); the subclass's configure(port) points the settings at the simulator."""
        for mode, text, limit in cases:
            with self.subTest(mode=mode):
                sim = self.start_sim(mode=mode, rsa_bits=1024, **sim_args)
                self.configure(sim.port)
                started = time.monotonic()
                result = self.pellandor("call", "1234")
                elapsed = time.monotonic() - started
                self.assertEqual(result.returncode, 3, result.stdout + result.stderr)
                self.assertEqual(result.stdout, f"Failed\n{RECEIVE_FAIL}\n")
                self.assertIn("pellandor: " + text.format(f"127.0.0.1:{sim.port}"), result.stderr)
                self.assertNotIn("::", result.stderr)
                self.assertLess(elapsed, limit)
                sim.stop()
