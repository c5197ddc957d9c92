"""The Windows dialogs under Wine on a private X display (Xvfb + openbox):
the call dialog's size, shape and colours in both layouts, the settings
dialog driven with keys writing what the Linux program writes for the same
input, and an auto-call reaching the exchange simulator with the Linux
client's dial string.

Environment: PELLANDOR_BIN_DIR (win32_dialogs_demo.exe), PELLANDOR_LINUX_BIN
(the Linux build's pellandor and pellandor-exchange-sim), PELLANDOR_WINE_RUN,
PELLANDOR_WINE_PREFIX (a prefix of its own: its desktop belongs to this
display), PELLANDOR_SCREENSHOT_DIR (where the screenshots are kept)."""

import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

BIN = pathlib.Path(os.environ.get("PELLANDOR_BIN_DIR", ""))
LINUX_BIN = pathlib.Path(os.environ.get("PELLANDOR_LINUX_BIN", ""))
WINE_RUN = os.environ.get("PELLANDOR_WINE_RUN", "")
WINE_PREFIX = os.environ.get("PELLANDOR_WINE_PREFIX", "")
SHOTS = pathlib.Path(os.environ.get("PELLANDOR_SCREENSHOT_DIR", tempfile.gettempdir()))
DEMO = BIN / "win32_dialogs_demo.exe"
CLI = BIN / "pellandor.exe"
# Room for the settings dialog at 200 %.
SCREEN = (1400, 1500)
ACCOUNT = ("2001", "alice", "s3cret")
MAGENTA = (255, 0, 255)


def missing():
    needs = [DEMO, CLI, LINUX_BIN / "pellandor", LINUX_BIN / "pellandor-exchange-sim"]
    absent = [str(p) for p in needs if not p.exists()]
    absent += [tool for tool in ("Xvfb", "openbox", "xdotool", "import") if shutil.which(tool) is None]
    return absent


def wait_for(what, condition, timeout=30.0, interval=0.1):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def stop(proc):
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


