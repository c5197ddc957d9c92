"""The commands that need neither a display nor an exchange: dial-string,
config and the usage rules."""

import os
import pathlib
import pty
import re
import select
import subprocess
import unittest

from harness import PELLANDOR, CliTestCase, SOURCE

# Values K of the dialling plan, with "=" standing for 55.
PLAN = ("[ACCESSCODE]\nCO_ACCESS_CODE=9\nMYCOUNTRY_CODE=82\nMYAREA_CODE=031\n"
        "INTER_CODE=001\nPBX_CODE=\nLONG_CODE=\nUSE_ADDZERO=1\n"
        "[DIALING_RULE_ADV]\nNUM_ADD_EQUAL=55\n")


class DialStringTest(CliTestCase):
    def test_copied_numbers_follow_the_plan_from_the_settings_file(self):
        self.write_settings(PLAN)
        cases = [
            (["+82 31 123 4567"], "91234567"),
            (["+1", "212", "555", "1234"], "900112125551234"),  # words are joined with spaces
            (["(02) 123-4567"], "9021234567"),
            (["1234"], "1234"),
        ]
        for words, expected in cases:
            with self.subTest(words=words):
                result = self.pellandor("dial-string", "--", *words)
                self.assertEqual((result.returncode, result.stdout), (0, expected + "\n"), result.stderr)

    def test_copied_text_gives_what_the_call_dialog_dials(self):
        # The sample plan with the pop-up filter on: letters are dropped
        # before the number test, as the clipboard pop-up drops them.
        sample = (SOURCE / "resources" / "sample_settings.ini").read_text()
        self.write_settings(sample + "[DIALING_RULE_ADV]\nUSE_POPUP_FOR_CHAR=1\nMIN_POPUP_LENGTH=3\n")
        cases = [
            ("call me at 555-1234 please", 0, "915551234\n"),
            ("(212) 555-1234", 0, "95551234\n"),
            ("call 12", 3, ""),                         # fewer than 3 dial characters: no pop-up
            ("please call me at 555-1234 today", 3, ""),  # longer than 30 characters: no pop-up
        ]
        for text, code, out in cases:
            with self.subTest(text=text):
                result = self.pellandor("dial-string", "--", text)
                self.assertEqual((result.returncode, result.stdout), (code, out), result.stderr)
                if code:
                    self.assertIn("would not pop up", result.stderr)

    def test_direction_controls_never_give_a_number(self):
        self.write_settings(PLAN)
        spoofed = "\u202e4321-555\u202c"  # shows as 555-1234
        for args in (["dial-string", "--", spoofed], ["dial-string", "--send", "--", spoofed],
                     ["dial", "--", spoofed], ["tel:%E2%80%AE4321-555%E2%80%AC"], ["dial", "555\u200e1234"]):
            with self.subTest(args=args):
                result = self.pellandor(*args)
                self.assertEqual((result.returncode, result.stdout), (3, ""), result.stderr)
                self.assertIn("direction controls", result.stderr)

    def test_send_applies_the_dial_marks_and_the_number_test(self):
        self.write_settings(PLAN)
        cases = [
            ("12=34", 0, "125534\n"),
            ("12?34", 0, "12 34\n"),   # blank marks become spaces
            ("-123", 0, "-123\n"),     # after "--" a leading hyphen is text
            ("12p34", 3, ""),          # "P" is not a dialable character
            ("*#", 3, ""),             # no digit
            ("1" * 31, 3, ""),         # too long
        ]
        for text, code, out in cases:
            with self.subTest(text=text):
                result = self.pellandor("dial-string", "--send", "--", text)
                self.assertEqual((result.returncode, result.stdout), (code, out))
                if code:
                    self.assertIn("not a dialable number", result.stderr)

    def test_settings_path_from_environment_and_xdg(self):
        (self.dir / "config").mkdir()
        (self.dir / "config" / "pellandor_settings.ini").write_text("[ACCESSCODE]\nCO_ACCESS_CODE=7\n")
        self.assertEqual(self.pellandor("dial-string", "1234567", settings=False).stdout, "71234567\n")
        self.write_settings("[ACCESSCODE]\nCO_ACCESS_CODE=8\n")
        self.env["PELLANDOR_SETTINGS"] = str(self.settings)
        self.assertEqual(self.pellandor("dial-string", "1234567", settings=False).stdout, "81234567\n")


