#!/usr/bin/env python3
"""pellandor-desktop.exe under Wine on a private X desktop (Xvfb, openbox,
trayer as the XEmbed tray Wine docks its icons in), driven with xdotool and
xclip, its calls going to the Linux build's exchange simulator; then the
installer, silent, in a Wine prefix of its own.

What the program does is read from the log it writes when
PELLANDOR_DEBUG_LOG names a file, from its windows, and from the requests
the simulator logs. Screenshots of the tray, its menu and the dialogs are
left in PELLANDOR_ARTIFACTS."""

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

BIN = pathlib.Path(os.environ.get("PELLANDOR_BIN_DIR", "")).resolve()
INSTALLER = os.environ.get("PELLANDOR_INSTALLER", "")
SAMPLE = pathlib.Path(os.environ.get("PELLANDOR_SAMPLE_SETTINGS", ""))
LINUX_BIN = pathlib.Path(os.environ.get("PELLANDOR_LINUX_BIN", ""))
ARTIFACTS = pathlib.Path(os.environ.get("PELLANDOR_ARTIFACTS", tempfile.gettempdir()) or ".")
TITLE = "Ulvex Pellandor"
ACCOUNT = ("2001", "alice", "s3cret")
TOOLS = ("wine", "wineserver", "winepath", "Xvfb", "openbox", "trayer", "xdotool", "xclip", "xwininfo", "xprop",
         "import")


def wait_for(what, condition, timeout=20.0, interval=0.1):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


