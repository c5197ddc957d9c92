"""A private Wayland desktop for the end-to-end tests: headless sway with
XWayland, a D-Bus session, a Wayland-native terminal (foot) holding the
focus, the exchange simulator and the real pellandor. sway refuses to run
as root, so under root (CI) every process of the session runs as an
unprivileged user, created on first use."""

import json
import os
import pathlib
import pwd
import select
import shutil
import signal
import subprocess
import tempfile
import time

from desktop import BIN, SAMPLE_PLAN, SIM, stop_process, wait_for

HERE = pathlib.Path(__file__).resolve().parent
# The D-Bus stand-ins need Debian's python3 with python3-dbus and python3-gi.
SYSTEM_PYTHON = "/usr/bin/python3"
TOOLS = ("sway", "Xwayland", "foot", "wl-copy", "wl-paste", "wtype", "grim", "swaymsg", "dbus-daemon")
TEST_USER = "pellandor-test"


def missing_tools():
    missing = [t for t in TOOLS if not shutil.which(t)]
    if not os.path.exists(SYSTEM_PYTHON) or subprocess.run(
            [SYSTEM_PYTHON, "-c", "import dbus, gi"], capture_output=True).returncode != 0:
        missing.append("python3-dbus/python3-gi")
    return missing


def _session_user():
    """(uid, gid) the session runs as: the caller, or the test user under root."""
    if os.getuid() != 0:
        entry = pwd.getpwuid(os.getuid())
        return entry.pw_uid, entry.pw_gid
    try:
        entry = pwd.getpwnam(TEST_USER)
    except KeyError:
        subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", TEST_USER],
                       check=True, capture_output=True)
        entry = pwd.getpwnam(TEST_USER)
    return entry.pw_uid, entry.pw_gid


