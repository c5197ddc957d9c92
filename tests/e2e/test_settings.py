"""The settings dialog opened from the tray and the crash reporter, in the
real program under a private X session."""

import resource
import shutil
import signal
import subprocess
import time
import unittest

from desktop import PELLANDOR, TITLE, Desktop, Pellandor, stop_process, wait_for

D = None
STAY = "[DISAPPEARANCE]\nUSE_DISAPPEARANCE=0\nTIME_DISAPPARANCE=5\n"
# Qt puts the program's name after a window's own title.
SETTINGS = "Settings \u2014 Ulvex Pellandor"


def tray_menu():
    """The tray menu's window once it is up: pellandor's override-redirect popup."""
    for wid in D.run(["xdotool", "search", "--onlyvisible", "--class", "pellandor"]).stdout.split():
        geometry = D.geometry(wid)
        if not geometry or geometry[2] <= 60 or geometry[3] <= 60:
            continue
        if "Override Redirect State: yes" in D.run(["xwininfo", "-all", "-id", wid]).stdout:
            return wid
    return None


def windows_titled(title):
    """pellandor's visible windows named exactly `title` (xdotool's own name
    search misses names outside ASCII)."""
    return [wid for wid in D.run(["xdotool", "search", "--onlyvisible", "--class", "pellandor"]).stdout.split()
            if D.run(["xdotool", "getwindowname", wid]).stdout.rstrip("\n") == title]


def settled_tray_icon():
    first = D.tray_icon()
    time.sleep(0.3)
    return first if first and first == D.tray_icon() and first[1] > 400 else None


def setUpModule():
    global D
    D = Desktop()
    # The tray says which texts it put on its menu.
    D.env["QT_LOGGING_RULES"] = "pellandor.tray.debug=true"


def tearDownModule():
    if D:
        D.close()


class A_SettingsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.app = Pellandor(D, "settings", "[HOTKEY]\nUSE_HOTKEY=1\nMOD_KEY=ALT\nVIRTUAL_KEY=Q\n" + STAY)

    @classmethod
    def tearDownClass(cls):
        cls.app.stop()

    def open_tray_menu(self):
        # The tray takes the icon in at its top left and moves it into place
        # a moment later: click where it has settled, and again until the
        # menu is up.
        for _ in range(5):
            icon = wait_for("the tray icon in place", settled_tray_icon)
            D.move_pointer(*icon)
            D.run(["xdotool", "click", "3"])
            try:
                return D.geometry(wait_for("the tray menu", tray_menu, timeout=2))
            except AssertionError:
                D.run(["xdotool", "key", "Escape"])
        visible = [(wid, D.run(["xdotool", "getwindowname", wid]).stdout.strip(), D.geometry(wid))
                   for wid in D.run(["xdotool", "search", "--onlyvisible", "--class", "pellandor"]).stdout.split()]
        self.fail(f"no tray menu; icon at {icon}, windows {visible}, "
                  f"{self.app.stderr.read_text().count('menu texts:')} menus shown")

    def test_hotkey_and_language_changed_in_the_settings_take_effect(self):
        x, y, w, h = self.open_tray_menu()
        # Its second of four items.
        D.move_pointer(x + w // 2, y + h * 3 // 8)
        D.run(["xdotool", "click", "1"])
        wid = wait_for("the settings dialog", lambda: windows_titled(SETTINGS))[0]
        D.run(["xdotool", "windowactivate", wid])
        wait_for("the settings dialog to have the focus", lambda: D.active_window() == wid, timeout=5)
        # The hotkey check box's letter, then on to the key list; the Local
        # radio button's letter; OK's letter.
        D.run(["xdotool", "key", "--clearmodifiers", "alt+y", "Tab", "Tab", "w", "alt+l", "alt+o"])
        wait_for("the settings dialog to close", lambda: not windows_titled(SETTINGS))

        text = self.app.settings.read_text()
        self.assertIn("VIRTUAL_KEY=W\n", text)
        self.assertIn("LAN=LOCAL\n", text)

        # The new hotkey pops the dialog up with the copied number; the old one is gone.
        owner = D.copy("555-0142")
        try:
            D.move_pointer(640, 400)
            D.run(["xdotool", "key", "alt+w"])
            wait_for("the call dialog", lambda: D.windows(TITLE))
        finally:
            stop_process(owner)

        # The tray menu now carries the local texts.
        self.open_tray_menu()
        D.run(["xdotool", "key", "Escape"])
        last = [line for line in self.app.stderr.read_text().splitlines() if "menu texts:" in line][-1]
        self.assertIn('"Einstellungen"', last)
        self.assertIn('"Beenden"', last)


def no_core_file():
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))


class B_CrashTest(unittest.TestCase):
    def test_crash_leaves_a_file_and_a_truthful_notice(self):
        for site in ("gui", "worker"):
            with self.subTest(site=site):
                # A copy of the programs in a folder of their own: the crash file goes beside them.
                folder = D.dir / f"crash-{site}"
                folder.mkdir()
                program = folder / "pellandor"
                shutil.copy2(PELLANDOR, program)
                shutil.copy2(PELLANDOR.with_name("pellandor-desktop"), folder)
                # The notice outlives the crashed process and shares its stderr: a file, not a pipe.
                err_path = folder / "stderr.txt"
                with open(err_path, "wb") as err:
                    proc = subprocess.Popen([str(program), f"--crash-test={site}"], env=D.env, cwd=folder,
                                            stdout=subprocess.DEVNULL, stderr=err, preexec_fn=no_core_file)
                D.procs.append(proc)
                self.assertEqual(proc.wait(timeout=60), -signal.SIGSEGV, err_path.read_text())
                stderr = err_path.read_text()
                files = [p for p in folder.iterdir() if p.suffix == ".DMP"]
                self.assertEqual(len(files), 1)
                self.assertRegex(files[0].name, r"^Ulvex Pellandor_Err_\d{4}-\d\d-\d\d \d\d_\d\d_\d\d\.DMP$")
                report = files[0].read_text(errors="replace")
                self.assertIn("Signal: 11 (SIGSEGV)", report)
                self.assertIn("Backtrace:\n", report)
                self.assertIn(str(files[0]), stderr)

                notice = wait_for("the crash notice", lambda: D.windows("Ulvex Pellandor is Crashed!!"))[0]
                D.close_window(notice)
                wait_for("the notice to close", lambda: not D.windows("Ulvex Pellandor is Crashed!!"))


if __name__ == "__main__":
    unittest.main(verbosity=2)
