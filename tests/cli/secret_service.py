"""A private D-Bus session bus for a test, with or without GNOME Keyring's
Secret Service on it, so no test touches the user's own keyring."""

import os
import pathlib
import subprocess
import time

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir={dir}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""
# No <servicedir>: nothing is started on demand, so "no keyring" stays so.


class PrivateBus:
    def __init__(self, workdir, keyring=False, password="keyring-pass"):
        self.dir = pathlib.Path(workdir) / "bus"
        self.dir.mkdir(parents=True, exist_ok=True)
        config = self.dir / "bus.conf"
        config.write_text(BUS_CONFIG.format(dir=self.dir))
        self.bus = subprocess.Popen(["dbus-daemon", f"--config-file={config}", "--nofork", "--print-address=1"],
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.address = self.bus.stdout.readline().strip()
        self.keyring = None
        home = self.dir / "home"
        runtime = self.dir / "run"
        for folder in (home, runtime):
            folder.mkdir(exist_ok=True)
            folder.chmod(0o700)
        self.env = {"DBUS_SESSION_BUS_ADDRESS": self.address, "XDG_RUNTIME_DIR": str(runtime)}
        if keyring:
            env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
            env.update(self.env, HOME=str(home), XDG_DATA_HOME=str(home / "data"), XDG_CONFIG_HOME=str(home / "config"))
            self.keyring = subprocess.Popen(
                ["gnome-keyring-daemon", "--foreground", "--components=secrets", "--unlock"],
                stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
            self.keyring.stdin.write(password.encode())
            self.keyring.stdin.close()
            self.wait_for_name("org.freedesktop.secrets")
            self.secret_env = env

    def has_owner(self, name):
        reply = subprocess.run(
            ["dbus-send", f"--bus={self.address}", "--print-reply", "--dest=org.freedesktop.DBus",
             "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", f"string:{name}"],
            capture_output=True, text=True)
        return "boolean true" in reply.stdout

    def wait_for_name(self, name, timeout=20):
        deadline = time.monotonic() + timeout
        while not self.has_owner(name):
            if time.monotonic() > deadline or self.keyring.poll() is not None:
                raise RuntimeError(f"{name} did not appear on the test bus")
            time.sleep(0.05)

    def secret_tool(self, *args, input=None):
        return subprocess.run(["secret-tool", *args], capture_output=True, text=True, env=self.secret_env,
                              input=input, timeout=30)

    def stop(self):
        for proc in (self.keyring, self.bus):
            if proc and proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        if self.bus.stdout:
            self.bus.stdout.close()