class WaylandDesktop:
    """One sway session shared by the cases; every process it starts is ended by PID."""

    SIM_KEY_ARGS = ("--rsa-bits", "1024")
    WIDTH, HEIGHT = 1280, 800

    def __init__(self):
        self.procs = []
        self.uid, self.gid = _session_user()
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="pellandor-wl-e2e-"))
        os.chmod(self.dir, 0o755)
        try:
            self._start()
        except BaseException:
            self.close()
            raise

    # --- set-up ------------------------------------------------------------------------

    def _mkdir(self, path, mode=0o755):
        path.mkdir(mode=mode)
        os.chown(path, self.uid, self.gid)
        os.chmod(path, mode)
        return path

    def _as_user(self):
        if os.getuid() == self.uid:
            return {}
        return {"user": self.uid, "group": self.gid, "extra_groups": []}

    def spawn(self, cmd, env=None, **kwargs):
        kwargs.setdefault("stdout", subprocess.DEVNULL)
        kwargs.setdefault("stderr", subprocess.DEVNULL)
        proc = subprocess.Popen(cmd, env=env or self.env, cwd=self.home, **self._as_user(), **kwargs)
        self.procs.append(proc)
        return proc

    def run(self, cmd, timeout=20, env=None, **kwargs):
        return subprocess.run(cmd, env=env or self.env, cwd=self.home, capture_output=True, text=True,
                              timeout=timeout, **self._as_user(), **kwargs)

    def _copy_programs(self):
        """The programs the session user runs, where that user can reach them: the
        build tree may sit in a folder only root may enter (CI's clone)."""
        self.bin = BIN
        if os.getuid() == self.uid:
            return
        self.bin = self._mkdir(self.dir / "bin")
        for name in ("pellandor", "pellandor-desktop", "language.ini", "pellandor_wl_copy_marked"):
            if (BIN / name).exists():
                shutil.copy2(BIN / name, self.bin / name)
        shutil.copy2(HERE / "dbus_desktop.py", self.bin / "dbus_desktop.py")

    @property
    def pellandor(self):
        return self.bin / "pellandor"

    def _start(self):
        self._copy_programs()
        self.home = self._mkdir(self.dir / "home")
        self.runtime = self._mkdir(self.dir / "runtime", 0o700)
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("DISPLAY", "WAYLAND_DISPLAY", "PELLANDOR_SETTINGS", "QT_QPA_PLATFORM", "SWAYSOCK",
                                 "DBUS_SESSION_BUS_ADDRESS", "XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP", "I3SOCK")}
        self.env.update(HOME=str(self.home), XDG_RUNTIME_DIR=str(self.runtime),
                        XDG_CONFIG_HOME=str(self.home / ".config"), USER=TEST_USER, LOGNAME=TEST_USER)

        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address"], stdout=subprocess.PIPE,
                         text=True)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()

        # sway writes its children's environment (WAYLAND_DISPLAY, DISPLAY,
        # SWAYSOCK) where the test reads it; XWayland starts at once.
        env_file = self.dir / "sway-env"
        config = self.dir / "sway.conf"
        config.write_text(
            "xwayland force\n"
            f"output HEADLESS-1 resolution {self.WIDTH}x{self.HEIGHT} position 0 0\n"
            "default_border none\n"
            "focus_on_window_activation focus\n"
            f"exec env > {env_file}.part && mv {env_file}.part {env_file}\n")
        os.chmod(config, 0o644)
        os.chown(self.dir, self.uid, self.gid)
        sway_env = dict(self.env, WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman",
                        WLR_HEADLESS_OUTPUTS="1")
        self.sway_log = self.dir / "sway.log"
        # A group of its own: wlroots starts XWayland through a forked helper
        # that blocks SIGTERM and outlives sway; the group is ended whole.
        with open(self.sway_log, "wb") as log:
            self.sway = self.spawn(["sway", "--config", str(config)], env=sway_env, stderr=log,
                                   start_new_session=True)
        wait_for("sway to start", lambda: env_file.exists() or self.sway.poll() is not None, timeout=30)
        if self.sway.poll() is not None:
            raise RuntimeError("sway did not start:\n" + self.sway_log.read_text()[-2000:])
        values = dict(line.split("=", 1) for line in env_file.read_text().splitlines() if "=" in line)
        for key in ("WAYLAND_DISPLAY", "DISPLAY", "SWAYSOCK"):
            if key not in values:
                raise RuntimeError(f"sway did not set {key}")
            self.env[key] = values[key]
        self.env["XDG_SESSION_TYPE"] = "wayland"
        self.env["XDG_CURRENT_DESKTOP"] = "sway"
        x_socket = pathlib.Path("/tmp/.X11-unix") / ("X" + self.env["DISPLAY"].lstrip(":").split(".")[0])
        wait_for("XWayland", lambda: x_socket.exists(), timeout=30)

        # A Wayland-native window holds the focus, as the user's editor would.
        self.terminal = self.spawn(["foot", "--app-id", "pellandor-e2e-term", "--", "sleep", "infinity"])
        wait_for("the terminal to have the focus", lambda: self.focused_app() == "pellandor-e2e-term", timeout=30)

        self.sim_log = self.dir / "exchange.jsonl"
        self.sim = subprocess.Popen([str(SIM), "--port", "0", "--bind", "127.0.0.1", *self.SIM_KEY_ARGS,
                                     "--log", str(self.sim_log)], stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL, text=True)
        self.procs.append(self.sim)
        first = self.sim.stdout.readline().strip()
        if not first.startswith("listening on "):
            raise RuntimeError(f"exchange simulator did not start: {first!r}")
        self.sim_port = int(first.rsplit(":", 1)[1])

    def close(self):
        for proc in reversed(self.procs):
            stop_process(proc)
        sway = getattr(self, "sway", None)
        if sway is not None:
            self._end_group(sway.pid)
        shutil.rmtree(self.dir, ignore_errors=True)

    @staticmethod
    def _end_group(pgid):
        def alive():
            try:
                os.killpg(pgid, 0)
                return True
            except (ProcessLookupError, PermissionError):
                return False
        for sig, wait in ((signal.SIGTERM, 2.0), (signal.SIGKILL, 2.0)):
            if not alive():
                return
            os.killpg(pgid, sig)
            deadline = time.monotonic() + wait
            while alive() and time.monotonic() < deadline:
                time.sleep(0.05)

    def start_services(self, *args):
        """The tray host and the portal stand-in on the session bus (dbus_desktop.py)."""
        return DesktopServices(self, args)

    # --- the compositor's view ----------------------------------------------------------

    def tree(self):
        out = self.run(["swaymsg", "-t", "get_tree", "--raw"]).stdout
        return json.loads(out) if out.strip() else {}

    def nodes(self):
        def walk(node):
            yield node
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                yield from walk(child)
        return list(walk(self.tree()))

    def focused_app(self):
        for node in self.nodes():
            if node.get("focused") and node.get("type") in ("con", "floating_con"):
                return node.get("app_id") or (node.get("window_properties") or {}).get("class")
        return None

    def windows(self, title):
        """Mapped windows titled `title`: (x, y, width, height, node) each."""
        found = []
        for node in self.nodes():
            if node.get("name") == title and node.get("visible") and node.get("type") in ("con", "floating_con"):
                r = node["rect"]
                found.append((r["x"], r["y"], r["width"], r["height"], node))
        return found

    def requests(self):
        if not self.sim_log.exists():
            return []
        return [json.loads(line) for line in self.sim_log.read_text().splitlines() if line.strip()]

    # --- a person's actions -------------------------------------------------------------

    def copy(self, text, mime=None):
        """Takes the clipboard with `text` as a Wayland program would; returns the owner, ended by the caller."""
        cmd = ["wl-copy", "--foreground"]
        if mime:
            cmd += ["--type", mime]
        owner = self.spawn(cmd, stdin=subprocess.PIPE)
        owner.stdin.write(text.encode())
        owner.stdin.close()
        wait_for("the clipboard owner", lambda: self.run(["wl-paste", "--no-newline"]).stdout == text)
        return owner

    def press(self, *wtype_args):
        result = self.run(["wtype", *wtype_args])
        if result.returncode != 0:
            raise AssertionError(f"wtype failed: {result.stderr}")

    def screenshot(self, path):
        out = self.dir / "shot.png"
        result = self.run(["grim", str(out)])
        if result.returncode != 0:
            raise AssertionError(f"grim failed: {result.stderr}")
        shutil.copy(out, path)
        return path