class Session:
    """Xvfb, openbox, trayer and a Wine prefix of our own; ended by PID and prefix."""

    def __init__(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="pellandor-win32-e2e-"))
        self.procs = []
        self.env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "WINEPREFIX")}
        self.env.update(WINEPREFIX=str(self.dir / "prefix"), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree=d;mshtml=d", PELLANDOR_DEBUG_LOG=str(self.dir / "log.txt"))
        self.log = self.dir / "log.txt"
        try:
            self._start()
        except BaseException:
            self.close()
            raise

    def spawn(self, cmd, **kwargs):
        proc = subprocess.Popen(cmd, env=kwargs.pop("env", self.env), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs)
        self.procs.append(proc)
        return proc

    def run(self, cmd, timeout=60, **kwargs):
        """Output through files, not pipes: a Wine program may leave a server or a
        child behind that would hold a pipe open."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run(cmd, env=kwargs.pop("env", self.env), stdout=out, stderr=err, timeout=timeout,
                                    stdin=subprocess.DEVNULL, **kwargs)
            out.seek(0)
            err.seek(0)
            result.stdout = out.read().decode(errors="replace")
            result.stderr = err.read().decode(errors="replace")
        return result

    def _start(self):
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x800x24", "-nolisten",
                                 "tcp", "-noreset"], pass_fds=(write_fd,), env=self.env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(xvfb)
        os.close(write_fd)
        with os.fdopen(read_fd, "rb") as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number.decode()
        self.spawn(["openbox", "--sm-disable"])
        wait_for("the window manager", lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]).stdout)
        self.spawn(["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "120",
                    "--height", "28", "--SetDockType", "true", "--transparent", "false", "--tint", "0x303030"])
        wait_for("the tray", lambda: self.run(["xdotool", "search", "--classname", "trayer"]).stdout.strip())
        # One server for the whole session: each Wine program starts faster.
        self.run(["wine", "wineboot", "--init"], timeout=240)
        self.run(["wineserver", "-p60"])
        users = [p for p in (self.dir / "prefix" / "drive_c" / "users").iterdir() if p.name != "Public"]
        self.local_app_data = users[0] / "AppData" / "Local"
        accounts = self.dir / "accounts"
        accounts.write_text("\t".join(ACCOUNT) + "\n")
        self.sim_log = self.dir / "exchange.jsonl"
        sim = subprocess.Popen(
            [str(LINUX_BIN / "pellandor-exchange-sim"), "--port", "0", "--bind", "127.0.0.1", "--rsa-bits", "1024",
             "--accounts", str(accounts), "--log", str(self.sim_log)],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.procs.append(sim)
        self.sim_port = int(sim.stdout.readline().strip().rsplit(":", 1)[1])

    def close(self):
        if "WINEPREFIX" in self.env and pathlib.Path(self.env["WINEPREFIX"]).exists():
            subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True, timeout=30)
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.send_signal(signal.SIGTERM)
                try:
                    proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        shutil.rmtree(self.dir, ignore_errors=True)

    # --- the log and the screen ----------------------------------------------------

    def log_lines(self):
        return self.log.read_text(errors="replace").splitlines() if self.log.exists() else []

    def wait_log(self, line, after=0, timeout=20.0):
        """Waits for a log line starting with `line`, from index `after` on; returns the index past it."""
        def found():
            lines = self.log_lines()
            for i in range(after, len(lines)):
                if lines[i].startswith(line):
                    return i + 1
            return None
        try:
            return wait_for(f"the log line {line!r}", found, timeout)
        except AssertionError:
            print("log so far:\n  " + "\n  ".join(self.log_lines()), file=sys.stderr)
            raise

    def requests(self):
        if not self.sim_log.exists():
            return []
        return [json.loads(line) for line in self.sim_log.read_text().splitlines() if line.strip()]

    def tree(self):
        return self.run(["xwininfo", "-root", "-tree"]).stdout

    def tray_icon(self):
        """Centre of a Wine icon docked in trayer's panel, or None."""
        lines = self.tree().splitlines()
        in_panel = None
        for line in lines:
            indent = len(line) - len(line.lstrip())
            if '"panel": ("panel" "trayer")' in line:
                in_panel = indent
                continue
            if in_panel is not None and indent <= in_panel:
                in_panel = None
            if in_panel is None or '"explorer.exe"' not in line:
                continue
            m = re.search(r"\s(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)", line)
            if m and 8 <= int(m.group(1)) <= 64:
                w, h, x, y = map(int, m.groups())
                return x + w // 2, y + h // 2
        return None

    def program_windows(self):
        """Visible windows of the program: (id, name, x, y, width, height)."""
        found = []
        for wid in self.run(["xdotool", "search", "--onlyvisible", "--classname", "pellandor-desktop.exe"]).stdout.split():
            name = self.run(["xdotool", "getwindowname", wid]).stdout.rstrip("\n")
            # xwininfo, not xdotool: its place of a framed window is the client area's own.
            out = self.run(["xwininfo", "-id", wid]).stdout
            values = dict(line.strip().split(":", 1) for line in out.splitlines() if ":" in line)
            keys = ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")
            if all(k in values for k in keys):
                found.append((wid, name, *(int(values[k]) for k in keys)))
        return [w for w in found if w[4] > 40 and w[5] > 40]

    def popup_menu(self):
        """Geometry of the tray menu: the program's window that has no name and sits at the tray."""
        for _, name, x, y, w, h in self.program_windows():
            if name == "" and y > 500 and h < 150:
                return x, y, w, h
        return None

    def window(self, name, min_width=200):
        """A visible window of the program titled `name`, wide enough not to be a box."""
        found = [w for w in self.program_windows() if w[1] == name and w[4] >= min_width]
        return found[-1] if found else None

    def activate(self, wid):
        """Keys go to the focused window: waits until `wid` has the X input focus too."""
        def active():
            if (self.run(["xdotool", "getactivewindow"]).stdout.strip() == wid
                    and self.run(["xdotool", "getwindowfocus"]).stdout.strip() == wid):
                return True
            self.run(["xdotool", "windowactivate", wid])
            return False
        wait_for("the window to have the focus", active, timeout=10, interval=0.3)

    def call_dialog(self):
        return wait_for("the call dialog", lambda: self.window(TITLE))

    def hide_call_dialog(self):
        """Escape hides the call dialog, unless it has hidden itself already."""
        def hidden():
            dialog = self.window(TITLE)
            if dialog is None:
                return True
            try:
                self.activate(dialog[0])
            except AssertionError:
                return False
            self.run(["xdotool", "key", "Escape"])
            return False
        wait_for("the call dialog to hide", hidden, interval=0.5)

    def dismiss(self, name):
        """Closes the program's message box titled `name` with its default button."""
        def box():
            boxes = [w[0] for w in self.program_windows() if w[1] == name and not (name == "" and w[3] > 500)]
            return boxes[-1] if boxes else None
        wid = wait_for(f"a box titled {name!r}", box)
        def active():
            self.run(["xdotool", "windowactivate", wid])
            return self.run(["xdotool", "getactivewindow"]).stdout.strip() == wid
        wait_for(f"the box {name!r} to have the focus", active, timeout=10, interval=0.3)
        self.run(["xdotool", "key", "Return"])
        wait_for(f"the box {name!r} to close", lambda: wid not in [w[0] for w in self.program_windows()], timeout=10)

    def screenshot(self, name, crop=None):
        """The screen, or the part `crop` = (width, height, x, y) of it."""
        ARTIFACTS.mkdir(parents=True, exist_ok=True)
        cmd = ["import", "-window", "root"]
        if crop:
            cmd += ["-crop", "{}x{}+{}+{}".format(*crop), "+repage"]
        self.run(cmd + [str(ARTIFACTS / name)])
        return ARTIFACTS / name

    def pixels(self, x, y, w, h):
        out = subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-depth", "8",
                              "rgb:-"], capture_output=True, timeout=30, env=self.env)
        return out.stdout

    def click(self, x, y, button=1):
        self.run(["xdotool", "mousemove", str(x), str(y)])
        self.run(["xdotool", "click", str(button)])

    def copy(self, text):
        proc = subprocess.Popen(["xclip", "-selection", "clipboard", "-quiet"], env=self.env, stdin=subprocess.PIPE,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(proc)
        proc.stdin.write(text.encode())
        proc.stdin.close()
        return proc

    def win_path(self, path):
        return self.run(["winepath", "-w", str(path)]).stdout.strip()

    def reg_query(self, key, value=None):
        cmd = ["wine", "reg", "query", key] + (["/v", value] if value else [])
        result = self.run(cmd)
        return result.stdout if result.returncode == 0 else None


def linux(*args):
    return subprocess.run([str(LINUX_BIN / "pellandor"), *args], capture_output=True, text=True, timeout=60)


def account_text(s):
    """The sample rules, the test account on the simulator, the pop-up calling at once."""
    station, uid, password = ACCOUNT
    path = s.dir / "account.ini"
    path.write_text(SAMPLE.read_text() + f"\n[USER_INFO]\nID={uid}\nPN={station}\n[SYS_INFO]\nIP=127.0.0.1\n"
                                          f"PORT={s.sim_port}\n[AUTOCALL]\nUSE_AUTOCALL=1\n")
    # The password as the program keeps it.
    result = linux("config", "set", "--settings", str(path), "--", "USER_INFO", "PW", password)
    assert result.returncode == 0, result.stderr
    return path.read_text()


def settings_text(hotkey, autostart=0, base=None):
    return (base or SAMPLE.read_text()) + (f"\n[HOTKEY]\nUSE_HOTKEY={hotkey}\nMOD_KEY=ALT\nVIRTUAL_KEY=Q\n"
                                 f"[AUTOSTART]\nUSE_AUTOSTART={autostart}\n")


def rewrite(path, text):
    """Writes the file anew with a later modification time, as an editor would."""
    before = path.stat().st_mtime_ns if path.exists() else 0
    path.write_text(text)
    while path.stat().st_mtime_ns <= before:
        os.utime(path, ns=(before + 1_000_000_000, before + 1_000_000_000))


def desktop_program(s):
    # The program from a folder of its own: crash dumps land beside it.
    app = s.dir / "app"
    app.mkdir()
    shutil.copy2(BIN / "pellandor-desktop.exe", app)
    shutil.copy2(BIN / "language.ini", app)
    exe = app / "pellandor-desktop.exe"
    settings = s.dir / "pellandor_settings.ini"
    base = account_text(s)
    settings.write_text(settings_text(hotkey=0, base=base))
    env = dict(s.env, PELLANDOR_SETTINGS=s.win_path(settings))
    proc = s.spawn(["wine", str(exe)], env=env)
    at = s.wait_log("tray icon added", timeout=60)
    s.wait_log("clipboard listener added")

    # The icon is docked in the XEmbed tray and drawn.
    icon = wait_for("the icon in the tray", s.tray_icon)
    shot = s.screenshot("tray.png", (200, 60, icon[0] - 180, icon[1] - 40))
    colours = set(s.pixels(icon[0] - 6, icon[1] - 6, 12, 12)[i:i + 3] for i in range(0, 12 * 12 * 3, 3))
    assert len(colours) > 3, f"the tray icon is blank ({shot})"

    def open_settings(at):
        s.click(*icon, button=3)
        menu = wait_for("the tray menu", s.popup_menu)
        at = s.wait_log("tray menu shown", at)
        s.screenshot("tray-menu.png", (menu[2] + 80, menu[3] + 80, menu[0] - 40, menu[1] - 40))
        row = (menu[3] - 6) // 4
        s.click(menu[0] + menu[2] // 2, menu[1] + 3 + row + row // 2)
        at = s.wait_log("command: settings", at)
        return at, wait_for("the settings dialog", lambda: s.window("Settings"))

    # Its menu: Settings, then below.
    at, (wid, _, x, y, w, h) = open_settings(at)
    s.screenshot("settings-dialog.png", (w, h, x, y))
    # A number copied while the settings are open is answered with the notice,
    # and calls nobody.
    owner = s.copy("555-0100")
    at = s.wait_log("clipboard: number 555-0100", at)
    s.dismiss("")
    owner.terminate()
    s.activate(wid)
    s.run(["xdotool", "key", "alt+c"])
    wait_for("the settings dialog to close", lambda: s.window("Settings") is None)
    assert s.requests() == [], s.requests()

    # A double click on the icon opens the call dialog.
    s.run(["xdotool", "mousemove", str(icon[0]), str(icon[1])])
    s.run(["xdotool", "click", "--repeat", "2", "--delay", "80", "1"])
    at = s.wait_log("command: call dialog", at)
    s.call_dialog()
    s.hide_call_dialog()

    # A number written for people, copied with the hotkey off, pops the dialog
    # with its top-right corner at the pointer and calls at once: the request
    # carries what the Linux program sends for the same copy.
    number = "+49 (30) 1234-567"
    linux_settings = s.dir / "linux.ini"
    linux_settings.write_text(base)
    result = linux("call", "--settings", str(linux_settings), number)
    assert result.returncode == 0, result.stderr
    # What the clipboard pop-up makes of the copy.
    expected = linux("dial-string", "--settings", str(linux_settings), "--", number).stdout.strip()
    assert [r["destination"] for r in s.requests()] == [expected], (s.requests(), expected)
    pointer = (700, 300)
    s.run(["xdotool", "mousemove", *map(str, pointer)])
    owner = s.copy(number)
    at = s.wait_log(f"clipboard: number {number}", at)
    _, _, x, y, w, h = s.call_dialog()
    # Kept inside the screen (the work area, less the tray's panel, may shift it up).
    want = (min(max(pointer[0] - w, 0), 1280 - w), min(max(pointer[1], 0), 800 - h))
    assert x == want[0] and want[1] - 40 <= y <= want[1], ((x, y, w, h), pointer)
    s.screenshot("call-dialog.png", (w + 20, h + 20, x - 10, y - 10))
    wait_for("the dialog's request", lambda: len(s.requests()) == 2, timeout=60)
    linux_request, windows_request = s.requests()
    assert windows_request["destination"] == expected, windows_request
    assert windows_request["fields"] == linux_request["fields"], (windows_request, linux_request)
    s.hide_call_dialog()
    owner.terminate()
    owner = s.copy("call me at 555-0100 tomorrow please, ok? thanks!")
    at = s.wait_log("clipboard changed", at)
    owner.terminate()

    # The hotkey ticked in the settings dialog registers once it is saved.
    at, (wid, _, x, y, w, h) = open_settings(at)
    s.click(x + 315, y + 404)
    s.click(x + 358, y + 640)  # OK
    wait_for("the settings dialog to close", lambda: s.window("Settings") is None)
    at = s.wait_log("hotkey registered: Alt+Q", at)
    assert "USE_HOTKEY=1" in settings.read_text(errors="replace")

    # Settings changed in the file reach the running program: start at login
    # writes the Run value.
    rewrite(settings, settings_text(hotkey=1, autostart=1, base=base))
    s.wait_log("start at login: on", at)
    run = s.reg_query(r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run", TITLE)
    assert run and f'"{s.win_path(exe)}" --settings' in run, run

    # The hotkey while a Wine window has the focus.
    notepad = s.spawn(["wine", "notepad.exe"])
    wid = wait_for("Notepad", lambda: s.run(["xdotool", "search", "--onlyvisible", "--name", "Notepad"])
                   .stdout.split())[0]
    s.run(["xdotool", "windowactivate", wid])
    wait_for("Notepad to have the focus", lambda: s.run(["xdotool", "getactivewindow"]).stdout.strip() == wid)
    owner = s.copy("030 1234 5678")
    at = s.wait_log("clipboard changed", at)
    s.run(["xdotool", "key", "--clearmodifiers", "alt+q"])
    at = s.wait_log("hotkey pressed", at)
    at = s.wait_log("clipboard: number 030 1234 5678", at)
    s.call_dialog()
    wait_for("the hotkey's request", lambda: len(s.requests()) == 3, timeout=60)
    s.hide_call_dialog()
    owner.terminate()
    notepad.terminate()

    # A second start hands a link over and ends at once.
    second = s.run(["wine", str(exe), "--", "tel:+1-415-555-0177;ext=12"], env=env)
    assert second.returncode == 0, second
    at = s.wait_log("second start: dial +1-415-555-0177", at)
    s.call_dialog()
    wait_for("the link's request", lambda: len(s.requests()) == 4, timeout=60)
    s.hide_call_dialog()
    # A link with nothing to dial says so and ends with status 3.
    bad = s.spawn(["wine", str(exe), "--", "tel:;ext=1"], env=env)
    s.dismiss(TITLE)
    assert bad.wait(timeout=30) == 3

    rewrite(settings, settings_text(hotkey=1, autostart=0, base=base))
    at = s.wait_log("start at login: off", at)
    assert s.reg_query(r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run", TITLE) is None

    # Exit from the menu ends the program and takes the icon away.
    s.click(*icon, button=3)
    menu = wait_for("the tray menu", s.popup_menu)
    row = (menu[3] - 6) // 4
    s.click(menu[0] + menu[2] // 2, menu[1] + 3 + 2 * row + row // 2)
    at = s.wait_log("command: exit", at)
    s.wait_log("ended", at)
    wait_for("the program to end", lambda: proc.poll() is not None)
    wait_for("the icon to leave the tray", lambda: s.tray_icon() is None)

    # A crash, in the window procedure or on a worker thread, leaves a real
    # minidump beside the program, then says so.
    for site in ("gui", "worker"):
        crash = s.run(["wine", str(exe), f"--crash-test={site}"], env=env, timeout=120)
        assert crash.returncode != 0, crash
        s.dismiss(f"{TITLE} is Crashed!!")
    dumps = sorted(app.glob(f"{TITLE}_Err_*.DMP"))
    assert len(dumps) == 2, dumps
    for dump in dumps:
        assert re.fullmatch(rf"{TITLE}_Err_\d{{4}}-\d\d-\d\d \d\d_\d\d_\d\d( \(2\))?\.DMP", dump.name), dump
        assert dump.read_bytes()[:4] == b"MDMP"


def installer(s):
    if not INSTALLER or not pathlib.Path(INSTALLER).exists():
        print("no installer built (makensis missing); its case is skipped")
        return
    folder = s.local_app_data / "Programs" / TITLE
    start_menu = s.local_app_data.parent / "Roaming" / "Microsoft" / "Windows" / "Start Menu" / "Programs"
    uninstall_key = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\UlvexPellandor"
    files = ("pellandor-desktop.exe", "pellandor.exe", "language.ini", "uninstall.exe")
    settings = s.local_app_data / "pellandor_settings.ini"

    def install():
        result = s.run(["wine", INSTALLER, "/S"], timeout=120)
        assert result.returncode == 0, result
        for name in files:
            assert (folder / name).is_file(), name
        assert (start_menu / f"{TITLE}.lnk").is_file()
        for scheme in ("tel", "callto"):
            command = s.reg_query(rf"HKCU\Software\Classes\{scheme}\shell\open\command")
            assert command and f'"{s.win_path(folder / "pellandor-desktop.exe")}" -- "%1"' in command, command
            assert "URL Protocol" in s.reg_query(rf"HKCU\Software\Classes\{scheme}")
        assert "UninstallString" in s.reg_query(uninstall_key)

    def uninstall(*args):
        # The uninstaller runs from a copy in the temporary folder and returns at once; the
        # copy removes the program folder first and the shortcut and registry entries after
        # it, so the test waits for all of it to be gone (the Uninstall key goes last).
        result = s.run(["wine", str(folder / "uninstall.exe"), "/S", *args], timeout=120)
        assert result.returncode == 0, result
        wait_for("the program folder to go", lambda: not folder.exists(), timeout=60)
        wait_for("the uninstaller to finish", lambda: s.reg_query(uninstall_key) is None, timeout=60, interval=0.5)
        assert not (start_menu / f"{TITLE}.lnk").exists()
        for key in (r"HKCU\Software\Classes\tel", r"HKCU\Software\Classes\callto",
                    r"HKCU\Software\Classes\UlvexPellandor.Link", r"HKCU\Software\Ulvex"):
            assert s.reg_query(key) is None, key
        assert s.reg_query(r"HKCU\Software\RegisteredApplications", TITLE) is None

    install()
    settings.write_text(settings_text(hotkey=1))
    uninstall()
    assert settings.exists(), "the settings stay unless asked"
    install()
    uninstall("/REMOVESETTINGS")
    # Settings are removed in the uninstaller's last section, after the Uninstall key.
    wait_for("the settings to go", lambda: not settings.exists(), timeout=30)


def main():
    missing = [tool for tool in TOOLS if shutil.which(tool) is None]
    missing += [str(p) for p in (LINUX_BIN / "pellandor", LINUX_BIN / "pellandor-exchange-sim") if not p.is_file()]
    if missing:
        print("skipped: missing " + ", ".join(missing))
        return 77
    s = Session()
    try:
        started = time.monotonic()
        desktop_program(s)
        print(f"desktop program: {time.monotonic() - started:.0f} s")
        started = time.monotonic()
        installer(s)
        print(f"installer: {time.monotonic() - started:.0f} s")
    finally:
        s.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
