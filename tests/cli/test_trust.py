"""Trust on first use for the exchange's key, end to end: the command line
against the simulator, which can swap its certificate under a running test."""

import subprocess
import unittest

from harness import CliTestCase

ACCOUNT = ("2001", "alice", "secret")


def openssl(*args, input=None):
    return subprocess.run(["openssl", *args], check=True, capture_output=True, input=input).stdout


def spki_fingerprint(cert):
    """SHA-256 of the certificate's SubjectPublicKeyInfo, computed by openssl."""
    pem = openssl("x509", "-in", str(cert), "-pubkey", "-noout")
    der = openssl("pkey", "-pubin", "-outform", "DER", input=pem)
    digest = openssl("dgst", "-sha256", "-binary", input=der)
    return ":".join(f"{b:02X}" for b in digest)


class TrustTest(CliTestCase):
    def configure(self, port, extra=""):
        station, uid, password = ACCOUNT
        self.write_settings(f"[USER_INFO]\nID={uid}\nPN={station}\n[SYS_INFO]\nIP=127.0.0.1\nPORT={port}\n" + extra)
        result = self.pellandor("config", "set", "USER_INFO", "PW", "-", input=password + "\n")
        self.assertEqual(result.returncode, 0, result.stderr)

    def pinned(self):
        return self.pellandor("config", "get", "SECURITY", "PINNED_KEY").stdout.strip()

    def make_ca(self, name):
        key, cert = self.dir / f"{name}.key", self.dir / f"{name}.pem"
        openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
                "-subj", f"/CN={name}", "-keyout", str(key), "-out", str(cert))
        return key, cert

    def make_leaf(self, ca, san):
        key, csr, cert = self.dir / "leaf.key", self.dir / "leaf.csr", self.dir / "leaf.pem"
        openssl("req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                "-subj", "/CN=exchange", "-keyout", str(key), "-out", str(csr))
        ext = self.dir / "leaf.ext"
        ext.write_text(f"subjectAltName={san}\n")
        openssl("x509", "-req", "-in", str(csr), "-CA", str(ca[1]), "-CAkey", str(ca[0]), "-CAcreateserial",
                "-days", "2", "-extfile", str(ext), "-out", str(cert))
        return cert, key

    def test_first_call_keeps_the_key_and_a_changed_key_fails_before_sending(self):
        sim = self.start_sim(accounts=[ACCOUNT], second_identity=True)
        self.configure(sim.port)
        first = self.pellandor("call", "1234")
        self.assertEqual((first.returncode, first.stdout), (0, "Success\n"), first.stderr)
        self.assertIn(f"its key {sim.keys[0]} is trusted from now on", first.stderr)
        self.assertEqual(self.pinned(), sim.keys[0])
        self.assertIn(f"PINNED_EXCHANGE=127.0.0.1:{sim.port}", self.settings.read_text())

        sim.present(2)
        for attempt in range(2):  # no retry, and the new key is never kept on its own
            with self.subTest(attempt=attempt):
                changed = self.pellandor("call", "1234")
                self.assertEqual(changed.returncode, 3, changed.stderr)
                self.assertTrue(changed.stdout.startswith("Failed\nThe exchange's identity has changed: "
                                                          f"127.0.0.1:{sim.port} showed another key"), changed.stdout)
                self.assertIn(f"Trusted key: {sim.keys[0]}\nNew key: {sim.keys[1]}\n", changed.stdout)
                self.assertIn(f"pellandor config pin accept {sim.keys[1]}\n", changed.stdout)
                self.assertIn(": the exchange's identity changed: its key is ", changed.stderr)
                self.assertEqual(len(sim.requests()), 1, "no request byte may reach a changed exchange")
                self.assertEqual(self.pinned(), sim.keys[0])

        shown = self.pellandor("config", "pin")
        self.assertEqual(shown.stdout, f"trusted key of 127.0.0.1:{sim.port}: {sim.keys[0]}\n")
        # Accepting takes the fingerprint as a person may paste it.
        accepted = self.pellandor("config", "pin", "accept", "sha256:" + sim.keys[1].replace(":", "").lower())
        self.assertEqual(accepted.returncode, 0, accepted.stderr)
        self.assertEqual(self.pellandor("call", "1234").returncode, 0)
        self.assertEqual(len(sim.requests()), 2)

        self.assertEqual(self.pellandor("config", "pin", "clear").returncode, 0)
        self.assertEqual(self.pinned(), "")
        sim.present(1)
        again = self.pellandor("call", "1234")
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertEqual(self.pinned(), sim.keys[0])

    def test_pin_commands_refuse_bad_input_and_a_new_address_drops_the_pin(self):
        sim = self.start_sim(accounts=[ACCOUNT])
        self.configure(sim.port)
        self.assertEqual(self.pellandor("config", "pin", "accept", "AB:CD").returncode, 2)
        self.assertEqual(self.pellandor("config", "pin", "frobnicate").returncode, 1)
        self.assertEqual(self.pellandor("call", "1234").returncode, 0)
        self.assertEqual(self.pinned(), sim.keys[0])
        for key, value in (("PORT", str(sim.port + 1)), ("IP", "127.0.0.2")):
            with self.subTest(key=key):
                self.assertEqual(self.pellandor("config", "pin", "accept", sim.keys[0]).returncode, 0)
                self.assertEqual(self.pellandor("config", "set", "SYS_INFO", key, value).returncode, 0)
                self.assertEqual(self.pinned(), "")
                self.assertIn("no key kept for", self.pellandor("config", "pin").stdout)
        listed = self.pellandor("config", "list").stdout.splitlines()
        self.assertIn("SECURITY/PINNED_KEY=", listed)
        self.assertIn("SECURITY/USE_KEYRING=1", listed)

    def test_a_provisioned_key_is_checked_on_the_first_call(self):
        sim = self.start_sim(accounts=[ACCOUNT], second_identity=True)
        required = sim.keys[1].replace(":", "").lower()
        self.configure(sim.port, f"[SECURITY]\nREQUIRED_KEY={required}\n")
        refused = self.pellandor("call", "1234")
        self.assertEqual(refused.returncode, 3, refused.stderr)
        self.assertIn("did not show the key your administrator set", refused.stdout)
        self.assertEqual(sim.requests(), [])
        self.assertEqual(self.pinned(), "")
        sim.present(2)
        accepted = self.pellandor("call", "1234")
        self.assertEqual(accepted.returncode, 0, accepted.stderr)
        self.assertEqual(self.pinned(), "", "a provisioned key is not replaced by a kept one")

    def test_a_provisioned_certificate_authority(self):
        ca, other = self.make_ca("office-ca"), self.make_ca("other-ca")
        # (CA file, SAN of the exchange's certificate, expected status)
        cases = [
            (ca[1], "IP:127.0.0.1", 0),
            (other[1], "IP:127.0.0.1", 3),
            (ca[1], "IP:10.1.2.3", 3),  # issued for another address
        ]
        for ca_file, san, status in cases:
            with self.subTest(ca=ca_file.name, san=san):
                cert, key = self.make_leaf(ca, san)
                sim = self.start_sim(accounts=[ACCOUNT], cert=(cert, key))
                self.assertEqual(sim.keys[0], spki_fingerprint(cert))
                self.configure(sim.port, f"[SECURITY]\nCA_FILE={ca_file}\n")
                result = self.pellandor("call", "1234")
                self.assertEqual(result.returncode, status, result.stdout + result.stderr)
                if status:
                    self.assertIn("is not trusted", result.stdout)
                    self.assertIn(f"Shown key: {spki_fingerprint(cert)}", result.stdout)
                    self.assertEqual(sim.requests(), [])
                self.assertEqual(self.pinned(), "")
                sim.stop()


if __name__ == "__main__":
    unittest.main(verbosity=2)
