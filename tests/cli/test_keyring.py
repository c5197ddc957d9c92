"""The password in the desktop keyring: GNOME Keyring's Secret Service on a
private session bus, and the settings file where no keyring answers."""

import re
import unittest

from harness import CliTestCase
from secret_service import PrivateBus

ACCOUNT = ("2001", "alice", "s3cret word")


class KeyringTest(CliTestCase):
    def use_bus(self, keyring):
        bus = PrivateBus(self.dir, keyring=keyring)
        self.addCleanup(bus.stop)
        self.env.update(bus.env)
        return bus

    def configure(self, port, extra=""):
        station, uid, _ = ACCOUNT
        self.write_settings(f"[USER_INFO]\nID={uid}\nPN={station}\n[SYS_INFO]\nIP=127.0.0.1\nPORT={port}\n" + extra)

    def set_password(self):
        return self.pellandor("config", "set", "USER_INFO", "PW", "-", input=ACCOUNT[2] + "\n")

    def file_password(self):
        match = re.search(r"^PW=(.*)$", self.settings.read_text(), re.M)
        return match.group(1) if match else None

    def call(self, sim):
        result = self.pellandor("call", "1234")
        self.assertEqual((result.returncode, result.stdout), (0, "Success\n"), result.stderr)
        self.assertEqual(sim.requests()[-1]["fields"]["userpwd"], ACCOUNT[2])

    def test_with_a_keyring_the_password_leaves_the_file(self):
        bus = self.use_bus(keyring=True)
        sim = self.start_sim(accounts=[ACCOUNT])
        self.configure(sim.port)
        stored = self.set_password()
        self.assertEqual(stored.returncode, 0, stored.stderr)
        self.assertIn("kept in the desktop keyring", stored.stderr)
        self.assertEqual(self.file_password(), "")
        self.assertEqual(bus.secret_tool("lookup", "application", "pellandor", "exchange", "127.0.0.1",
                                         "user", "alice").stdout, ACCOUNT[2])

        self.assertEqual(self.pellandor("config", "get", "USER_INFO", "PW").stdout, ACCOUNT[2] + "\n")
        self.assertIn("USER_INFO/PW=********", self.pellandor("config", "list").stdout.splitlines())
        self.assertIn(f"USER_INFO/PW={ACCOUNT[2]}",
                      self.pellandor("config", "list", "--show-password").stdout.splitlines())
        self.call(sim)

        # The entry is named by the user ID: it follows a new one.
        self.assertEqual(self.pellandor("config", "set", "USER_INFO", "ID", "bob").returncode, 0)
        self.assertEqual(bus.secret_tool("lookup", "application", "pellandor", "user", "bob").stdout, ACCOUNT[2])
        self.assertEqual(bus.secret_tool("lookup", "application", "pellandor", "user", "alice").stdout, "")

        # An empty password removes the entry.
        self.assertEqual(self.pellandor("config", "set", "USER_INFO", "PW", "").returncode, 0)
        self.assertEqual(bus.secret_tool("lookup", "application", "pellandor", "user", "bob").stdout, "")

    def test_turned_off_or_without_a_secret_service_the_file_keeps_it_enciphered(self):
        # (what answers on the session bus, extra settings)
        cases = [("keyring", "[SECURITY]\nUSE_KEYRING=0\n"), ("bus without keyring", ""), ("no bus", "")]
        for what, extra in cases:
            with self.subTest(what):
                bus = None
                if what != "no bus":
                    bus = PrivateBus(self.dir / what.replace(" ", "-"), keyring=what == "keyring")
                    self.env.update(bus.env)
                else:
                    self.env.pop("DBUS_SESSION_BUS_ADDRESS", None)
                try:
                    sim = self.start_sim(accounts=[ACCOUNT])
                    self.configure(sim.port, extra)
                    stored = self.set_password()
                    self.assertEqual((stored.returncode, stored.stderr), (0, ""))
                    self.assertRegex(self.file_password(), r"^[0-9A-F]{32}$")
                    self.call(sim)
                    if bus and bus.keyring:
                        self.assertEqual(bus.secret_tool("search", "application", "pellandor").stdout, "")
                    sim.stop()
                finally:
                    if bus:
                        bus.stop()

    def test_a_password_in_the_file_still_works_beside_a_keyring(self):
        self.use_bus(keyring=True)
        sim = self.start_sim(accounts=[ACCOUNT])
        self.configure(sim.port, "[SECURITY]\nUSE_KEYRING=0\n")
        self.assertEqual(self.set_password().returncode, 0)
        # A provisioned file: the password is there, the keyring is on but empty.
        self.settings.write_text(self.settings.read_text().replace("USE_KEYRING=0", "USE_KEYRING=1"))
        self.call(sim)


if __name__ == "__main__":
    unittest.main(verbosity=2)
