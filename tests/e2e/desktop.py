"""A private desktop for the end-to-end tests: Xvfb on a free display, a
D-Bus session, openbox, trayer (an XEmbed tray), the exchange simulator and
the real pellandor, driven with xdotool and xclip like a person would."""

import json
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "cli"))
from secret_service import BUS_CONFIG  # noqa: E402

BIN = pathlib.Path(os.environ.get("PELLANDOR_BIN_DIR", pathlib.Path(__file__).resolve().parents[2] / "build" / "bin"))
PELLANDOR = BIN / "pellandor"
SIM = BIN / "pellandor-exchange-sim"
SAMPLE_PLAN = pathlib.Path(__file__).resolve().parents[2] / "resources" / "sample_settings.ini"
TITLE = "Ulvex Pellandor"


def wait_for(what, condition, timeout=10.0, interval=0.05):
    """Polls until condition() is truthy; returns its value or raises."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


def stop_process(proc, sig=signal.SIGTERM, timeout=5):
    if proc is None or proc.poll() is not None:
        return
    proc.send_signal(sig)
    try:
        proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


class Desktop:
    """One X session shared by the cases; every process it starts is ended by PID."""

    def __init__(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="pellandor-e2e-"))
        self.procs = []
        try:
            self._start()
        except BaseException:
            self.close()
            raise

    def _spawn(self, cmd, **kwargs):
        kwargs.setdefault("stdout", subprocess.DEVNULL)
        kwargs.setdefault("stderr", subprocess.DEVNULL)
        proc = subprocess.Popen(cmd, env=kwargs.pop("env", self.env), **kwargs)
        self.procs.append(proc)
        return proc

    # The simulator's key: a small one keeps the tests' handshakes quick.
    SIM_KEY_ARGS = ("--rsa-bits", "1024")

    def _start_xvfb(self):
        """Starts Xvfb on a display the server picks; returns its name."""
        read_fd, write_fd = os.pipe()
        self.xvfb = self._spawn(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x800x24",
                                 "-nolisten", "tcp", "-noreset"], pass_fds=(write_fd,), env=self.env)
        os.close(write_fd)
        number = b""
        with os.fdopen(read_fd, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        return ":" + number.decode().strip()

    def _start(self):
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("DISPLAY", "WAYLAND_DISPLAY", "PELLANDOR_SETTINGS", "QT_QPA_PLATFORM",
                                 "DBUS_SESSION_BUS_ADDRESS", "XDG_SESSION_TYPE")}
        self.display = self._start_xvfb()
        self.env["DISPLAY"] = self.display
        self.env["HOME"] = str(self.dir / "home")
        self.env["XDG_CONFIG_HOME"] = str(self.dir / "home" / ".config")
        (self.dir / "home").mkdir()

        # A bus that starts nothing on demand: no keyring daemon pops up a prompt.
        bus_dir = self.dir / "bus"
        bus_dir.mkdir()
        (bus_dir / "bus.conf").write_text(BUS_CONFIG.format(dir=bus_dir))
        bus = self._spawn(["dbus-daemon", f"--config-file={bus_dir / 'bus.conf'}", "--nofork", "--print-address"],
                          stdout=subprocess.PIPE, text=True)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()

        self._spawn(["openbox", "--sm-disable"])
        wait_for("the window manager", lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]).stdout)
        self.trayer = self._spawn(["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "120",
                     "--height", "28", "--SetDockType", "true", "--transparent", "false", "--tint", "0x303030"])
        wait_for("the tray", lambda: self.run(["xdotool", "search", "--classname", "trayer"]).stdout.strip())

        self.sim_log = self.dir / "exchange.jsonl"
        # Writing "2" here makes the simulator show another key from the next connection on.
        self.identity_file = self.dir / "identity"
        self.sim = self._spawn([str(SIM), "--port", "0", "--bind", "127.0.0.1", *self.SIM_KEY_ARGS,
                                "--identity-file", str(self.identity_file), "--log", str(self.sim_log)],
                               stdout=subprocess.PIPE, text=True)
        first = self.sim.stdout.readline().strip()
        if not first.startswith("listening on "):
            raise RuntimeError(f"exchange simulator did not start: {first!r}")
        self.sim_port = int(first.rsplit(":", 1)[1])
        self.sim_keys = [self.sim.stdout.readline().split()[2] for _ in range(2)]

    def close(self):
        for proc in reversed(self.procs):
            stop_process(proc)
        shutil.rmtree(self.dir, ignore_errors=True)

    # --- helpers -------------------------------------------------------------------------

    def run(self, cmd, timeout=20, **kwargs):
        return subprocess.run(cmd, env=kwargs.pop("env", self.env), capture_output=True, text=True,
                              timeout=timeout, **kwargs)

    def requests(self):
        if not self.sim_log.exists():
            return []
        return [json.loads(line) for line in self.sim_log.read_text().splitlines() if line.strip()]

    def move_pointer(self, x, y):
        # --sync can hang under Xvfb: move, then poll.
        self.run(["xdotool", "mousemove", str(x), str(y)])
        wait_for(f"the pointer at {x},{y}", lambda: self.pointer() == (x, y))

    def pointer(self):
        out = self.run(["xdotool", "getmouselocation", "--shell"]).stdout
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(values.get("X", -1)), int(values.get("Y", -1))

    def copy(self, text, targets=None):
        """Owns the clipboard with `text` like an application would; returns xclip, ended by the caller."""
        cmd = ["xclip", "-selection", "clipboard", "-quiet"]
        if targets:
            cmd += ["-t", targets]
        proc = subprocess.Popen(cmd, env=self.env, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        self.procs.append(proc)
        proc.stdin.write(text.encode())
        proc.stdin.close()
        wait_for("the clipboard owner", lambda: self.run(
            ["xclip", "-selection", "clipboard", "-o"]).stdout == text)
        return proc

    def windows(self, name):
        """Visible windows whose title is exactly `name`, larger than a tray icon."""
        ids = self.run(["xdotool", "search", "--onlyvisible", "--name", f"^{re.escape(name)}$"]).stdout.split()
        found = []
        for wid in ids:
            geometry = self.geometry(wid)
            if geometry and geometry[2] > 40 and geometry[3] > 40:
                found.append(wid)
        return found

    def geometry(self, wid):
        out = self.run(["xdotool", "getwindowgeometry", "--shell", wid]).stdout
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        try:
            return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])
        except KeyError:
            return None

    def stacking(self):
        """Managed windows, bottom first."""
        out = self.run(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"]).stdout
        return [int(w, 16) for w in re.findall(r"0x[0-9a-fA-F]+", out)]

    def active_window(self):
        return self.run(["xdotool", "getactivewindow"]).stdout.strip()

    def close_window(self, wid):
        """Asks the window manager to close it (WM_DELETE_WINDOW), as a person would."""
        self.run(["xdotool", "windowactivate", wid])
        wait_for("the window to be active", lambda: self.active_window() == wid, timeout=5)
        self.run(["xdotool", "key", "--clearmodifiers", "alt+F4"])

    def tray_icon(self):
        """Absolute centre of pellandor's icon inside the tray."""
        tree = self.run(["xwininfo", "-root", "-tree"]).stdout
        for line in tree.splitlines():
            m = re.search(r'\("pellandor" "pellandor"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)', line)
            if m and int(m.group(1)) <= 64:
                w, h, x, y = map(int, m.groups())
                return x + w // 2, y + h // 2
        return None

    def pixels(self, x, y, w, h):
        """RGB bytes of a screen rectangle."""
        out = subprocess.run(["import", "-display", self.display, "-window", "root", "-crop", f"{w}x{h}+{x}+{y}",
                              "+repage", "-depth", "8", "rgb:-"], capture_output=True, timeout=30, env=self.env)
        return out.stdout


