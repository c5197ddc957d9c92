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


def open_tray_menu(case):
    """Right-clicks pellandor's tray icon until its menu is up; the menu's geometry."""
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
    case.fail(f"no tray menu; icon at {icon}, windows {visible}, "
              f"{case.app.stderr.read_text().count('menu texts:')} menus shown")


def open_settings_from_the_tray(case):
    x, y, w, h = open_tray_menu(case)
    # Its second of four items.
    D.move_pointer(x + w // 2, y + h * 3 // 8)
    D.run(["xdotool", "click", "1"])
    return wait_for("the settings dialog", lambda: windows_titled(SETTINGS))[0]


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

    def test_hotkey_and_language_changed_in_the_settings_take_effect(self):
        wid = open_settings_from_the_tray(self)
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
        open_tray_menu(self)
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
                # A copy of the programs in a writable folder of their own: the
                # crash file still goes to the state folder, not beside them.
                # "worker" overflows the stack of the request worker.
                folder = D.dir / f"crash-{site}"
                folder.mkdir()
                program = folder / "pellandor"
                shutil.copy2(PELLANDOR, program)
                shutil.copy2(PELLANDOR.with_name("pellandor-desktop"), folder)
                env = dict(D.env, XDG_STATE_HOME=str(folder / "state"))
                # The notice outlives the crashed process and shares its stderr: a file, not a pipe.
                err_path = folder / "stderr.txt"
                with open(err_path, "wb") as err:
                    proc = subprocess.Popen([str(program), f"--crash-test={site}"], env=env, cwd=folder,
                                            stdout=subprocess.DEVNULL, stderr=err, preexec_fn=no_core_file)
                D.procs.append(proc)
                self.assertEqual(proc.wait(timeout=60), -signal.SIGSEGV, err_path.read_text())
                stderr = err_path.read_text()
                self.assertEqual([p for p in folder.iterdir() if p.suffix == ".DMP"], [])
                files = [p for p in (folder / "state" / "pellandor").iterdir() if p.suffix == ".DMP"]
                self.assertEqual(len(files), 1)
                self.assertRegex(files[0].name, r"^Ulvex Pellandor_Err_\d{4}-\d\d-\d\d \d\d_\d\d_\d\d\.DMP$")
                report = files[0].read_text(errors="replace")
                self.assertIn("Signal: 11 (SIGSEGV)", report)
                self.assertIn("Backtrace:\n", report)
                self.assertIn(str(files[0]), stderr)

                notice = wait_for("the crash notice", lambda: D.windows("Ulvex Pellandor is Crashed!!"))[0]
                D.close_window(notice)
                wait_for("the notice to close", lambda: not D.windows("Ulvex Pellandor is Crashed!!"))


NO_AUTOCALL = "[AUTOCALL]\nUSE_AUTOCALL=0\n"


def pops_up_on(key, timeout):
    """Whether pressing `key` brings the call dialog up within `timeout` seconds."""
    D.run(["xdotool", "key", "--clearmodifiers", key])
    try:
        wait_for("the call dialog", lambda: D.windows(TITLE), timeout=timeout)
        return True
    except AssertionError:
        return False


def close_call_dialog():
    for wid in D.windows(TITLE):
        D.close_window(wid)
    wait_for("the call dialog to close", lambda: not D.windows(TITLE))


class C_OutsideChangeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.app = Pellandor(D, "outside", "[HOTKEY]\nUSE_HOTKEY=1\nMOD_KEY=ALT\nVIRTUAL_KEY=Q\n" + STAY + NO_AUTOCALL)

    @classmethod
    def tearDownClass(cls):
        cls.app.stop()

    def test_config_set_while_running_changes_the_hotkey_it_grabs(self):
        owner = D.copy("555-0142")
        try:
            D.move_pointer(640, 400)
            # The program listens for a second start a moment before it grabs the key.
            wait_for("the hotkey of the file at start", lambda: pops_up_on("alt+q", 1), timeout=15)
            close_call_dialog()

            result = self.app.cli("config", "set", "--settings", str(self.app.settings), "HOTKEY", "VIRTUAL_KEY", "W")
            self.assertEqual(result.returncode, 0, result.stderr)
            # No restart: the running program reads the file again and grabs the new key.
            wait_for("the new hotkey to pop the dialog up", lambda: pops_up_on("alt+w", 1), timeout=15)
            close_call_dialog()
            self.assertFalse(pops_up_on("alt+q", 1.5), "the old hotkey still pops the dialog up")
        finally:
            stop_process(owner)


class D_TrayWhileSettingsOpenTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.app = Pellandor(D, "tray-settings", STAY + NO_AUTOCALL)

    @classmethod
    def tearDownClass(cls):
        cls.app.stop()

    def test_tray_answers_while_the_settings_dialog_is_open(self):
        open_settings_from_the_tray(self)
        # A click on the icon asks for the call dialog: the notice comes up
        # (untitled, so named after the program), once.
        def notices():
            return [wid for wid in windows_titled(TITLE) if D.geometry(wid)[2] > 60]
        for _ in range(2):
            D.move_pointer(*wait_for("the tray icon in place", settled_tray_icon))
            D.run(["xdotool", "click", "1"])
            wait_for("the notice to close the settings", notices, timeout=5)
        with self.assertRaises(AssertionError):
            wait_for("a second notice", lambda: len(notices()) > 1, timeout=1)
        self.assertTrue(windows_titled(SETTINGS))
        # The menu still opens, and its Exit (third of four items) ends the program.
        x, y, w, h = open_tray_menu(self)
        D.move_pointer(x + w // 2, y + h * 5 // 8)
        D.run(["xdotool", "click", "1"])
        self.assertEqual(self.app.proc.wait(timeout=10), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
