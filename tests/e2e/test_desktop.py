"""The desktop program as a person uses it: copying numbers, the hotkey, the
tray icon, a second start, tel: links, a failed call and a logout."""

import shutil
import signal
import subprocess
import sys
import time
import unittest

from desktop import BIN, TITLE, Desktop, Pellandor, stop_process, wait_for

D = None

# The call dialog's two layouts.
DIALOG_SIZES = {(282, 94), (280, 51)}
NO_HOTKEY = "[HOTKEY]\nUSE_HOTKEY=0\nMOD_KEY=ALT\nVIRTUAL_KEY=Q\n"
# The dialog stays up until the test closes it.
STAY = "[DISAPPEARANCE]\nUSE_DISAPPEARANCE=0\nTIME_DISAPPARANCE=5\n"


def setUpModule():
    global D
    D = Desktop()


def tearDownModule():
    if D:
        D.close()


def start_xlogo(geometry):
    """An ordinary program with the focus; returns it and its window."""
    logo = subprocess.Popen(["xlogo", "-geometry", geometry], env=D.env)
    D.procs.append(logo)
    try:
        logo_wid = wait_for("xlogo", lambda: D.run(["xdotool", "search", "--onlyvisible", "--pid", str(logo.pid),
                                                    "--class", "xlogo"]).stdout.split())[0]
        D.run(["xdotool", "windowactivate", logo_wid])
        wait_for("xlogo to have the focus", lambda: D.active_window() == logo_wid)
    except BaseException:
        stop_process(logo)
        raise
    return logo, logo_wid


class DesktopCase(unittest.TestCase):
    app = None

    @classmethod
    def tearDownClass(cls):
        if cls.app:
            cls.app.stop()

    def setUp(self):
        self.owners = []

    def tearDown(self):
        for proc in self.owners:
            stop_process(proc)

    def copy(self, text, **kwargs):
        self.owners.append(D.copy(text, **kwargs))

    def dialog(self, timeout=10):
        return wait_for("the call dialog", lambda: D.windows(TITLE), timeout=timeout)[0]

    def require_dialog(self, wid):
        """The window found is the call dialog in one of its layouts."""
        self.assertIn(tuple(D.geometry(wid)[2:]), DIALOG_SIZES)

    def close_dialog(self):
        for wid in D.windows(TITLE):
            D.close_window(wid)
        wait_for("the call dialog to close", lambda: not D.windows(TITLE))

    def dialled(self, dial_string, count=1):
        return wait_for(f"the exchange to be asked to dial {dial_string}", lambda: len(
            [r for r in D.requests() if r["destination"] == dial_string]) >= count, timeout=15)