class Pellandor:
    """The real program on a settings file of its own, with a runtime folder of its own."""

    def __init__(self, desktop, name, settings_text, password="secret", args=()):
        self.desktop = desktop
        self.dir = desktop.dir / name
        self.dir.mkdir()
        runtime = self.dir / "runtime"
        runtime.mkdir(mode=0o700)
        self.settings = self.dir / "pellandor_settings.ini"
        self.settings.write_text(SAMPLE_PLAN.read_text() + settings_text)
        self.env = dict(desktop.env, XDG_RUNTIME_DIR=str(runtime))
        for section, key, value in (("USER_INFO", "ID", "alice"), ("USER_INFO", "PW", password),
                                    ("USER_INFO", "PN", "2001"), ("SYS_INFO", "IP", "127.0.0.1"),
                                    ("SYS_INFO", "PORT", str(desktop.sim_port))):
            self.cli("config", "set", "--settings", str(self.settings), section, key, value)
        self.stderr = self.dir / "stderr.txt"
        with open(self.stderr, "wb") as err:
            self.proc = subprocess.Popen([str(PELLANDOR), "--settings", str(self.settings), *args], env=self.env,
                                         stdout=subprocess.DEVNULL, stderr=err)
        desktop.procs.append(self.proc)
        wait_for("pellandor to listen", lambda: any(runtime.glob("pellandor-*.socket")))

    def cli(self, *args, timeout=20):
        result = subprocess.run([str(PELLANDOR), *args], env=self.env, capture_output=True, text=True,
                                timeout=timeout)
        return result

    def dial_string(self, text):
        return self.cli("dial-string", "--settings", str(self.settings), "--", text).stdout.strip()

    def stop(self, sig=signal.SIGTERM):
        stop_process(self.proc, sig)
        return self.proc.returncode