class ConfigTest(CliTestCase):
    def test_password_is_stored_enciphered_and_read_back_in_clear(self):
        self.assertEqual(self.pellandor("config", "set", "USER_INFO", "PW", "  pass word ").returncode, 0)
        stored = re.search(r"^PW=(.*)$", self.settings.read_text(), re.M).group(1)
        self.assertRegex(stored, r"^[0-9A-F]{32}$")
        result = self.pellandor("config", "get", "user_info", "pw")
        self.assertEqual((result.returncode, result.stdout), (0, "pass word\n"))

    def test_too_long_password_is_refused_and_the_file_untouched(self):
        self.write_settings("[USER_INFO]\nPW=old\n")
        before = self.settings.read_bytes()
        result = self.pellandor("config", "set", "USER_INFO", "PW", "x" * 97)
        self.assertEqual(result.returncode, 2)
        self.assertTrue(result.stderr.strip())
        self.assertEqual(self.settings.read_bytes(), before)
        self.assertEqual(self.pellandor("config", "set", "USER_INFO", "PW", "x" * 96).returncode, 0)

    def test_language_takes_only_the_codes_the_program_knows(self):
        self.write_settings("[LANGUAGE]\nLAN=ENG\n")
        before = self.settings.read_bytes()
        for value in ("XYZ", "eng", "Local", ""):
            with self.subTest(value=value):
                result = self.pellandor("config", "set", "--", "LANGUAGE", "LAN", value)
                self.assertEqual(result.returncode, 2)
                self.assertIn("ENG", result.stderr)
                self.assertIn("LOCAL", result.stderr)
                self.assertEqual(self.settings.read_bytes(), before)
        self.assertEqual(self.pellandor("config", "set", "language", "lan", "LOCAL").returncode, 0)
        self.assertEqual(self.pellandor("config", "get", "LANGUAGE", "LAN").stdout, "LOCAL\n")

    def test_password_from_standard_input_and_hidden_in_list(self):
        # "-" keeps the password out of the process list and the shell history.
        result = self.pellandor("config", "set", "USER_INFO", "PW", "-", input="  s3cret word \r\n")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertNotIn("s3cret", self.settings.read_text())
        self.assertEqual(self.pellandor("config", "get", "USER_INFO", "PW").stdout, "s3cret word\n")
        lines = self.pellandor("config", "list").stdout.splitlines()
        self.assertIn("USER_INFO/PW=********", lines)
        self.assertFalse(any("s3cret" in line for line in lines))
        self.assertIn("USER_INFO/PW=s3cret word", self.pellandor("config", "list", "--show-password").stdout.splitlines())
        # nothing on standard input: refused, the stored password stays
        before = self.settings.read_bytes()
        result = self.pellandor("config", "set", "USER_INFO", "PW", "-", input="")
        self.assertEqual(result.returncode, 2)
        self.assertIn("standard input", result.stderr)
        self.assertEqual(self.settings.read_bytes(), before)
        self.assertEqual(self.pellandor("config", "get", "--show-password", "USER_INFO", "PW").returncode, 1)

    def test_password_typed_on_a_terminal_is_not_echoed(self):
        master, slave = pty.openpty()
        proc = subprocess.Popen([str(PELLANDOR), "config", "set", "--settings", str(self.settings),
                                 "USER_INFO", "PW", "-"], stdin=slave, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, env=self.env)
        os.close(slave)
        # Typed only once the prompt is there, so the echo is already off.
        ready = select.select([proc.stderr], [], [], 30)[0]
        if not ready:
            proc.kill()
            proc.wait()
            os.close(master)
            self.fail("no prompt on the terminal")
        self.assertIn(b"Value: ", os.read(proc.stderr.fileno(), 64))
        os.write(master, b"typed pw\n")
        self.assertEqual(proc.wait(timeout=60), 0)
        seen = b""
        while select.select([master], [], [], 0.5)[0]:
            try:
                chunk = os.read(master, 1024)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
        os.close(master)
        self.assertNotIn(b"typed", seen)
        self.assertEqual(self.pellandor("config", "get", "USER_INFO", "PW").stdout, "typed pw\n")

    def test_unusable_settings_file_is_reported_as_such(self):
        big = self.dir / "big.ini"
        with open(big, "wb") as f:
            f.truncate(65 * 1024 * 1024)  # sparse: over the size cap without using the disk
        folder = self.dir / "folder.ini"
        folder.mkdir()
        for path, why in ((big, "file too large"), (folder, "not a regular file")):
            for args in (["call", "1234"], ["hangup"], ["config", "list"], ["dial-string", "1234"]):
                with self.subTest(path=path.name, args=args):
                    result = self.pellandor(args[0], "--settings", str(path), *args[1:], settings=False)
                    self.assertEqual(result.returncode, 4, result.stderr)
                    self.assertIn("the settings file cannot be read", result.stderr)
                    self.assertIn(why, result.stderr)
                    self.assertNotIn("lack", result.stderr)

    def test_read_only_settings_file_is_not_replaced(self):
        self.write_settings("[SYS_INFO]\nIP=1.2.3.4\n")
        self.settings.chmod(0o444)
        result = self.pellandor("config", "set", "SYS_INFO", "IP", "5.6.7.8")
        self.assertEqual(result.returncode, 2)
        self.assertIn("read-only", result.stderr)
        self.assertEqual(self.settings.read_text(), "[SYS_INFO]\nIP=1.2.3.4\n")
        self.assertEqual(self.settings.stat().st_mode & 0o777, 0o444)

    def test_saved_file_is_private(self):
        self.write_settings("[SYS_INFO]\nIP=1.2.3.4\n")
        self.settings.chmod(0o644)
        self.assertEqual(self.pellandor("config", "set", "USER_INFO", "PW", "x").returncode, 0)
        self.assertEqual(self.settings.stat().st_mode & 0o777, 0o600)

    def test_get_converts_as_the_program_does(self):
        self.write_settings("[TRANSPARENCY]\nUSE_TRANSPARENCY=yes\nRATE_TRANSPARENCY= 42abc\n"
                            "[CALL_LOG]\nLOG0=  5551234 \n[USER_INFO]\nPW=not hex\n")
        cases = [
            (("TRANSPARENCY", "USE_TRANSPARENCY"), 0, "1\n"),
            (("TRANSPARENCY", "RATE_TRANSPARENCY"), 0, "42\n"),
            (("CALL_LOG", "LOG0"), 0, "5551234\n"),
            (("USER_INFO", "PW"), 0, "not hex\n"),           # kept as typed when it does not decode
            (("TRANSPARENCY", "MISSING"), 1, ""),
            (("NO_SUCH_SECTION", "KEY"), 1, ""),
        ]
        for (section, key), code, out in cases:
            with self.subTest(key=key):
                result = self.pellandor("config", "get", section, key)
                self.assertEqual((result.returncode, result.stdout), (code, out))

    def test_set_values_beginning_with_a_hyphen_after_double_dash(self):
        self.assertEqual(self.pellandor("config", "set", "--", "DLG_POS", "X", "-120").returncode, 0)
        self.assertEqual(self.pellandor("config", "get", "DLG_POS", "X").stdout, "-120\n")
        self.assertEqual(self.pellandor("config", "set", "DLG_POS", "X", "-120").returncode, 1)

    def test_list_shows_defaults_and_stored_values(self):
        self.write_settings("[HOTKEY]\nUSE_HOTKEY=0\n")
        lines = self.pellandor("config", "list").stdout.splitlines()
        for expected in ("HOTKEY/USE_HOTKEY=0", "HOTKEY/MOD_KEY=", "DISAPPEARANCE/TIME_DISAPPARANCE=5",
                         "DISAPPERANCE_AFTER_SUCCESS/USE_DISAPPERANANCE_AFTER_SUCCESS=1",
                         "DIALING_RULE_ADV/MIN_POPUP_LENGTH=3", "CALL_LOG/MAX_NUM_LOG=10", "LANGUAGE/LAN=ENG"):
            self.assertIn(expected, lines)


