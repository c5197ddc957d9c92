"""The desktop program in a Wayland session (headless sway with XWayland),
with a Wayland-native terminal holding the focus: a number copied there
pops the dialog up and is dialled, the dialog comes up in the corner rather
than centred, a key bound to `pellandor popup` in the compositor works, and
no see-through colour shows, under XWayland and under Qt's own Wayland
platform."""

import shutil
import sys
import unittest

import wayland_session
from desktop import TITLE, stop_process, wait_for
from wayland_session import WaylandDesktop, WaylandPellandor

D = None

# The dialog hides itself a second after a call went through.
HIDE_AFTER_CALL = ("[DISAPPEARANCE]\nUSE_DISAPPEARANCE=1\nTIME_DISAPPARANCE=1\n"
                   "[DISAPPERANCE_AFTER_SUCCESS]\nUSE_DISAPPERANANCE_AFTER_SUCCESS=1\n")
STAY = "[DISAPPEARANCE]\nUSE_DISAPPEARANCE=0\nTIME_DISAPPARANCE=5\n"
# The default hotkey, which no Wayland compositor without the portal gives.
HOTKEY = "[HOTKEY]\nUSE_HOTKEY=1\nMOD_KEY=ALT\nVIRTUAL_KEY=Q\n"
DIALOG_SIZES = {(282, 94), (280, 51)}
MAGENTA = (255, 0, 255)


def setUpModule():
    global D
    D = WaylandDesktop()


def tearDownModule():
    if D:
        D.close()


def magenta_pixels(png, rect):
    """Pixels of the see-through key colour inside rect of a screenshot."""
    import subprocess
    x, y, w, h = rect
    raw = subprocess.run(["convert", str(png), "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-depth", "8", "rgb:-"],
                         capture_output=True, check=True, timeout=30).stdout
    return sum(1 for i in range(0, len(raw) - 2, 3)
               if abs(raw[i] - 255) < 24 and raw[i + 1] < 40 and abs(raw[i + 2] - 255) < 24)


class WaylandCase(unittest.TestCase):
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

    def copy(self, text):
        self.owners.append(D.copy(text))

    def dialled(self, dial_string, count=1):
        return wait_for(f"the exchange to be asked to dial {dial_string}", lambda: len(
            [r for r in D.requests() if r["destination"] == dial_string]) >= count, timeout=15)

    def screenshot_has_no_magenta(self, rect):
        shot = D.dir / f"{self.id().rsplit('.', 1)[-1]}.png"
        D.screenshot(shot)
        self.assertEqual(magenta_pixels(shot, rect), 0, f"see-through colour drawn in {rect} ({shot})")


class A_XWaylandTest(WaylandCase):
    """The default: Qt on XWayland, the clipboard through the data-control protocol."""

    @classmethod
    def setUpClass(cls):
        # The clipboard's debug lines show when a secret was seen and left alone.
        cls.app = WaylandPellandor(D, "xwayland", HOTKEY + HIDE_AFTER_CALL,
                                   env={"QT_LOGGING_RULES": "pellandor.clipboard.debug=true"})

    def x_dialog(self, timeout=10):
        """The call dialog's X window under XWayland: (x, y, width, height)."""
        def find():
            for wid in D.run(["xdotool", "search", "--onlyvisible", "--name", f"^{TITLE}$"]).stdout.split():
                out = D.run(["xdotool", "getwindowgeometry", "--shell", wid]).stdout
                v = dict(line.split("=", 1) for line in out.split() if "=" in line)
                if "WIDTH" in v and (int(v["WIDTH"]), int(v["HEIGHT"])) in DIALOG_SIZES:
                    return int(v["X"]), int(v["Y"]), int(v["WIDTH"]), int(v["HEIGHT"])
            return None
        return wait_for("the call dialog", find, timeout=timeout)

    def hidden(self):
        wait_for("the dialog to hide itself", lambda: not D.run(
            ["xdotool", "search", "--onlyvisible", "--name", f"^{TITLE}$"]).stdout.split(), timeout=10)

    def test_1_number_copied_in_a_wayland_program_pops_up_in_the_corner(self):
        self.assertEqual(D.focused_app(), "pellandor-e2e-term")
        self.copy("+1 (415) 555-1234")
        x, y, w, h = self.x_dialog()
        # Bottom-right corner of the output (no panel): not centred over the terminal.
        self.assertEqual((x + w, y + h), (D.WIDTH, D.HEIGHT))
        self.screenshot_has_no_magenta((x, y, w, h))
        self.dialled(self.app.dial_string("+1 (415) 555-1234"))
        # The terminal keeps the keyboard.
        self.assertEqual(D.focused_app(), "pellandor-e2e-term")
        self.hidden()

    def test_2_hotkey_that_cannot_be_had_is_said_once_and_copies_still_pop_up(self):
        text = self.app.stderr()
        self.assertEqual(text.count("the hotkey Alt+Q cannot be had"), 1, text)
        self.assertIn("pellandor popup", text)
        # A long copy is not read whole and is not a number; the next one is.
        self.copy("1" * 200_000)
        self.copy("555-0177")
        self.x_dialog()
        self.dialled(self.app.dial_string("555-0177"))
        self.assertEqual([r for r in D.requests() if len(r["destination"]) > 40], [])
        self.hidden()

    def test_3_key_bound_to_pellandor_popup_in_sway(self):
        self.copy("555-0177")
        self.x_dialog()
        self.dialled(self.app.dial_string("555-0177"), count=2)
        self.hidden()
        bound = D.run(["swaymsg", f"bindsym Ctrl+Alt+p exec {D.pellandor} popup"])
        self.assertEqual(bound.returncode, 0, bound.stdout + bound.stderr)
        D.press("-M", "ctrl", "-M", "alt", "p", "-m", "alt", "-m", "ctrl")
        self.x_dialog()
        self.dialled(self.app.dial_string("555-0177"), count=3)
        self.hidden()

    def test_4_second_start_opens_the_dialog_with_the_keyboard(self):
        result = self.app.cli()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.x_dialog()
        wait_for("the dialog to have the keyboard", lambda: D.focused_app() == "pellandor")
        # Typed into the dialog's number box, Enter calls. XWayland drops the
        # first key of a fresh virtual keyboard (wtype makes one per run):
        # a Shift press goes first.
        D.press("-d", "30", "-k", "Shift_L", "5550142", "-k", "Return")
        sent = self.app.cli("dial-string", "--settings", str(self.app.settings), "--send", "--", "5550142")
        self.dialled(sent.stdout.strip())

    def test_5_password_managers_secret_never_pops_up(self):
        helper = D.bin / "pellandor_wl_copy_marked"
        if not helper.exists():
            self.skipTest("pellandor_wl_copy_marked not built (no libwayland-client)")
        dial = self.app.dial_string("555-0166")
        self.owners.append(D.spawn([str(helper), "555-0166", "secret"]))
        wait_for("the secret to be seen and left alone",
                 lambda: "a password manager's secret; ignored" in self.app.stderr())
        self.assertEqual([r for r in D.requests() if r["destination"] == dial], [])
        # Any other mark is no secret.
        self.owners.append(D.spawn([str(helper), "555-0166", "public"]))
        self.dialled(dial)