class WaylandPellandor:
    """The real program in the Wayland session, on a settings file of its own."""

    def __init__(self, desktop, name, settings_text, env=None, args=()):
        self.desktop = desktop
        self.dir = desktop._mkdir(desktop.dir / name)
        self.settings = self.dir / "pellandor_settings.ini"
        # The session bus starts services on demand; a keyring daemon started
        # that way would want a prompt, so the password stays in the file here.
        self.settings.write_text(SAMPLE_PLAN.read_text() + settings_text + "[SECURITY]\nUSE_KEYRING=0\n")
        os.chown(self.settings, desktop.uid, desktop.gid)
        self.env = dict(desktop.env, **(env or {}))
        for section, key, value in (("USER_INFO", "ID", "alice"), ("USER_INFO", "PW", "secret"),
                                    ("USER_INFO", "PN", "2001"), ("SYS_INFO", "IP", "127.0.0.1"),
                                    ("SYS_INFO", "PORT", str(desktop.sim_port))):
            self.cli("config", "set", "--settings", str(self.settings), section, key, value)
        self.stderr_path = self.dir / "stderr.txt"
        with open(self.stderr_path, "wb") as err:
            self.proc = desktop.spawn([str(desktop.pellandor), "--settings", str(self.settings), *args], env=self.env,
                                      stderr=err)
        wait_for("pellandor to listen", lambda: any(desktop.runtime.glob("pellandor-*.socket"))
                 or self.proc.poll() is not None)
        if self.proc.poll() is not None:
            raise AssertionError("pellandor ended at start:\n" + self.stderr())

    def cli(self, *args, timeout=20):
        return self.desktop.run([str(self.desktop.pellandor), *args], env=self.env, timeout=timeout)

    def dial_string(self, text):
        return self.cli("dial-string", "--settings", str(self.settings), "--", text).stdout.strip()

    def stderr(self):
        return self.stderr_path.read_text(errors="replace")

    def stop(self):
        stop_process(self.proc)
        for socket in self.desktop.runtime.glob("pellandor-*"):
            if socket.is_socket():
                socket.unlink(missing_ok=True)
        return self.proc.returncode


class DesktopServices:
    """dbus_desktop.py, asked one command at a time."""

    def __init__(self, desktop, args=()):
        script = desktop.bin / "dbus_desktop.py" if (desktop.bin / "dbus_desktop.py").exists() else HERE / "dbus_desktop.py"
        self.proc = desktop.spawn([SYSTEM_PYTHON, str(script), *args], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, stderr=None, text=True)
        if self._read(30) != "ready":
            raise RuntimeError("the D-Bus stand-ins did not start")

    def _read(self, timeout):
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError("the D-Bus stand-ins did not answer")
            ready, _, _ = select.select([self.proc.stdout], [], [], left)
            if ready:
                line = self.proc.stdout.readline()
                if not line:
                    raise AssertionError("the D-Bus stand-ins ended")
                return json.loads(line)

    def ask(self, command, timeout=30):
        self.proc.stdin.write(command + "\n")
        self.proc.stdin.flush()
        return self._read(timeout)

    def stop(self):
        stop_process(self.proc)