class UsageTest(CliTestCase):
    def test_command_line_calls_leave_no_empty_folders(self):
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR", "XDG_STATE_HOME"):
            self.env.pop(name, None)
        instance_folder = pathlib.Path(f"/tmp/pellandor-{os.getuid()}")
        existed = instance_folder.exists()  # another program of this user may use it
        for args in (["dial", "5551234"], ["tel:5551234"], ["dial-string", "5551234"], ["config", "list"]):
            with self.subTest(args=args):
                self.pellandor(*args)
                self.assertFalse((self.dir / ".local" / "state" / "pellandor").exists())
                if not existed:
                    self.assertFalse(instance_folder.exists())


    def test_the_desktop_program_speaks_as_the_command_line_does(self):
        # Its messages go through its log; the user still reads one plain line.
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            self.env.pop(name, None)
        result = self.pellandor("dial", "5551234")
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertRegex(result.stderr, r"^pellandor: no display found [^\n]*\n$")

    def test_exit_statuses(self):
        cases = [
            (["--help"], 0), (["--version"], 0), ([], 1), (["frobnicate"], 1),
            (["dial-string", "--bogus", "1"], 1), (["dial-string"], 1), (["call", "--send", "1"], 1),
            (["config", "get", "ONLY_SECTION"], 1), (["hangup", "123"], 1),
            (["call", "--show-password", "1"], 1), (["config", "set", "--show-password", "A", "B", "C"], 1),
        ]
        for args, code in cases:
            with self.subTest(args=args):
                result = self.pellandor(*args, settings=False)
                self.assertEqual(result.returncode, code, result.stderr)
                if code:
                    self.assertIn("Usage:", result.stderr + result.stdout)


if __name__ == "__main__":
    unittest.main(verbosity=2)