def x_dialog(timeout=10):
    """The call dialog's X window under XWayland: (x, y, width, height)."""
    def find():
        for wid in D.run(["xdotool", "search", "--onlyvisible", "--name", f"^{TITLE}$"]).stdout.split():
            out = D.run(["xdotool", "getwindowgeometry", "--shell", wid]).stdout
            v = dict(line.split("=", 1) for line in out.split() if "=" in line)
            if "WIDTH" in v and (int(v["WIDTH"]), int(v["HEIGHT"])) in DIALOG_SIZES:
                return int(v["X"]), int(v["Y"]), int(v["WIDTH"]), int(v["HEIGHT"])
        return None
    return wait_for("the call dialog", find, timeout=timeout)


def x_dialog_hidden():
    wait_for("the dialog to hide itself", lambda: not D.run(
        ["xdotool", "search", "--onlyvisible", "--name", f"^{TITLE}$"]).stdout.split(), timeout=10)


class B_DesktopServicesTest(WaylandCase):
    """A desktop with a StatusNotifier host and the GlobalShortcuts portal (KDE Plasma's
    services), played by stand-ins on the session bus."""

    services = None

    @classmethod
    def setUpClass(cls):
        cls.services = D.start_services()
        cls.app = WaylandPellandor(D, "services", HOTKEY + HIDE_AFTER_CALL)

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        if cls.services:
            cls.services.stop()

    def test_1_tray_item_has_its_menu_and_opens_the_dialog(self):
        items = wait_for("the tray item", lambda: self.services.ask("items"))
        self.assertEqual(len(items), 1, items)
        menu = items[0]["menu"]
        labels = [entry["label"] for entry in menu]
        # Call dialog (the default, first), Settings, Quit, and the version, greyed.
        self.assertEqual(len(menu), 4, labels)
        self.assertEqual(labels[1:3], ["Settings", "Quit"])
        self.assertTrue(all(entry["enabled"] for entry in menu[:3]), menu)
        self.assertFalse(menu[3]["enabled"], menu)
        self.assertTrue(self.services.ask(f"activate 0 {D.WIDTH - 20} {D.HEIGHT - 10}"))
        x_dialog()
        wait_for("the dialog to have the keyboard", lambda: D.focused_app() == "pellandor")

    def test_2_portal_hotkey_pops_the_copied_number_up(self):
        shortcuts = wait_for("the portal shortcut", lambda: [
            props for session in self.services.ask("shortcuts").values()
            for sid, props in session.items() if sid == "call-dialog"])
        self.assertEqual(shortcuts[0]["preferred_trigger"], "ALT+q")
        self.assertNotIn("cannot be had", self.app.stderr())
        self.copy("555-0123")
        self.assertTrue(self.services.ask("press call-dialog"))
        x_dialog()
        dial = self.app.dial_string("555-0123")
        self.dialled(dial)
        x_dialog_hidden()
        # With the hotkey held, the copy alone popped nothing up.
        self.assertEqual(len([r for r in D.requests() if r["destination"] == dial]), 1)


class C_NativeWaylandTest(WaylandCase):
    """Qt's own Wayland platform: no window shapes, so the corners are drawn see-through."""

    @classmethod
    def setUpClass(cls):
        cls.app = WaylandPellandor(D, "native", HOTKEY + STAY, env={"QT_QPA_PLATFORM": "wayland"})

    def test_copy_pops_up_without_magenta_corners(self):
        self.copy("555-0150")
        x, y, w, h, _ = wait_for("the call dialog", lambda: [
            win for win in D.windows(TITLE) if (win[2], win[3]) in DIALOG_SIZES], timeout=10)[0]
        self.dialled(self.app.dial_string("555-0150"))
        self.screenshot_has_no_magenta((x, y, w, h))
        self.assertEqual(self.app.stderr().count("cannot be had"), 1)


if __name__ == "__main__":
    missing = wayland_session.missing_tools() + [t for t in ("xdotool", "convert") if not shutil.which(t)]
    if missing:
        print(f"skipped: {', '.join(missing)} not installed (bash .ci/install-deps)")
        sys.exit(77)
    unittest.main(verbosity=2)