class A_ClipboardTest(DesktopCase):
    @classmethod
    def setUpClass(cls):
        cls.app = Pellandor(D, "clipboard", NO_HOTKEY + STAY)

    def test_1_copied_number_pops_up_at_the_pointer_and_is_dialled(self):
        D.move_pointer(700, 300)
        self.copy("+1 (415) 555-1234")
        wid = self.dialog()
        self.require_dialog(wid)
        x, y, w, h = D.geometry(wid)
        # Its top-right corner sits at the pointer.
        self.assertLessEqual(abs(x + w - 700), 2)
        self.assertLessEqual(abs(y - 300), 2)
        self.dialled(self.app.dial_string("+1 (415) 555-1234"))
        request = D.requests()[-1]
        self.assertEqual(request["fields"]["stnnum"], "2001")
        self.assertEqual(request["call_type"], "single")

    def test_2_second_copy_moves_the_dialog_and_leaves_the_focus(self):
        wid = self.dialog()
        self.require_dialog(wid)
        logo, logo_wid = start_xlogo("200x200+100+100")
        try:
            D.move_pointer(900, 500)
            self.copy("555-0177")
            wait_for("the dialog at the pointer", lambda: (lambda g: g and abs(g[0] + g[2] - 900) <= 2 and abs(
                g[1] - 500) <= 2)(D.geometry(self.dialog())))
            self.assertEqual(D.active_window(), logo_wid)
            self.dialled(self.app.dial_string("555-0177"))
        finally:
            stop_process(logo)

    def test_2a_hidden_dialog_comes_back_without_the_focus(self):
        self.close_dialog()
        logo, logo_wid = start_xlogo("200x200+100+100")
        try:
            D.move_pointer(800, 450)
            self.copy("555-0178")
            self.require_dialog(self.dialog())
            self.dialled(self.app.dial_string("555-0178"))
            self.assertEqual(D.active_window(), logo_wid)
        finally:
            stop_process(logo)

    def test_3_tray_click_opens_the_call_dialog(self):
        self.close_dialog()
        icon = wait_for("the tray icon", D.tray_icon)
        # The icon is drawn: teal tile pixels where it sits.
        rgb = D.pixels(icon[0] - 6, icon[1] - 6, 12, 12)
        teal = sum(1 for i in range(0, len(rgb), 3) if rgb[i + 2] > rgb[i] + 40 and rgb[i + 1] > rgb[i] + 30)
        self.assertGreater(teal, 10, "no icon pixels in the tray")
        D.move_pointer(*icon)
        D.run(["xdotool", "click", "1"])
        self.dialog()

    def test_4_second_start_shows_the_dialog_and_ends(self):
        self.close_dialog()
        started = time.monotonic()
        result = self.app.cli()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertLess(time.monotonic() - started, 2.0)
        self.dialog()
        self.assertEqual(self.app.proc.poll(), None)

    def test_5_tel_link_dials_what_copying_the_number_dials(self):
        self.close_dialog()
        result = self.app.cli("tel:+1-415-555-0177;ext=12")
        self.assertEqual(result.returncode, 0, result.stderr)
        wid = self.dialog()
        bad = self.app.cli("tel:call-me-maybe")
        self.assertEqual(bad.returncode, 3)
        self.assertIn("no number to dial", bad.stderr)
        self.require_dialog(wid)
        self.dialled(self.app.dial_string("+1-415-555-0177"))

    def test_5a_an_owner_that_never_answers_freezes_nothing(self):
        self.close_dialog()
        log = D.dir / "hung_owner.txt"
        with open(log, "w") as out:
            owner = subprocess.Popen([str(BIN / "pellandor_hung_clipboard_owner")], env=D.env, stdout=out)
        D.procs.append(owner)
        self.owners.append(owner)
        # Asked for the clipboard, and never answering.
        wait_for("pellandor to ask the hung owner", lambda: "request" in log.read_text())
        started = time.monotonic()
        result = self.app.cli()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertLess(time.monotonic() - started, 1.0)
        self.require_dialog(self.dialog(timeout=2))
        # The next copy is read as before (the hung owner gone first: xclip's
        # own check of the copy would wait on it without end).
        stop_process(owner)
        self.copy("555-0179")
        self.dialled(self.app.dial_string("555-0179"))

    def test_6_recent_numbers_survive_sigterm(self):
        # SIGTERM right after a call, before the debounced save is due.
        D.move_pointer(650, 350)
        self.copy("555-0142")
        self.require_dialog(self.dialog())
        self.dialled(self.app.dial_string("555-0142"))
        self.assertEqual(self.app.stop(signal.SIGTERM), 0)
        text = self.app.settings.read_text()
        self.assertIn("LOG0=" + self.app.dial_string("555-0142"), text)
        self.assertRegex(text, r"\nLOG[1-9]=" + self.app.dial_string("+1-415-555-0177") + "\n")


class B_HotkeyTest(DesktopCase):
    @classmethod
    def setUpClass(cls):
        cls.app = Pellandor(D, "hotkey", "[HOTKEY]\nUSE_HOTKEY=1\nMOD_KEY=ALT\nVIRTUAL_KEY=Q\n" + STAY)

    def test_hotkey_with_numlock_on_pops_the_copied_number_up(self):
        D.move_pointer(640, 400)
        self.copy("555-0199")
        # With the hotkey in use a copy alone does nothing.
        time.sleep(0.5)
        self.assertEqual(D.windows(TITLE), [])
        D.run(["xdotool", "key", "Num_Lock"])
        try:
            D.run(["xdotool", "key", "alt+q"])
            wid = self.dialog()
        finally:
            D.run(["xdotool", "key", "Num_Lock"])
        self.require_dialog(wid)
        self.dialled(self.app.dial_string("555-0199"))


class C_FailureTest(DesktopCase):
    @classmethod
    def setUpClass(cls):
        cls.app = Pellandor(D, "failure", NO_HOTKEY + STAY, password="wrong")

    def test_1_rejected_call_shows_its_message_box(self):
        D.move_pointer(600, 400)
        self.copy("555-0100")
        wid = self.dialog()
        self.require_dialog(wid)
        wait_for("the result message", lambda: D.windows("Result"), timeout=15)
        self.assertTrue(any(r["code"] == 101 for r in D.requests()))

    def test_2_failures_while_the_box_is_open_share_it(self):
        wait_for("the result message", lambda: D.windows("Result"), timeout=15)
        for number in ("555-0101", "555-0102", "555-0103"):
            self.assertEqual(self.app.cli("dial", number).returncode, 0)
            self.dialled(self.app.dial_string(number))
        # A round trip through the program's event loop once the last answer is in.
        wait_for("the last answer", lambda: D.requests()[-1].get("code") == 101)
        self.assertEqual(self.app.cli().returncode, 0)
        wait_for("the result message", lambda: D.windows("Result"))
        self.assertEqual(len(D.windows("Result")), 1)