class Desk:
    """Xvfb, openbox, the Wine prefix's desktop on that display, the simulator."""

    def __init__(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="pellandor-win32-dialogs-"))
        self.procs = []
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        read_fd, write_fd = os.pipe()
        self.procs.append(subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24", "-nolisten", "tcp",
             "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        os.close(write_fd)
        with os.fdopen(read_fd, "rb") as pipe:
            self.env["DISPLAY"] = ":" + pipe.readline().decode().strip()
        self.procs.append(subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        wait_for("the window manager", lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]).stdout)
        # The prefix's desktop takes the display of its first program: start
        # it afresh here.
        subprocess.run([WINE_RUN, "--stop", WINE_PREFIX], env=self.env, timeout=60)
        subprocess.run([WINE_RUN, "--start", WINE_PREFIX], env=self.env, timeout=300)

        accounts = self.dir / "accounts"
        accounts.write_text("\t".join(ACCOUNT) + "\n")
        self.sim_log = self.dir / "exchange.jsonl"
        self.sim = subprocess.Popen(
            [str(LINUX_BIN / "pellandor-exchange-sim"), "--port", "0", "--bind", "127.0.0.1", "--rsa-bits", "1024",
             "--accounts", str(accounts), "--log", str(self.sim_log)],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.procs.append(self.sim)
        self.sim_port = int(self.sim.stdout.readline().strip().rsplit(":", 1)[1])

    def close(self):
        subprocess.run([WINE_RUN, "--stop", WINE_PREFIX], env=self.env, timeout=60)
        for proc in reversed(self.procs):
            stop(proc)
        shutil.rmtree(self.dir, ignore_errors=True)

    def run(self, cmd, timeout=30):
        return subprocess.run(cmd, env=self.env, capture_output=True, text=True, timeout=timeout)

    def demo(self, settings, *args):
        proc = subprocess.Popen([WINE_RUN, WINE_PREFIX, str(DEMO), windows_path(settings), *args], env=self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(proc)
        return proc

    def cli(self, *args):
        """The Windows command line's output, run in this prefix (its Credential Manager)."""
        result = subprocess.run([WINE_RUN, WINE_PREFIX, str(CLI), *args], env=self.env, capture_output=True,
                                timeout=120)
        return result.returncode, result.stdout.decode(errors="replace").strip()

    def window(self, title):
        """The visible window titled `title` and its geometry."""
        def found():
            for wid in self.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"]).stdout.split():
                # xwininfo, not xdotool: its place of a framed window is the frame's.
                out = self.run(["xwininfo", "-id", wid]).stdout
                values = dict(line.strip().split(":", 1) for line in out.splitlines() if ":" in line)
                keys = ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")
                if all(k in values for k in keys) and int(values["Width"]) > 40:
                    return wid, tuple(int(values[k]) for k in keys)
            return None
        return wait_for(f"the window {title!r}", found)

    def activate(self, wid):
        """Keys go to the focused window: waits until `wid` has the focus."""
        def active():
            # The window manager's choice and the X input focus itself: keys
            # sent before the latter are lost.
            if (self.run(["xdotool", "getactivewindow"]).stdout.strip() == wid
                    and self.run(["xdotool", "getwindowfocus"]).stdout.strip() == wid):
                return True
            self.run(["xdotool", "windowactivate", wid])
            return False
        wait_for("the window to have the focus", active)

    def shot(self, name, box, settled=False):
        """A screenshot of `box`; `settled`: once two grabs in a row agree (a relabelled window repaints
        control by control)."""
        x, y, w, h = box
        if settled:
            grabs = [None]

            def same():
                grabs.append(subprocess.run(
                    ["import", "-display", self.env["DISPLAY"], "-window", "root", "-crop", f"{w}x{h}+{x}+{y}",
                     "+repage", "-depth", "8", "rgb:-"], capture_output=True, timeout=30).stdout)
                return grabs[-1] == grabs[-2]
            wait_for("the window to settle", same, timeout=10, interval=0.2)
        path = SHOTS / f"{name}.png"
        subprocess.run(["import", "-display", self.env["DISPLAY"], "-window", "root", "-crop", f"{w}x{h}+{x}+{y}",
                        "+repage", str(path)], check=True, timeout=30)
        return path

    def pixel(self, x, y):
        out = subprocess.run(["import", "-display", self.env["DISPLAY"], "-window", "root", "-crop", f"1x1+{x}+{y}",
                              "+repage", "-depth", "8", "rgb:-"], capture_output=True, timeout=30).stdout
        return tuple(out[:3])

    def keys(self, *keys):
        self.run(["xdotool", "key", "--delay", "30", *keys])

    def type(self, text):
        self.run(["xdotool", "type", "--delay", "30", text])

    def requests(self):
        if not self.sim_log.exists():
            return []
        return [json.loads(line) for line in self.sim_log.read_text().splitlines() if line.strip()]


def linux(*args):
    return subprocess.run([str(LINUX_BIN / "pellandor"), *args], capture_output=True, text=True, timeout=30)


def ini_values(path):
    """{(section, key): raw value} of an INI file."""
    values, section = {}, None
    for line in path.read_bytes().decode().splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1]
        elif "=" in line and section:
            key, value = line.split("=", 1)
            values[(section, key)] = value
    return values


def ended(proc):
    """The exit status of a dialog's program, once it has ended."""
    wait_for("the dialog to end", lambda: proc.poll() is not None)
    return proc.returncode


def near(colour, expected, tolerance=40):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, expected))