class C_TopmostOffTest(DesktopCase):
    @classmethod
    def setUpClass(cls):
        cls.app = Pellandor(D, "topmost", NO_HOTKEY + STAY + "[TOPMOST]\nUSE_TOPMOST=0\n")

    def test_fresh_dialog_comes_up_behind_the_program_in_use(self):
        logo, logo_wid = start_xlogo("300x300+400+200")
        try:
            # Over xlogo: the dialog's place overlaps it.
            D.move_pointer(650, 350)
            self.copy("555-0160")
            wid = self.dialog()
            self.dialled(self.app.dial_string("555-0160"))
            def below():
                order = D.stacking()
                return int(wid) in order and int(logo_wid) in order and order.index(int(wid)) < order.index(
                    int(logo_wid))
            try:
                wait_for("the dialog below xlogo", below, timeout=5)
            except AssertionError:
                raise AssertionError(f"dialog {int(wid):#x}, xlogo {int(logo_wid):#x}, stacking bottom first: "
                                     + " ".join(f"{w:#x}" for w in D.stacking()))
        finally:
            stop_process(logo)


class C_TrustTest(DesktopCase):
    @classmethod
    def setUpClass(cls):
        cls.app = Pellandor(D, "trust", NO_HOTKEY + STAY)

    @classmethod
    def tearDownClass(cls):
        D.identity_file.write_text("1")

    def test_a_changed_exchange_key_stops_the_call_and_the_result_box_names_it(self):
        D.move_pointer(600, 400)
        self.copy("555-0160")
        self.require_dialog(self.dialog())
        self.dialled(self.app.dial_string("555-0160"))
        wait_for("the first key to be kept", lambda: D.sim_keys[0] in self.app.settings.read_text())
        self.close_dialog()

        sent = len(D.requests())
        D.identity_file.write_text("2")
        self.copy("555-0161")
        self.require_dialog(self.dialog())
        box = wait_for("the result message", lambda: D.windows("Result"), timeout=15)[0]
        # The box's text goes to the log as well.
        text = wait_for("the refusal in the log", lambda: "call refused:" in self.app.stderr.read_text() and
                        self.app.stderr.read_text())
        self.assertIn("The exchange's identity has changed", text)
        self.assertIn(f"Trusted key: {D.sim_keys[0]}", text)
        self.assertIn(f"New key: {D.sim_keys[1]}", text)
        self.assertIn(f"pellandor config pin accept {D.sim_keys[1]}", text)
        self.assertEqual(len(D.requests()), sent, "no request byte may reach a changed exchange")
        self.assertIn(D.sim_keys[0], self.app.settings.read_text())
        D.run(["xdotool", "windowactivate", box])
        D.run(["xdotool", "key", "--clearmodifiers", "Return"])


class D_NoTrayTest(DesktopCase):
    """Last: it ends the session's tray."""

    @classmethod
    def setUpClass(cls):
        stop_process(D.trayer)
        cls.app = Pellandor(D, "notray", NO_HOTKEY + STAY, args=["dial", "555-0150"])

    def test_without_a_tray_the_rest_still_works(self):
        # The start's own number, without a running program to hand it to.
        self.require_dialog(self.dialog())
        self.dialled(self.app.dial_string("555-0150"))
        self.close_dialog()
        self.assertEqual(self.app.cli().returncode, 0)
        self.dialog()
        self.close_dialog()
        D.move_pointer(500, 300)
        self.copy("555-0151")
        self.dialog()
        self.dialled(self.app.dial_string("555-0151"))
        self.assertIsNone(self.app.proc.poll())
        self.assertEqual(self.app.stderr.read_text().count("no system tray"), 1)


if __name__ == "__main__":
    missing = [t for t in ("Xvfb", "openbox", "trayer", "dbus-daemon", "xdotool", "xclip", "xprop", "xwininfo",
                           "xlogo", "import") if not shutil.which(t)]
    if missing:
        print(f"skipped: {', '.join(missing)} not installed (bash .ci/install-deps)")
        sys.exit(77)
    unittest.main(verbosity=2)