class Win32DialogsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.desk = Desk()

    @classmethod
    def tearDownClass(cls):
        cls.desk.close()

    def settings(self, name, text=""):
        path = self.desk.dir / name
        path.write_bytes(text.replace("\n", "\r\n").encode())
        return path

    def open_call_dialog(self, name, full, hangup):
        settings = self.settings(f"{name}.ini", f"[DLG_POS]\nX=60\nY=50\n[DLG_STATUS]\nIS_MAX={int(full)}\n"
                                                f"[HANGUP]\nUSE_HANGUP={int(hangup)}\n")
        proc = self.desk.demo(settings, "call")
        wid, box = self.desk.window("Ulvex Pellandor")
        return proc, box

    def test_call_dialog_layouts_sizes_shape_and_colours(self):
        # (name, full, hang-up, size, number box point, call point, hang-up point or None)
        cases = [
            ("call_dialog_full", True, False, (282, 94), (30, 58), (252, 63), None),
            ("call_dialog_full_hangup", True, True, (282, 94), (30, 58), (213, 63), (252, 63)),
            ("call_dialog_small", False, False, (280, 51), (20, 21), (235, 25), None),
            ("call_dialog_small_hangup", False, True, (280, 51), (20, 21), (198, 25), (235, 25)),
        ]
        for name, full, hangup, size, box_point, call_point, hangup_point in cases:
            with self.subTest(name):
                proc, (x, y, w, h) = self.open_call_dialog(name, full, hangup)
                try:
                    self.assertEqual((x, y, w, h), (60, 50) + size)
                    # Give the window its first paint.
                    wait_for("the skin", lambda: near(self.desk.pixel(x + box_point[0], y + box_point[1]),
                                                      (141, 141, 141), 6))
                    self.desk.shot(name, (x - 10, y - 10, w + 20, h + 20))
                    # The rounded corner is see-through: the root's black, never the key.
                    self.assertEqual(self.desk.pixel(x, y), (0, 0, 0))
                    self.assertNotEqual(self.desk.pixel(x + w - 1, y + h - 1), MAGENTA)
                    # Panel, green call key, red hang-up key.
                    panel = self.desk.pixel(x + 140, y + 5)
                    self.assertTrue(max(panel) < 80 and panel != (0, 0, 0), panel)
                    call = self.desk.pixel(x + call_point[0], y + call_point[1])
                    self.assertTrue(call[1] > 120 and call[1] > call[0] + 40, call)
                    if hangup_point:
                        red = self.desk.pixel(x + hangup_point[0], y + hangup_point[1])
                        self.assertTrue(red[0] > 150 and red[0] > red[1] + 60, red)
                finally:
                    stop(proc)

    def test_buttons_light_up_under_the_pointer(self):
        proc, (x, y, w, h) = self.open_call_dialog("hover", True, False)
        try:
            self.desk.run(["xdotool", "mousemove", "900", "700"])
            key = (x + 252, y + 78)  # the call key's face, below its glyph
            wait_for("the skin", lambda: near(self.desk.pixel(*key), (0x2a, 0xa8, 0x60), 30))
            normal = self.desk.pixel(*key)
            self.desk.run(["xdotool", "mousemove", str(key[0]), str(key[1])])
            wait_for("the hover image", lambda: sum(self.desk.pixel(*key)) > sum(normal) + 20)
            hover = self.desk.pixel(*key)
            self.desk.shot("call_dialog_hover", (x - 10, y - 10, w + 20, h + 20))
            # Pressed, then released off the key: no call.
            self.desk.run(["xdotool", "mousedown", "1"])
            wait_for("the pressed image", lambda: self.desk.pixel(*key) not in (normal, hover))
            self.desk.shot("call_dialog_pressed", (x - 10, y - 10, w + 20, h + 20))
            self.desk.run(["xdotool", "mousemove", "900", "700"])
            self.desk.run(["xdotool", "mouseup", "1"])
            wait_for("the normal image again", lambda: self.desk.pixel(*key) == normal)
        finally:
            stop(proc)

    def set_dpi(self, dpi):
        result = subprocess.run([WINE_RUN, WINE_PREFIX, "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels",
                                 "/t", "REG_DWORD", "/d", str(dpi), "/f"], env=self.desk.env, capture_output=True,
                                timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_call_dialog_scales_with_the_dpi(self):
        try:
            for dpi, percent in [(144, 150), (192, 200)]:
                with self.subTest(percent):
                    self.set_dpi(dpi)
                    proc, (x, y, w, h) = self.open_call_dialog(f"call_dialog_full_{percent}", True, False)
                    try:
                        scale = dpi / 96
                        self.assertEqual((w, h), (round(282 * scale), round(94 * scale)))
                        wait_for("the skin", lambda: near(self.desk.pixel(x + int(30 * scale), y + int(58 * scale)),
                                                          (141, 141, 141), 6))
                        self.desk.shot(f"call_dialog_full_{percent}", (x - 10, y - 10, w + 20, h + 20))
                        call = self.desk.pixel(x + int(252 * scale), y + int(63 * scale))
                        self.assertTrue(call[1] > 120 and call[1] > call[0] + 40, call)
                        self.assertEqual(self.desk.pixel(x, y), (0, 0, 0))
                    finally:
                        stop(proc)
        finally:
            self.set_dpi(96)

    def test_settings_dialog_from_an_empty_file_writes_what_linux_writes(self):
        settings = self.settings("settings.ini")
        proc = self.desk.demo(settings, "settings")
        wid, box = self.desk.window("Settings")
        self.assertEqual(box[2:], (650, 670))
        self.desk.activate(wid)
        # The user ID box has the focus; the tab order runs down the left column.
        self.desk.type("alice")
        self.desk.keys("Tab")
        self.desk.type("s3cret")
        self.desk.keys("Tab")
        self.desk.type("2001")
        # The keyring box: off, so the file keeps the password as the Linux
        # command line without a keyring does.
        self.desk.keys("Tab", "space", "Tab")
        self.desk.type("127.0.0.1")
        self.desk.keys("Tab")
        self.desk.type("8443")
        self.desk.keys("Tab")
        self.desk.type("9")
        self.desk.keys("Tab")
        self.desk.type("1")
        self.desk.shot("settings_dialog", box)
        # Escape and Enter in a box change nothing; OK by its access key.
        self.desk.keys("Escape", "Return")
        self.assertIsNone(proc.poll())
        self.desk.keys("alt+o")
        self.assertEqual(ended(proc), 0)

        # The Linux command line stores the same values, every key the
        # dialog wrote, the untouched ones at the defaults it lists.
        typed = {("USER_INFO", "ID"): "alice", ("USER_INFO", "PW"): "s3cret", ("USER_INFO", "PN"): "2001",
                 ("SYS_INFO", "IP"): "127.0.0.1", ("SYS_INFO", "PORT"): "8443",
                 ("ACCESSCODE", "CO_ACCESS_CODE"): "9", ("ACCESSCODE", "MYCOUNTRY_CODE"): "1",
                 ("SECURITY", "USE_KEYRING"): "0"}
        defaults = dict(line.split("=", 1) for line in linux(
            "config", "list", "--settings", str(self.desk.dir / "none.ini"), "--show-password").stdout.splitlines())
        written = ini_values(settings)
        expected = self.desk.dir / "linux.ini"
        for section, key in written:
            value = typed.get((section, key), defaults[f"{section}/{key}"])
            result = linux("config", "set", "--settings", str(expected), "--", section, key, value)
            self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(written, ini_values(expected))
        listed = [linux("config", "list", "--settings", str(path), "--show-password").stdout
                  for path in (settings, expected)]
        self.assertEqual(listed[0], listed[1])
        self.assertIn("USER_INFO/PW=s3cret", listed[0])
        # Written as Windows writes profiles.
        self.assertIn(b"[USER_INFO]\r\nID=alice\r\n", settings.read_bytes())

    def keyring_password(self, uid):
        """What the Windows command line reads for `uid`: the Credential Manager's entry, if any."""
        probe = self.settings(f"probe_{uid}.ini", f"[USER_INFO]\nID={uid}\nPW=\n[SYS_INFO]\nIP=127.0.0.1\n")
        code, out = self.desk.cli("config", "get", "--settings", windows_path(probe), "USER_INFO", "PW")
        self.assertEqual(code, 0, out)
        return out

    def run_settings(self, settings, *keys, shot=None):
        proc = self.desk.demo(settings, "settings")
        wid, box = self.desk.window("Settings")
        self.desk.activate(wid)
        if shot:
            self.desk.shot(shot, box)
        self.desk.keys(*keys, "alt+o")
        self.assertEqual(ended(proc), 0)
        return ini_values(settings)

    def test_keyring_box_moves_the_password_follows_the_account_and_gives_it_back(self):
        # A provisioned file: the password enciphered in it, the keyring empty.
        settings = self.account_settings("keyring.ini")
        # Nothing left in this prefix's Credential Manager from an earlier run.
        for uid in ("alice", "bob"):
            probe = self.settings(f"clear_{uid}.ini", f"[USER_INFO]\nID={uid}\n[SYS_INFO]\nIP=127.0.0.1\n")
            self.assertEqual(self.desk.cli("config", "set", "--settings", windows_path(probe), "--", "USER_INFO", "PW",
                                           "")[0], 0)
        self.assertEqual(self.keyring_password("alice"), "")

        # The box is on by default: OK moves the password out of the file.
        values = self.run_settings(settings, shot="settings_dialog_keyring")
        self.assertEqual(values[("USER_INFO", "PW")], "")
        self.assertEqual(self.keyring_password("alice"), "s3cret")
        # A call takes it from there.
        before = len(self.desk.requests())
        proc = self.desk.demo(settings, "call", "5550147", "auto")
        try:
            wait_for("the dialog's request", lambda: len(self.desk.requests()) == before + 1, timeout=60)
            self.wait_for_result(self.desk.window("Ulvex Pellandor")[1], "Success", (6, 243, 110))
        finally:
            stop(proc)

        # A new user ID: the entry follows it (the box showed the keyring's
        # password, or the new entry would be empty).
        values = self.run_settings(settings, "End", "shift+Home", "b", "o", "b")
        self.assertEqual((values[("USER_INFO", "ID")], values[("USER_INFO", "PW")]), ("bob", ""))
        self.assertEqual(self.keyring_password("bob"), "s3cret")
        self.assertEqual(self.keyring_password("alice"), "")

        # The box off (by its access letter): the file holds it again and
        # the keyring keeps no copy.
        values = self.run_settings(settings, "alt+k")
        self.assertNotEqual(values[("USER_INFO", "PW")], "")
        self.assertEqual(values[("SECURITY", "USE_KEYRING")], "0")
        self.assertEqual(linux("config", "get", "--settings", str(settings), "USER_INFO", "PW").stdout.strip(),
                         "s3cret")
        self.assertEqual(self.keyring_password("bob"), "")

    def test_without_a_keyring_the_password_stays_in_the_file(self):
        settings = self.settings("no_keyring.ini", "[USER_INFO]\nID=carol\n[SYS_INFO]\nIP=127.0.0.1\n")
        proc = self.desk.demo(settings, "settings", "no-keyring")
        wid, box = self.desk.window("Settings")
        self.desk.activate(wid)
        self.desk.keys("Tab")
        self.desk.type("s3cret")
        # The box is off and out of reach; the note says why.
        self.desk.shot("settings_dialog_without_keyring", box)
        self.desk.keys("alt+o")
        self.assertEqual(ended(proc), 0)
        self.assertEqual(linux("config", "get", "--settings", str(settings), "USER_INFO", "PW").stdout.strip(),
                         "s3cret")
        self.assertNotIn(("SECURITY", "USE_KEYRING"), ini_values(settings))
        self.assertEqual(self.keyring_password("carol"), "")

    def test_a_refused_password_saves_nothing(self):
        settings = self.settings("refused_keyring.ini", "[USER_INFO]\nID=dave\n[SYS_INFO]\nIP=127.0.0.1\n")
        before = settings.read_bytes()
        proc = self.desk.demo(settings, "settings", "refusing-keyring")
        try:
            wid, box = self.desk.window("Settings")
            self.desk.activate(wid)
            self.desk.keys("Tab")
            self.desk.type("s3cret")
            self.desk.keys("alt+o")
            error_wid, error = self.desk.window("Error")
            self.desk.shot("settings_dialog_keyring_refused", error)
            self.desk.activate(error_wid)
            self.desk.keys("Return")
            # The dialog stays open, with nothing written.
            self.desk.activate(wid)
            self.assertIsNone(proc.poll())
            self.assertEqual(settings.read_bytes(), before)
            self.desk.keys("alt+c")
            self.assertEqual(ended(proc), 1)
        finally:
            stop(proc)

    def test_settings_dialog_scales_with_the_dpi(self):
        settings = self.settings("settings_dpi.ini", "[USER_INFO]\nID=alice\nPW=x\n")
        try:
            for dpi, percent in [(144, 150), (192, 200)]:
                with self.subTest(percent):
                    self.set_dpi(dpi)
                    # The longest note: room for it at every scale.
                    proc = self.desk.demo(settings, "settings", "no-keyring")
                    try:
                        wid, box = self.desk.window("Settings")
                        self.assertEqual(box[2:], (round(650 * dpi / 96), round(670 * dpi / 96)))
                        self.desk.activate(wid)
                        self.desk.shot(f"settings_dialog_{percent}", box, settled=True)
                    finally:
                        stop(proc)
        finally:
            self.set_dpi(96)

    def test_local_language_and_apply_relabel_the_open_dialog(self):
        settings = self.settings("local.ini")
        proc = self.desk.demo(settings, "settings")
        wid, box = self.desk.window("Settings")
        self.desk.activate(wid)
        self.desk.keys("alt+l", "alt+a")
        wid, box = self.desk.window("Einstellungen")
        self.desk.shot("settings_dialog_local", box, settled=True)
        self.desk.activate(wid)
        self.desk.keys("alt+a")  # "&Abbrechen": the letters follow the texts
        self.assertEqual(ended(proc), 0)
        self.assertIn(b"[LANGUAGE]\r\nLAN=LOCAL\r\n", settings.read_bytes())

    def test_dragging_moves_the_dialog_and_keeps_its_place(self):
        settings = self.settings("drag.ini", "[DLG_POS]\nX=100\nY=100\n")
        proc = self.desk.demo(settings, "call")
        try:
            wid, (x, y, w, h) = self.desk.window("Ulvex Pellandor")
            self.desk.run(["xdotool", "mousemove", str(x + 120), str(y + 20)])
            self.desk.run(["xdotool", "mousedown", "1"])
            for step in range(1, 11):
                self.desk.run(["xdotool", "mousemove", str(x + 120 + 20 * step), str(y + 20 + 10 * step)])
            self.desk.run(["xdotool", "mouseup", "1"])
            wait_for("the dialog to move", lambda: self.desk.window("Ulvex Pellandor")[1][:2] == (x + 200, y + 100))
            wait_for("the place saved", lambda: ini_values(settings).get(("DLG_POS", "X")) == str(x + 200))
            self.assertEqual(ini_values(settings).get(("DLG_POS", "Y")), str(y + 100))
        finally:
            stop(proc)

    def test_dialing_rule_dialogs_open_with_their_texts(self):
        settings = self.settings("rules.ini", "[DIALING_RULE_ADV]\nMIN_POPUP_LENGTH=4\n")
        for name, title, size in [("advanced", "Advanced Dialing Information", (330, 380)),
                                  ("special", "Special Dialing Information", (270, 400))]:
            with self.subTest(name):
                proc = self.desk.demo(settings, name)
                wid, box = self.desk.window(title)
                self.assertEqual(box[2:], size)
                self.desk.activate(wid)
                self.desk.shot(f"{name}_dialing_dialog", box)
                self.desk.keys("alt+o")
                self.assertEqual(ended(proc), 0)
        self.assertIn(b"[DIALING_RULE_ADV]\r\n", settings.read_bytes())
        self.assertIn(b"MIN_POPUP_LENGTH=4\r\n", settings.read_bytes())
        self.assertIn(b"LENGTH_CO_EXTENSION=0\r\n", settings.read_bytes())

    def account_settings(self, name):
        station, uid, password = ACCOUNT
        plan = ("[ACCESSCODE]\nCO_ACCESS_CODE=9\nMYCOUNTRY_CODE=1\nMYAREA_CODE=415\nINTER_CODE=011\n"
                "USE_ADDZERO=0\n")
        settings = self.settings(name, f"[USER_INFO]\nID={uid}\nPN={station}\n[SYS_INFO]\nIP=127.0.0.1\n"
                                       f"PORT={self.desk.sim_port}\n{plan}[DLG_POS]\nX=300\nY=300\n")
        self.assertEqual(linux("config", "set", "--settings", str(settings), "--", "USER_INFO", "PW",
                               password).returncode, 0)
        return settings

    def wait_for_result(self, box, what, colour):
        """The result label, in the full layout, shown in `colour`."""
        wait_for(what, lambda: any(near(self.desk.pixel(box[0] + x, box[1] + 27), colour, 60)
                                   for x in range(132, 180)), timeout=30)

    def test_typed_keys_enter_and_escape(self):
        settings = self.account_settings("typed.ini")
        before = len(self.desk.requests())
        proc = self.desk.demo(settings, "call")
        try:
            wid, box = self.desk.window("Ulvex Pellandor")
            self.desk.activate(wid)
            # Letters and marks other than * # = never reach the box; Enter calls.
            self.desk.type("55a5-0b1*9")
            self.desk.keys("Return")
            wait_for("the typed number's request", lambda: len(self.desk.requests()) == before + 1, timeout=60)
            sent = self.desk.requests()[-1]["destination"]
            expected = linux("dial-string", "--settings", str(settings), "--send", "--", "55501*9").stdout.strip()
            self.assertEqual(sent, expected)
            self.assertEqual(sent, "55501*9")
            # Escape hides the dialog.
            self.desk.activate(wid)
            self.desk.keys("Escape")
            wait_for("the dialog to hide", lambda: not self.desk.run(
                ["xdotool", "search", "--onlyvisible", "--name", "^Ulvex Pellandor$"]).stdout.strip())
        finally:
            stop(proc)

    def test_number_at_the_screen_corner_stays_in_the_work_area(self):
        settings = self.settings("corner.ini")
        self.desk.run(["xdotool", "mousemove", "5", str(SCREEN[1] - 8)])
        proc = self.desk.demo(settings, "call", "5551234")
        try:
            wid, box = self.desk.window("Ulvex Pellandor")
            self.assertEqual(box, (0, SCREEN[1] - 94, 282, 94))
        finally:
            stop(proc)

    def test_refused_call_shows_failed_in_red_and_the_reason(self):
        settings = self.account_settings("refused.ini")
        self.assertEqual(linux("config", "set", "--settings", str(settings), "--", "USER_INFO", "PW",
                               "wrong").returncode, 0)
        before = len(self.desk.requests())
        proc = self.desk.demo(settings, "call", "5550147", "auto")
        try:
            wait_for("the dialog's request", lambda: len(self.desk.requests()) == before + 1, timeout=60)
            # The reason comes in a box of its own, over the dialog's label:
            # moved aside to see both within the label's five seconds.
            reason_wid, reason = self.desk.window("Result")
            self.desk.run(["xdotool", "windowmove", reason_wid, "20", "20"])
            def moved():
                found = self.desk.window("Result")
                return found if found[1][1] < 200 else None
            reason_wid, reason = wait_for("the box moved aside", moved)
            wid, box = self.desk.window("Ulvex Pellandor")
            self.wait_for_result(box, "Failed", (254, 21, 21))
            self.desk.shot("call_dialog_failed", (box[0] - 10, box[1] - 10, box[2] + 20, box[3] + 20))
            self.desk.shot("call_dialog_failed_reason", reason)
            self.desk.activate(reason_wid)
            self.desk.keys("Return")
            wait_for("the reason's box to close", lambda: not self.desk.run(
                ["xdotool", "search", "--onlyvisible", "--name", "^Result$"]).stdout.strip())
        finally:
            stop(proc)

    def test_auto_call_sends_the_linux_clients_dial_string(self):
        settings = self.account_settings("call.ini")
        number = "+1 (212) 555-0147"
        # A file each: each keeps the key its first call saw.
        linux_settings = self.account_settings("call_linux.ini")
        result = linux("call", "--settings", str(linux_settings), number)
        self.assertEqual(result.returncode, 0, result.stderr)
        proc = self.desk.demo(settings, "call", number, "auto")
        try:
            wait_for("the dialog's request", lambda: len(self.desk.requests()) == 2, timeout=60)
            linux_request, windows_request = self.desk.requests()
            self.assertEqual(windows_request["fields"], linux_request["fields"])
            self.assertEqual(windows_request["destination"], linux_request["destination"])
            wid, box = self.desk.window("Ulvex Pellandor")
            self.wait_for_result(box, "Success", (6, 243, 110))
            self.desk.shot("call_dialog_success", (box[0] - 10, box[1] - 10, box[2] + 20, box[3] + 20))
            # The number goes to the recent numbers, saved shortly after the call.
            wait_for("the recent numbers saved", lambda: b"[CALL_LOG]" in settings.read_bytes())
        finally:
            stop(proc)

        # The Linux client's first call kept the exchange's key; the settings
        # dialog shows it and forgets it.
        settings = linux_settings
        self.assertTrue(ini_values(settings).get(("SECURITY", "PINNED_KEY")))
        proc = self.desk.demo(settings, "settings")
        wid, box = self.desk.window("Settings")
        self.desk.activate(wid)
        self.desk.shot("settings_dialog_kept_key", box)
        self.desk.keys("alt+f")
        wait_for("the key forgotten", lambda: not ini_values(settings).get(("SECURITY", "PINNED_KEY")))
        self.desk.keys("alt+c")
        self.assertEqual(ended(proc), 1)  # cancelled: nothing else saved


if __name__ == "__main__":
    absent = missing()
    if absent:
        print("skipped: missing " + ", ".join(absent))
        sys.exit(77)
    SHOTS.mkdir(parents=True, exist_ok=True)
    unittest.main()
